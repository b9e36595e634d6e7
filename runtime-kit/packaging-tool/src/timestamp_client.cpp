#include "timestamp_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "openssl_util.h"

namespace zpk {

namespace {

constexpr int kLookupSeconds = 4;
constexpr int kConnectSeconds = 4;
constexpr int kTransferSeconds = 15;
constexpr size_t kMaxResponse = 1 << 20;

struct Lookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool abandoned = false;
  int result = 0;
  addrinfo* addresses = nullptr;
};

// Name lookup with a deadline: the resolver has no timeout of its own that we control.
addrinfo* ResolveWithDeadline(const std::string& host, const std::string& port, std::string& error) {
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host, port] {
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    int result = getaddrinfo(host.c_str(), port.c_str(), &hints, &addresses);
    std::lock_guard<std::mutex> lock(lookup->mutex);
    if (lookup->abandoned) {
      if (addresses != nullptr) freeaddrinfo(addresses);
    } else {
      lookup->result = result;
      lookup->addresses = addresses;
    }
    lookup->finished = true;
    lookup->done.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(lookup->mutex);
  if (!lookup->done.wait_for(lock, std::chrono::seconds(kLookupSeconds), [&] { return lookup->finished; })) {
    lookup->abandoned = true;
    error = "the name " + host + " could not be resolved in time";
    return nullptr;
  }
  if (lookup->result != 0 || lookup->addresses == nullptr) {
    error = "the name " + host + " could not be resolved (" + gai_strerror(lookup->result) + ")";
    return nullptr;
  }
  return lookup->addresses;
}

int ConnectWithTimeout(const std::string& host, const std::string& port, std::string& error) {
  addrinfo* addresses = ResolveWithDeadline(host, port, error);
  if (addresses == nullptr) return -1;
  int connected = -1;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kConnectSeconds);
  for (addrinfo* a = addresses; a != nullptr && connected < 0; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    int rc = connect(fd, a->ai_addr, a->ai_addrlen);
    int failure = rc == 0 ? 0 : errno;
    if (rc != 0 && failure == EINPROGRESS) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p {fd, POLLOUT, 0};
      int waited = left.count() > 0 ? poll(&p, 1, static_cast<int>(left.count())) : 0;
      if (waited == 1) {
        int soError = 0;
        socklen_t len = sizeof soError;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
        failure = soError;
      } else {
        failure = waited == 0 ? ETIMEDOUT : errno;
      }
    }
    if (failure == 0) {
      connected = fd;
    } else {
      error = "cannot connect to " + host + ":" + port + " (" + std::strerror(failure) + ")";
      close(fd);
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
  }
  freeaddrinfo(addresses);
  if (connected < 0) {
    if (error.empty()) error = "cannot connect to " + host + ":" + port;
    return -1;
  }
  fcntl(connected, F_SETFL, fcntl(connected, F_GETFL) & ~O_NONBLOCK);
  timeval tv {kTransferSeconds, 0};
  setsockopt(connected, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(connected, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  return connected;
}

struct SslCtxDeleter {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};

// One HTTP POST; the response body on status 200.
bool HttpPost(const Url& url, const std::string& body, std::string& response, std::string& error) {
  int fd = ConnectWithTimeout(url.host, url.port, error);
  if (fd < 0) return false;
  BioPtr bio;
  std::unique_ptr<SSL_CTX, SslCtxDeleter> ctx;
  if (url.https) {
    ctx.reset(SSL_CTX_new(TLS_client_method()));
    if (!ctx) {
      close(fd);
      error = LastOpenSslError();
      return false;
    }
    SSL_CTX_set_default_verify_paths(ctx.get());
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
    SSL* ssl = SSL_new(ctx.get());
    BIO* socketBio = BIO_new_socket(fd, BIO_CLOSE);
    if (ssl == nullptr || socketBio == nullptr) {
      if (ssl != nullptr) SSL_free(ssl);
      if (socketBio != nullptr) BIO_free(socketBio); else close(fd);
      error = LastOpenSslError();
      return false;
    }
    SSL_set_bio(ssl, socketBio, socketBio);
    SSL_set_tlsext_host_name(ssl, url.host.c_str());
    SSL_set1_host(ssl, url.host.c_str());
    bio.reset(BIO_new(BIO_f_ssl()));
    BIO_set_ssl(bio.get(), ssl, BIO_CLOSE);
    if (SSL_connect(ssl) != 1) {
      long verify = SSL_get_verify_result(ssl);
      error = "the secure connection to " + url.host + " failed (" +
              (verify != X509_V_OK ? X509_verify_cert_error_string(verify) : LastOpenSslError()) + ")";
      return false;
    }
  } else {
    bio.reset(BIO_new_socket(fd, BIO_CLOSE));
  }
  std::string hostHeader = url.host;
  if ((url.https && url.port != "443") || (!url.https && url.port != "80")) hostHeader += ":" + url.port;
  std::string request = "POST " + url.path + " HTTP/1.1\r\nHost: " + hostHeader +
                        "\r\nUser-Agent: ZPK\r\nContent-Type: application/timestamp-query\r\n"
                        "Accept: application/timestamp-reply\r\nConnection: close\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + body;
  size_t sent = 0;
  while (sent < request.size()) {
    int n = BIO_write(bio.get(), request.data() + sent, static_cast<int>(request.size() - sent));
    if (n <= 0) {
      error = "the request could not be sent to " + url.host;
      return false;
    }
    sent += static_cast<size_t>(n);
  }
  std::string raw;
  char buffer[16384];
  while (raw.size() < kMaxResponse) {
    int n = BIO_read(bio.get(), buffer, sizeof buffer);
    if (n <= 0) break;
    raw.append(buffer, static_cast<size_t>(n));
  }
  ERR_clear_error();
  size_t headerEnd = raw.find("\r\n\r\n");
  if (headerEnd == std::string::npos || raw.compare(0, 5, "HTTP/") != 0) {
    error = raw.empty() ? "no answer from " + url.host : "the answer from " + url.host + " is not HTTP";
    return false;
  }
  std::string head = raw.substr(0, headerEnd);
  std::string status = head.substr(0, head.find("\r\n"));
  size_t space = status.find(' ');
  if (space == std::string::npos || status.compare(space + 1, 3, "200") != 0) {
    error = "the time-stamp authority answered " + status;
    return false;
  }
  std::string lowerHead = head;
  for (char& c : lowerHead) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string rest = raw.substr(headerEnd + 4);
  if (lowerHead.find("transfer-encoding: chunked") != std::string::npos) {
    response.clear();
    size_t pos = 0;
    while (true) {
      size_t lineEnd = rest.find("\r\n", pos);
      if (lineEnd == std::string::npos) break;
      unsigned long size = std::strtoul(rest.substr(pos, lineEnd - pos).c_str(), nullptr, 16);
      if (size == 0 || lineEnd + 2 + size > rest.size()) break;
      response += rest.substr(lineEnd + 2, size);
      pos = lineEnd + 2 + size + 2;
    }
  } else {
    size_t lengthAt = lowerHead.find("content-length:");
    if (lengthAt != std::string::npos) {
      unsigned long length = std::strtoul(lowerHead.c_str() + lengthAt + 15, nullptr, 10);
      if (length > rest.size()) {
        error = "the answer from " + url.host + " is incomplete";
        return false;
      }
      rest.resize(length);
    }
    response = rest;
  }
  return true;
}

bool HasCriticalTimeStampingUsage(X509* cert) {
  if ((X509_get_extension_flags(cert) & EXFLAG_XKUSAGE) == 0) return false;
  if ((X509_get_extended_key_usage(cert) & XKU_TIMESTAMP) == 0) return false;
  int index = X509_get_ext_by_NID(cert, NID_ext_key_usage, -1);
  return index >= 0 && X509_EXTENSION_get_critical(X509_get_ext(cert, index)) == 1;
}

}  // namespace

bool ParseUrl(const std::string& text, Url& url) {
  std::string rest;
  if (text.compare(0, 8, "https://") == 0) {
    url.https = true;
    rest = text.substr(8);
  } else if (text.compare(0, 7, "http://") == 0) {
    url.https = false;
    rest = text.substr(7);
  } else {
    return false;
  }
  size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  url.path = slash == std::string::npos ? "/" : rest.substr(slash);
  url.port = url.https ? "443" : "80";
  if (!authority.empty() && authority.front() == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    url.host = authority.substr(1, close - 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':') return false;
      url.port = authority.substr(close + 2);
    }
  } else {
    size_t colon = authority.rfind(':');
    url.host = authority.substr(0, colon);
    if (colon != std::string::npos) url.port = authority.substr(colon + 1);
  }
  if (url.host.empty() || url.port.empty() || url.port.size() > 5) return false;
  for (char c : url.port)
    if (c < '0' || c > '9') return false;
  for (char c : url.host + url.path)
    if (static_cast<unsigned char>(c) <= ' ' || c == '@') return false;
  return true;
}

bool CheckTimeStampToken(std::string_view token, std::string_view data, X509_STORE* trust,
                         TimeStampInfo& info, std::string& error) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(token.data());
  Pkcs7Ptr pkcs7(d2i_PKCS7(nullptr, &p, static_cast<long>(token.size())));
  if (!pkcs7 || !PKCS7_type_is_signed(pkcs7.get())) {
    LastOpenSslError();
    error = "the time-stamp token is malformed";
    return false;
  }
  STACK_OF(X509)* signers = PKCS7_get0_signers(pkcs7.get(), nullptr, 0);
  if (signers == nullptr || sk_X509_num(signers) != 1) {
    if (signers != nullptr) sk_X509_free(signers);
    LastOpenSslError();
    error = "the time-stamp token does not carry its authority's certificate";
    return false;
  }
  X509* signer = sk_X509_value(signers, 0);
  info.authority = NameText(X509_get_subject_name(signer));
  bool timeStamping = HasCriticalTimeStampingUsage(signer);
  sk_X509_free(signers);
  if (!timeStamping) {
    error = "the time-stamp token is not signed by a time-stamping certificate";
    return false;
  }
  if (trust == nullptr) {
    // No trust anchors: the token must at least be signed by the certificate it carries.
    StorePtr empty(X509_STORE_new());
    if (PKCS7_verify(pkcs7.get(), nullptr, empty.get(), nullptr, nullptr, PKCS7_NOVERIFY) != 1) {
      LastOpenSslError();
      error = "the time-stamp token's signature does not verify";
      return false;
    }
  }
  TsVerifyPtr ctx(TS_VERIFY_CTX_new());
  int flags = TS_VFY_VERSION | TS_VFY_DATA;
  if (trust != nullptr) {
    X509_STORE_up_ref(trust);
    TS_VERIFY_CTX_set_store(ctx.get(), trust);
    flags |= TS_VFY_SIGNATURE;
  }
  TS_VERIFY_CTX_set_flags(ctx.get(), flags);
  TS_VERIFY_CTX_set_data(ctx.get(), BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
  if (TS_RESP_verify_token(ctx.get(), pkcs7.get()) != 1) {
    error = "the time-stamp token does not verify (" + LastOpenSslError() + ")";
    return false;
  }
  TS_TST_INFO* tst = PKCS7_to_TS_TST_INFO(pkcs7.get());
  if (tst == nullptr) {
    error = "the time-stamp token is malformed";
    return false;
  }
  const ASN1_GENERALIZEDTIME* time = TS_TST_INFO_get_time(tst);
  info.time = TimeText(time);
  struct tm tm {};
  if (ASN1_TIME_to_tm(time, &tm) == 1) info.unixTime = static_cast<long long>(timegm(&tm));
  TS_TST_INFO_free(tst);
  return true;
}

Outcome RequestTimeStamp(const std::string& urlText, std::string_view data, std::string& token, TimeStampInfo& info) {
  auto failed = [&](const std::string& why) {
    return Fail(kExitTimestamp, "the time-stamp authority " + urlText + " could not be used: " + why + "\n");
  };
  Url url;
  if (!ParseUrl(urlText, url)) return failed("the address is not an http or https URL");

  std::string digest = Sha256(data);
  TsReqPtr request(TS_REQ_new());
  TS_MSG_IMPRINT* imprint = TS_MSG_IMPRINT_new();
  X509_ALGOR* algorithm = X509_ALGOR_new();
  X509_ALGOR_set_md(algorithm, EVP_sha256());
  TS_MSG_IMPRINT_set_algo(imprint, algorithm);
  TS_MSG_IMPRINT_set_msg(imprint, reinterpret_cast<unsigned char*>(digest.data()), static_cast<int>(digest.size()));
  TS_REQ_set_version(request.get(), 1);
  TS_REQ_set_msg_imprint(request.get(), imprint);
  TS_MSG_IMPRINT_free(imprint);
  X509_ALGOR_free(algorithm);
  unsigned char nonceBytes[8];
  RAND_bytes(nonceBytes, sizeof nonceBytes);
  nonceBytes[0] &= 0x7f;
  BIGNUM* nonceNumber = BN_bin2bn(nonceBytes, sizeof nonceBytes, nullptr);
  ASN1_INTEGER* nonce = BN_to_ASN1_INTEGER(nonceNumber, nullptr);
  BN_free(nonceNumber);
  TS_REQ_set_nonce(request.get(), nonce);
  TS_REQ_set_cert_req(request.get(), 1);
  unsigned char* der = nullptr;
  int derSize = i2d_TS_REQ(request.get(), &der);
  if (derSize <= 0) {
    ASN1_INTEGER_free(nonce);
    return failed(LastOpenSslError());
  }
  std::string body(reinterpret_cast<char*>(der), static_cast<size_t>(derSize));
  OPENSSL_free(der);

  std::string answer, error;
  if (!HttpPost(url, body, answer, error)) {
    ASN1_INTEGER_free(nonce);
    return failed(error);
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(answer.data());
  TsRespPtr response(d2i_TS_RESP(nullptr, &p, static_cast<long>(answer.size())));
  if (!response) {
    ASN1_INTEGER_free(nonce);
    LastOpenSslError();
    return failed("the answer is not a time-stamp response");
  }
  long status = ASN1_INTEGER_get(TS_STATUS_INFO_get0_status(TS_RESP_get_status_info(response.get())));
  PKCS7* tokenObject = TS_RESP_get_token(response.get());
  if ((status != 0 && status != 1) || tokenObject == nullptr) {
    ASN1_INTEGER_free(nonce);
    return failed("the request was refused (status " + std::to_string(status) + ")");
  }
  // The token must answer this request: same nonce.
  TS_TST_INFO* tst = TS_RESP_get_tst_info(response.get());
  const ASN1_INTEGER* answeredNonce = tst != nullptr ? TS_TST_INFO_get_nonce(tst) : nullptr;
  bool nonceMatches = answeredNonce != nullptr && ASN1_INTEGER_cmp(answeredNonce, nonce) == 0;
  ASN1_INTEGER_free(nonce);
  if (!nonceMatches) return failed("the answer does not belong to this request");
  unsigned char* tokenDer = nullptr;
  int tokenSize = i2d_PKCS7(tokenObject, &tokenDer);
  if (tokenSize <= 0) return failed(LastOpenSslError());
  token.assign(reinterpret_cast<char*>(tokenDer), static_cast<size_t>(tokenSize));
  OPENSSL_free(tokenDer);
  if (!CheckTimeStampToken(token, data, nullptr, info, error)) return failed(error);
  return Outcome::Ok();
}

}  // namespace zpk
