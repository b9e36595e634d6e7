#include "test_network.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zpk::testing {

namespace {

sockaddr_in LoopbackAddress() {
  sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

int ListenOnLoopback(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress();
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

int ClosedPort() {
  int port = 0;
  int fd = ListenOnLoopback(port);
  if (fd >= 0) close(fd);
  return port;
}

bool SendAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WaitReadable(int fd, int wake, int timeoutMs) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
  while (true) {
    int ready = poll(fds, 2, timeoutMs);
    if (ready < 0) continue;
    return ready > 0 && fds[1].revents == 0 && fds[0].revents != 0;
  }
}

bool LoopbackServer::Start(std::function<void()> serve) {
  listener_ = ListenOnLoopback(port_);
  if (listener_ < 0 || pipe(wake_) != 0) {
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
    return false;
  }
  thread_ = std::thread(std::move(serve));
  return true;
}

void LoopbackServer::Stop() {
  if (thread_.joinable()) {
    char stop = 1;
    ssize_t ignored = write(wake_[1], &stop, 1);
    (void)ignored;
    thread_.join();
  }
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
  for (int& fd : wake_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace zpk::testing
