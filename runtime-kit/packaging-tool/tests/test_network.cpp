#include "test_network.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace zpk::testing {

namespace {

sockaddr_in LoopbackAddress(int port = 0) {
  sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

// A listening socket on 127.0.0.1 with an ephemeral port (-1 when none could be made).
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

// The port of "CONNECT 127.0.0.1:PORT HTTP/1.1" or "CONNECT localhost:PORT ..."; 0 for any other target.
int LoopbackTargetPort(const std::string& requestLine, std::string& target) {
  if (requestLine.compare(0, 8, "CONNECT ") != 0) return 0;
  target = requestLine.substr(8, requestLine.find(' ', 8) - 8);
  size_t colon = target.rfind(':');
  if (colon == std::string::npos) return 0;
  std::string host = target.substr(0, colon);
  if (host != "127.0.0.1" && host != "localhost") return 0;
  int port = std::atoi(target.c_str() + colon + 1);
  return port > 0 && port < 65536 ? port : 0;
}

// A connection to 127.0.0.1:`port` (-1 on failure).
int ConnectToLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(port);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

}  // namespace

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

TestForwardingProxy::TestForwardingProxy() {
  server_.Start([this] { Serve(); });
}

TestForwardingProxy::~TestForwardingProxy() {
  server_.Stop();
}

std::string TestForwardingProxy::url() const { return "http://127.0.0.1:" + std::to_string(server_.port()); }

std::string TestForwardingProxy::lastTarget() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastTarget_;
}

void TestForwardingProxy::Serve() {
  while (WaitReadable(server_.listener(), server_.wake())) {
    int client = accept4(server_.listener(), nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++connections_;
    Handle(client);
    close(client);
  }
}

void TestForwardingProxy::Handle(int client) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384) {
    if (!WaitReadable(client, server_.wake(), 5000)) return;
    ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    head.append(buffer, static_cast<size_t>(n));
  }
  std::string target;
  int port = LoopbackTargetPort(head.substr(0, head.find("\r\n")), target);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lastTarget_ = target;
  }
  int upstream = port > 0 ? ConnectToLoopback(port) : -1;
  if (upstream < 0) {
    SendAll(client, port > 0 ? "HTTP/1.1 502 Bad Gateway\r\n\r\n" : "HTTP/1.1 403 Forbidden\r\n\r\n");
    return;
  }
  if (SendAll(client, "HTTP/1.1 200 Connection established\r\n\r\n")) Relay(client, upstream);
  close(upstream);
}

void TestForwardingProxy::Relay(int client, int target) {
  char buffer[16384];
  while (true) {
    pollfd fds[3] = {{client, POLLIN, 0}, {target, POLLIN, 0}, {server_.wake(), POLLIN, 0}};
    if (poll(fds, 3, 10000) <= 0 || fds[2].revents != 0) return;
    for (int side = 0; side < 2; ++side) {
      if (fds[side].revents == 0) continue;
      ssize_t n = recv(fds[side].fd, buffer, sizeof buffer, 0);
      if (n <= 0 || !SendAll(fds[1 - side].fd, std::string(buffer, static_cast<size_t>(n)))) return;
    }
  }
}

}  // namespace zpk::testing
