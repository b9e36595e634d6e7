#pragma once
// Loopback sockets for the tests' local servers. Nothing here reaches beyond 127.0.0.1.
#include <string>

namespace zpk::testing {

// A listening socket on 127.0.0.1 with an ephemeral port (-1 when none could be made).
int ListenOnLoopback(int& port);
// A port on 127.0.0.1 that nothing listens on.
int ClosedPort();
bool SendAll(int fd, const std::string& data);
// Waits until `fd` is readable or `wake` is (or `timeoutMs` passed, -1: no limit); true for `fd`.
bool WaitReadable(int fd, int wake, int timeoutMs = -1);

}  // namespace zpk::testing
