#pragma once
// Loopback sockets for the tests' local servers, and a forwarding proxy. Nothing here
// reaches beyond 127.0.0.1.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace zpk::testing {

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

// A forwarding proxy: it takes "CONNECT host:port" for loopback targets only, answers 200
// and relays bytes both ways until either side closes. It counts the connections it
// accepted, one at a time.
class TestForwardingProxy {
 public:
  TestForwardingProxy();
  ~TestForwardingProxy();
  TestForwardingProxy(const TestForwardingProxy&) = delete;
  TestForwardingProxy& operator=(const TestForwardingProxy&) = delete;

  bool running() const { return server_.running(); }
  std::string url() const;  // "http://127.0.0.1:PORT"
  int connections() const { return connections_.load(); }
  // "host:port" of the last tunnel asked for.
  std::string lastTarget() const;

 private:
  void Serve();
  void Handle(int client);
  void Relay(int client, int target);

  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::string lastTarget_;
  LoopbackServer server_;  // last: its thread stops before the members it uses go
};

}  // namespace zpk::testing
