#pragma once
// Loopback sockets for the tests' local servers. Nothing here reaches beyond 127.0.0.1.
#include <functional>
#include <string>
#include <thread>

namespace zpk::testing {

// A listening socket on 127.0.0.1 with an ephemeral port (-1 when none could be made).
int ListenOnLoopback(int& port);
// A port on 127.0.0.1 that nothing listens on.
int ClosedPort();
bool SendAll(int fd, const std::string& data);
// Waits until `fd` is readable or `wake` is (or `timeoutMs` passed, -1: no limit); true for `fd`.
bool WaitReadable(int fd, int wake, int timeoutMs = -1);

// A listening socket on 127.0.0.1 served by one thread. The thread's loops wait on wake()
// too, which turns readable when Stop() (or the destructor) asks them to end.
class LoopbackServer {
 public:
  LoopbackServer() = default;
  ~LoopbackServer() { Stop(); }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Listens and starts `serve` on its thread; false (and nothing running) when no socket could be made.
  bool Start(std::function<void()> serve);
  // Wakes the thread, joins it and closes the sockets; an owner calls it before its own
  // members that the thread uses go.
  void Stop();
  bool running() const { return listener_ >= 0; }
  int listener() const { return listener_; }
  int wake() const { return wake_[0]; }
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  int port_ = 0;
  std::thread thread_;
};

}  // namespace zpk::testing
