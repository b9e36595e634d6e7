#pragma once
// A private X server for tests that open real windows: Xvfb on a display number it picks
// itself, started once per test program and ended with it. Toolkit-free, so that tests of
// code that never links the toolkit can open windows through the extension's views too.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// The one rule of every window test without a server: skipped, saying why, or failed where
// a display is required (XServer::Required). A macro, since both end the test body.
#define ZARO_SKIP_WITHOUT_X_SERVER(server)                                                        \
  do {                                                                                            \
    if (!(server).Ready() && (server).Required())                                                 \
      FAIL() << "no X server, though this run requires one: " << (server).Reason();               \
    if (!(server).Ready()) GTEST_SKIP() << "no X server for the window test: " << (server).Reason(); \
  } while (false)

namespace zaro::test_display {

// A private X server, started once for the test program.
class XServer {
 public:
  static XServer& Get() {
    static XServer server;
    return server;
  }
  bool Ready() const { return ready_; }
  const std::string& Display() const { return display_; }
  const std::string& Reason() const { return reason_; }
  // Whether a window test without a server must fail rather than skip: ZARO_REQUIRE_DISPLAY
  // is set (CI sets it) and Xvfb is installed, so a server that does not start is a fault.
  bool Required() const {
    const char* required = std::getenv("ZARO_REQUIRE_DISPLAY");
    return installed_ && required != nullptr && *required != '\0' && std::string(required) != "0";
  }

 private:
  XServer() { Start(); }
  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  void Start() {
    installed_ = std::system("command -v Xvfb > /dev/null 2>&1") == 0;
    if (!installed_) {
      reason_ = "the Xvfb program is not installed";
      return;
    }
    int fds[2];
    if (pipe(fds) != 0) {
      reason_ = "no pipe for Xvfb";
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const int devnull = open("/dev/null", O_WRONLY);  // where that fails the output stays as it is
      dup2(devnull, 1);
      dup2(devnull, 2);
      // Xvfb picks a free display number itself and writes it to the pipe.
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      close(fds[0]);
      reason_ = "Xvfb cannot be started";
      return;
    }
    std::string number;
    pollfd wait{fds[0], POLLIN, 0};
    while (poll(&wait, 1, 10000) > 0) {
      char c = 0;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (number.empty()) {
      reason_ = "Xvfb did not start";  // the destructor ends it
      return;
    }
    display_ = ":" + number;
    ready_ = true;
  }

  pid_t pid_ = -1;
  bool installed_ = false, ready_ = false;
  std::string display_, reason_;
};

}  // namespace zaro::test_display
