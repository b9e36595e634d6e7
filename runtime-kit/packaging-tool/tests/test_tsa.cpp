#include "test_tsa.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include <openssl/pem.h>
#include <openssl/ts.h>
#include <openssl/x509v3.h>

#include "test_support.h"

namespace zpk::testing {

namespace {

void AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

ASN1_INTEGER* NextSerial(TS_RESP_CTX*, void* data) {
  auto* serial = static_cast<std::atomic<long>*>(data);
  ASN1_INTEGER* value = ASN1_INTEGER_new();
  ASN1_INTEGER_set(value, serial->fetch_add(1));
  return value;
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

}  // namespace

TestTimeStampAuthority::TestTimeStampAuthority(Mode mode) : mode_(mode) {
  key_ = MakeRsaKey(2048);
  certificate_ = MakeCertificate(key_.get(), "Test Time-Stamp Authority", -1, 30);
  AddExtension(certificate_.get(), NID_ext_key_usage, "critical,timeStamping");
  AddExtension(certificate_.get(), NID_key_usage, "critical,digitalSignature");
  X509_sign(certificate_.get(), key_.get(), EVP_sha256());

  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      pipe(wake_) != 0) {
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

TestTimeStampAuthority::~TestTimeStampAuthority() {
  if (thread_.joinable()) {
    char stop = 1;
    ssize_t ignored = write(wake_[1], &stop, 1);
    (void)ignored;
    thread_.join();
  }
  if (listener_ >= 0) close(listener_);
  for (int fd : wake_)
    if (fd >= 0) close(fd);
}

std::string TestTimeStampAuthority::url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/tsa"; }

std::string TestTimeStampAuthority::certificatePem() const { return CertificatePem(certificate_.get()); }

void TestTimeStampAuthority::Serve() {
  while (true) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Answer(client);
    close(client);
  }
}

void TestTimeStampAuthority::Answer(int client) {
  timeval timeout {5, 0};
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string request;
  char buffer[4096];
  size_t bodyStart = std::string::npos, bodyLength = 0;
  while (true) {
    ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    request.append(buffer, static_cast<size_t>(n));
    if (bodyStart == std::string::npos) {
      size_t end = request.find("\r\n\r\n");
      if (end == std::string::npos) continue;
      bodyStart = end + 4;
      std::string head = request.substr(0, end);
      for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      size_t at = head.find("content-length:");
      bodyLength = at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 15, nullptr, 10);
    }
    if (request.size() >= bodyStart + bodyLength) break;
  }
  ++requests_;
  if (mode_ == Mode::HttpError) {
    SendAll(client, "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return;
  }
  TS_RESP_CTX* ctx = TS_RESP_CTX_new();
  TS_RESP_CTX_set_signer_cert(ctx, certificate_.get());
  TS_RESP_CTX_set_signer_key(ctx, key_.get());
  ASN1_OBJECT* policy = OBJ_txt2obj("1.3.6.1.4.1.99999.1", 1);
  TS_RESP_CTX_set_def_policy(ctx, policy);
  ASN1_OBJECT_free(policy);
  TS_RESP_CTX_add_md(ctx, EVP_sha256());
  TS_RESP_CTX_set_signer_digest(ctx, EVP_sha256());
  TS_RESP_CTX_set_serial_cb(ctx, NextSerial, &serial_);
  std::string body;
  TS_RESP* response = nullptr;
  if (mode_ == Mode::Reject) {
    // A rejection carries only a status.
    TS_STATUS_INFO* status = TS_STATUS_INFO_new();
    TS_STATUS_INFO_set_status(status, TS_STATUS_REJECTION);
    response = TS_RESP_new();
    TS_RESP_set_status_info(response, status);
    TS_STATUS_INFO_free(status);
  } else {
    BIO* in = BIO_new_mem_buf(request.data() + bodyStart, static_cast<int>(bodyLength));
    response = TS_RESP_create_response(ctx, in);
    BIO_free(in);
  }
  TS_RESP_CTX_free(ctx);
  if (response != nullptr) {
    unsigned char* der = nullptr;
    int size = i2d_TS_RESP(response, &der);
    if (size > 0) body.assign(reinterpret_cast<char*>(der), static_cast<size_t>(size));
    OPENSSL_free(der);
    TS_RESP_free(response);
  }
  SendAll(client, "HTTP/1.1 200 OK\r\nContent-Type: application/timestamp-reply\r\nContent-Length: " +
                      std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

}  // namespace zpk::testing
