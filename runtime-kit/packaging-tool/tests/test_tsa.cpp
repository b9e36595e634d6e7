#include "test_tsa.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/ts.h>
#include <openssl/x509v3.h>

#include "test_network.h"
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

std::string HttpReply(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Type: application/timestamp-reply\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// The same request with the imprint of other data, so that a token for it fits the nonce
// but not the data the client asked about.
std::string ForOtherData(const std::string& request) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(request.data());
  TsReqPtr parsed(d2i_TS_REQ(nullptr, &p, static_cast<long>(request.size())));
  if (!parsed) return request;
  std::string digest = Sha256("other data");
  TS_MSG_IMPRINT_set_msg(TS_REQ_get_msg_imprint(parsed.get()), reinterpret_cast<unsigned char*>(digest.data()),
                         static_cast<int>(digest.size()));
  unsigned char* der = nullptr;
  int size = i2d_TS_REQ(parsed.get(), &der);
  std::string changed = size > 0 ? std::string(reinterpret_cast<char*>(der), static_cast<size_t>(size)) : request;
  OPENSSL_free(der);
  return changed;
}

}  // namespace

// One accepted connection, plain or TLS.
class TestTimeStampAuthority::Channel {
 public:
  Channel(int fd, void* tlsContext) : fd_(fd) {
    if (tlsContext == nullptr) return;
    ssl_ = SSL_new(static_cast<SSL_CTX*>(tlsContext));
    SSL_set_fd(ssl_, fd);
    if (SSL_accept(ssl_) != 1) failed_ = true;
  }
  ~Channel() {
    if (ssl_ != nullptr) {
      if (!failed_) SSL_shutdown(ssl_);
      SSL_free(ssl_);
    }
    ERR_clear_error();
  }
  bool ok() const { return !failed_; }
  int fd() const { return fd_; }
  long Read(char* buffer, size_t size) {
    if (ssl_ == nullptr) return recv(fd_, buffer, size, 0);
    return SSL_read(ssl_, buffer, static_cast<int>(size));
  }
  bool Write(const std::string& data) {
    if (ssl_ == nullptr) return SendAll(fd_, data);
    return data.empty() || SSL_write(ssl_, data.data(), static_cast<int>(data.size())) == static_cast<int>(data.size());
  }
  // Reads one request with a Content-Length body; the body, or false when the client left.
  bool ReadRequest(std::string& body) {
    std::string request;
    char buffer[4096];
    size_t bodyStart = std::string::npos, bodyLength = 0;
    while (bodyStart == std::string::npos || request.size() < bodyStart + bodyLength) {
      long n = Read(buffer, sizeof buffer);
      if (n <= 0) return false;
      request.append(buffer, static_cast<size_t>(n));
      size_t end = request.find("\r\n\r\n");
      if (bodyStart != std::string::npos || end == std::string::npos) continue;
      bodyStart = end + 4;
      std::string head = request.substr(0, end);
      for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      size_t at = head.find("content-length:");
      bodyLength = at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 15, nullptr, 10);
    }
    body = request.substr(bodyStart, bodyLength);
    return true;
  }

 private:
  int fd_;
  SSL* ssl_ = nullptr;
  bool failed_ = false;
};

TestTimeStampAuthority::TestTimeStampAuthority(Options options) : options_(options) {
  key_ = MakeRsaKey(2048);
  certificate_ = MakeCertificate(key_.get(), "Test Time-Stamp Authority", -1, 30);
  AddExtension(certificate_.get(), NID_ext_key_usage, "critical,timeStamping");
  AddExtension(certificate_.get(), NID_key_usage, "critical,digitalSignature");
  X509_sign(certificate_.get(), key_.get(), EVP_sha256());
  if (options_.tls) {
    tlsKey_ = MakeRsaKey(2048);
    tlsCertificate_ = MakeCertificate(tlsKey_.get(), "127.0.0.1", -1, 30);
    AddExtension(tlsCertificate_.get(), NID_subject_alt_name, "IP:127.0.0.1");
    X509_sign(tlsCertificate_.get(), tlsKey_.get(), EVP_sha256());
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(context, tlsCertificate_.get());
    SSL_CTX_use_PrivateKey(context, tlsKey_.get());
    tlsContext_ = context;
  }
  server_.Start([this] { Serve(); });
}

TestTimeStampAuthority::~TestTimeStampAuthority() {
  server_.Stop();
  SSL_CTX_free(static_cast<SSL_CTX*>(tlsContext_));
}

std::string TestTimeStampAuthority::url() const {
  return std::string(options_.tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(server_.port()) + "/tsa";
}

std::string TestTimeStampAuthority::certificatePem() const { return CertificatePem(certificate_.get()); }

std::string TestTimeStampAuthority::tlsCertificatePem() const {
  return tlsCertificate_ ? CertificatePem(tlsCertificate_.get()) : std::string();
}

void TestTimeStampAuthority::Serve() {
  while (WaitReadable(server_.listener(), server_.wake())) {
    int client = accept4(server_.listener(), nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    int number = ++connections_;
    Mode mode = options_.times < 0 || number <= options_.times ? options_.mode : Mode::Grant;
    if (mode == Mode::Refuse) {
      linger reset {1, 0};
      setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    } else {
      timeval timeout {5, 0};
      setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
      Channel channel(client, tlsContext_);
      if (channel.ok()) Answer(channel, mode);
    }
    close(client);
  }
}

void TestTimeStampAuthority::Answer(Channel& channel, Mode mode) {
  std::string request;
  if (!channel.ReadRequest(request)) return;
  ++requests_;
  switch (mode) {
    case Mode::HttpError:
      channel.Write(HttpReply("500 Internal Server Error", ""));
      return;
    case Mode::Unavailable:
      channel.Write(HttpReply("503 Service Unavailable", ""));
      return;
    case Mode::Stall:
      // Until the client gives up (or the authority stops).
      WaitReadable(channel.fd(), server_.wake());
      return;
    case Mode::Garbage:
      channel.Write(HttpReply("200 OK", "this is not a time-stamp response"));
      return;
    default:
      channel.Write(HttpReply("200 OK", TimeStampReply(request, mode)));
  }
}

std::string TestTimeStampAuthority::TimeStampReply(const std::string& request, Mode mode) {
  TS_RESP_CTX* ctx = TS_RESP_CTX_new();
  TS_RESP_CTX_set_signer_cert(ctx, certificate_.get());
  TS_RESP_CTX_set_signer_key(ctx, key_.get());
  ASN1_OBJECT* policy = OBJ_txt2obj("1.3.6.1.4.1.99999.1", 1);
  TS_RESP_CTX_set_def_policy(ctx, policy);
  ASN1_OBJECT_free(policy);
  TS_RESP_CTX_add_md(ctx, EVP_sha256());
  TS_RESP_CTX_set_signer_digest(ctx, EVP_sha256());
  TS_RESP_CTX_set_serial_cb(ctx, NextSerial, &serial_);
  TS_RESP* response = nullptr;
  if (mode == Mode::Reject) {
    // A rejection carries only a status.
    TS_STATUS_INFO* status = TS_STATUS_INFO_new();
    TS_STATUS_INFO_set_status(status, TS_STATUS_REJECTION);
    response = TS_RESP_new();
    TS_RESP_set_status_info(response, status);
    TS_STATUS_INFO_free(status);
  } else {
    std::string asked = mode == Mode::OtherData ? ForOtherData(request) : request;
    BIO* in = BIO_new_mem_buf(asked.data(), static_cast<int>(asked.size()));
    response = TS_RESP_create_response(ctx, in);
    BIO_free(in);
  }
  TS_RESP_CTX_free(ctx);
  std::string body;
  if (response != nullptr) {
    unsigned char* der = nullptr;
    int size = i2d_TS_RESP(response, &der);
    if (size > 0) body.assign(reinterpret_cast<char*>(der), static_cast<size_t>(size));
    OPENSSL_free(der);
    TS_RESP_free(response);
  }
  return body;
}

}  // namespace zpk::testing
