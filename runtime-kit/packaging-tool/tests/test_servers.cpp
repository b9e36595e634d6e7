#include "test_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include <openssl/err.h>
#include <openssl/ts.h>


namespace zpk::testing {

namespace {

// Connected to 127.0.0.1:`port`, or listening on a new port (set in `port`) when it is 0; -1 on failure.
int LoopbackSocket(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  socklen_t length = sizeof address;
  bool ok = fd >= 0 && (port != 0 ? connect(fd, raw, length) == 0
                                  : bind(fd, raw, length) == 0 && listen(fd, 8) == 0 &&
                                        getsockname(fd, raw, &length) == 0);
  if (!ok && fd >= 0) close(fd);
  port = ntohs(address.sin_port);
  return ok ? fd : -1;
}

bool SendAll(int fd, const std::string& data) {
  for (size_t done = 0, n; done < data.size(); done += n) {
    ssize_t sent = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    n = static_cast<size_t>(sent);
  }
  return true;
}

std::string HttpReply(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Type: application/timestamp-reply\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// The body of one HTTP request with a Content-Length; false when the client left first.
bool ReadRequestBody(BIO* bio, std::string& body) {
  std::string data;
  char buffer[4096];
  size_t end = std::string::npos, length = 0;
  while (end == std::string::npos || data.size() < end + 4 + length) {
    int n = BIO_read(bio, buffer, sizeof buffer);
    if (n <= 0) return false;
    data.append(buffer, static_cast<size_t>(n));
    if (end != std::string::npos || (end = data.find("\r\n\r\n")) == std::string::npos) continue;
    const char* at = strcasestr(data.c_str(), "content-length:");  // in the head, or not given
    length = at && at < data.c_str() + end ? std::strtoul(at + 15, nullptr, 10) : 0;
  }
  body = data.substr(end + 4, length);
  return true;
}

}  // namespace

int ClosedPort() {
  int port = 0, fd = LoopbackSocket(port);
  if (fd >= 0) close(fd);
  return port;
}

void LoopbackServer::Start(std::function<void(int client)> handle) {
  listener_ = LoopbackSocket(port_);
  if (listener_ < 0 || pipe(wake_) != 0) return;
  thread_ = std::thread([this, handle] {
    while (WaitReadable(listener_)) {
      int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      ++connections_;
      handle(client);
      close(client);
    }
  });
}

LoopbackServer::~LoopbackServer() {
  if (thread_.joinable()) {
    if (write(wake_[1], "x", 1) != 1) {}  // a pipe with room: this does not fail
    thread_.join();
  }
  for (int fd : {listener_, wake_[0], wake_[1]})
    if (fd >= 0) close(fd);
}

bool LoopbackServer::WaitReadable(int fd, int timeoutMs) const {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
  int ready;
  while ((ready = poll(fds, 2, timeoutMs)) < 0) continue;
  return ready > 0 && fds[1].revents == 0 && fds[0].revents != 0;
}

TestTimeStampAuthority::TestTimeStampAuthority(Options options)
    : options_(options), key_(MakeRsaKey(2048)), certificate_(MakeCertificate(key_.get(), "Test Time-Stamp Authority",
          -1, 30, {{NID_ext_key_usage, "critical,timeStamping"}, {NID_key_usage, "critical,digitalSignature"}})) {
  if (options_.tls) {
    tlsKey_ = MakeRsaKey(2048);
    tlsCertificate_ = MakeCertificate(tlsKey_.get(), "127.0.0.1", -1, 30, {{NID_subject_alt_name, "IP:127.0.0.1"}});
    tlsContext_.reset(SSL_CTX_new(TLS_server_method()));
    SSL_CTX_use_certificate(tlsContext_.get(), tlsCertificate_.get());
    SSL_CTX_use_PrivateKey(tlsContext_.get(), tlsKey_.get());
  }
  server_.Start([this](int client) { Handle(client); });
}

void TestTimeStampAuthority::Handle(int client) {
  Mode mode = options_.times < 0 || connections() <= options_.times ? options_.mode : Mode::Grant;
  if (mode == Mode::Refuse) {
    linger reset {1, 0};
    setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    return;
  }
  timeval timeout {5, 0};
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  BioPtr channel(BIO_new_socket(client, BIO_NOCLOSE));
  if (tlsContext_) channel.reset(BIO_push(BIO_new_ssl(tlsContext_.get(), 0), channel.release()));
  std::string request, reply;
  if ((!tlsContext_ || BIO_do_handshake(channel.get()) == 1) && ReadRequestBody(channel.get(), request)) {
    ++requests_;
    if (mode == Mode::Stall) server_.WaitReadable(client);  // until the client gives up (or the authority stops)
    else if (mode == Mode::HttpError) reply = HttpReply("500 Internal Server Error", "");
    else if (mode == Mode::Unavailable) reply = HttpReply("503 Service Unavailable", "");
    else if (mode == Mode::Garbage) reply = HttpReply("200 OK", "this is not a time-stamp response");
    else reply = HttpReply("200 OK", TimeStampReply(request, mode));
    if (!reply.empty() && BIO_write(channel.get(), reply.data(), static_cast<int>(reply.size())) > 0 && tlsContext_)
      BIO_ssl_shutdown(channel.get());
  }
  ERR_clear_error();
}

std::string TestTimeStampAuthority::TimeStampReply(const std::string& request, Mode mode) {
  TS_RESP_CTX* ctx = TS_RESP_CTX_new();
  TS_RESP_CTX_set_signer_cert(ctx, certificate_.get());
  TS_RESP_CTX_set_signer_key(ctx, key_.get());
  ASN1_OBJECT* policy = OBJ_txt2obj("1.3.6.1.4.1.99999.1", 1);
  TS_RESP_CTX_set_def_policy(ctx, policy);
  ASN1_OBJECT_free(policy);
  // Without an accepted digest a request is answered with status "rejection" (bad algorithm).
  if (mode != Mode::Reject) TS_RESP_CTX_add_md(ctx, EVP_sha256());
  TS_RESP_CTX_set_signer_digest(ctx, EVP_sha256());
  // For OtherData a byte of the imprint changes, so that the token fits the nonce but not the data the
  // client asked about. The imprint's digest is the first OCTET STRING of 32 bytes (04 20) in the request.
  std::string asked = request;
  size_t at = asked.find(std::string("\x04\x20", 2));
  if (mode == Mode::OtherData && at != std::string::npos && at + 2 < asked.size()) asked[at + 2] ^= 0x01;
  BioPtr in(BIO_new_mem_buf(asked.data(), static_cast<int>(asked.size())));
  TsRespPtr response(TS_RESP_create_response(ctx, in.get()));
  TS_RESP_CTX_free(ctx);
  unsigned char* der = nullptr;
  int size = response ? i2d_TS_RESP(response.get(), &der) : 0;
  std::string body = size > 0 ? std::string(reinterpret_cast<char*>(der), static_cast<size_t>(size)) : "";
  OPENSSL_free(der);
  return body;
}

std::string TestForwardingProxy::lastTarget() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastTarget_;
}

void TestForwardingProxy::Handle(int client) {
  std::string head;
  char buffer[16384];
  while (!Contains(head, "\r\n\r\n") && head.size() < 16384) {
    ssize_t n = server_.WaitReadable(client, 5000) ? recv(client, buffer, sizeof buffer, 0) : 0;
    if (n <= 0) return;
    head.append(buffer, static_cast<size_t>(n));
  }
  // "CONNECT 127.0.0.1:PORT HTTP/1.1" or "CONNECT localhost:PORT ..."; any other target is refused.
  std::string target = head.compare(0, 8, "CONNECT ") == 0 ? head.substr(8, head.find(' ', 8) - 8) : "";
  std::unique_lock<std::mutex> lock(mutex_);
  lastTarget_ = target;
  lock.unlock();
  std::string host = target.substr(0, target.rfind(':'));
  int port = host == "127.0.0.1" || host == "localhost" ? std::atoi(target.c_str() + host.size() + 1) : 0;
  int upstream = port > 0 && port < 65536 ? LoopbackSocket(port) : -1;
  if (upstream < 0) {
    SendAll(client, port > 0 ? "HTTP/1.1 502 Bad Gateway\r\n\r\n" : "HTTP/1.1 403 Forbidden\r\n\r\n");
    return;
  }
  // Relayed until either side closes, nothing moves for 10 s or the proxy stops.
  if (SendAll(client, "HTTP/1.1 200 Connection established\r\n\r\n")) {
    for (bool open = true; open;) {
      pollfd fds[3] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}, {server_.wake(), POLLIN, 0}};
      open = poll(fds, 3, 10000) > 0 && fds[2].revents == 0;
      for (int side = 0; side < 2 && open; ++side) {
        if (fds[side].revents == 0) continue;
        ssize_t n = recv(fds[side].fd, buffer, sizeof buffer, 0);
        open = n > 0 && SendAll(fds[1 - side].fd, std::string(buffer, static_cast<size_t>(n)));
      }
    }
  }
  close(upstream);
}

}  // namespace zpk::testing
