#pragma once
// A forwarding proxy for tests on 127.0.0.1: it takes "CONNECT host:port" for loopback
// targets only, answers 200 and relays bytes both ways until either side closes. It counts
// the connections it accepted, one at a time.
#include <atomic>
#include <mutex>
#include <string>

#include "test_network.h"

namespace zpk::testing {

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
