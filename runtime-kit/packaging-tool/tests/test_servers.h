#pragma once
// For the time-stamp tests, on 127.0.0.1 only: an authority (HTTP or HTTPS) that fails as real ones do, and a proxy.
#include <openssl/ssl.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "test_support.h"

namespace zpk::testing {

// Timings that let the tool's retries run in a fraction of a second (see retry_policy.h).
inline constexpr const char* kFastRetries =
    "ZPK_TEST_TSA_TIMING=budget=3000,delay=40,maxdelay=300,connect=1000,attempt=1000";

// A port on 127.0.0.1 that nothing listens on.
int ClosedPort();

// A socket listening on 127.0.0.1 whose thread hands `handle` one connection at a time. Handlers wait with
// WaitReadable, which gives up when the destructor stops the server: owners declare it after what `handle` uses.
class LoopbackServer {
 public:
  ~LoopbackServer();
  void Start(std::function<void(int client)> handle);
  bool running() const { return listener_ >= 0; }
  std::string url(const std::string& scheme, const std::string& path = "") const {
    return scheme + "://127.0.0.1:" + std::to_string(port_) + path;
  }
  int connections() const { return connections_.load(); }
  int wake() const { return wake_[0]; }  // turns readable when the server stops
  // Waits until `fd` is readable, the server stops or `timeoutMs` passed (-1: no limit); true for `fd`.
  bool WaitReadable(int fd, int timeoutMs = -1) const;

 private:
  int listener_ = -1, port_ = 0;
  int wake_[2] = {-1, -1};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

class TestTimeStampAuthority {
 public:
  // Grant answers with a token, HttpError with HTTP 500, Unavailable with 503, Reject with a time-stamp
  // response of status "rejection", Garbage with 200 and a body that is not one, OtherData with a valid
  // token over other data than asked for; Refuse resets the connection at once, Stall never answers.
  enum class Mode { Grant, HttpError, Unavailable, Reject, Refuse, Stall, Garbage, OtherData };
  // The first `times` connections get `mode`, later ones a token (-1: all); `tls`: HTTPS for 127.0.0.1.
  struct Options { Mode mode = Mode::Grant; int times = -1; bool tls = false; };

  explicit TestTimeStampAuthority(Mode mode = Mode::Grant) : TestTimeStampAuthority(Options{mode}) {}
  explicit TestTimeStampAuthority(Options options);

  bool running() const { return server_.running(); }
  std::string url() const { return server_.url(options_.tls ? "https" : "http", "/tsa"); }
  std::string certificatePem() const { return CertificatePem(certificate_.get()); }  // the token signer's
  std::string tlsCertificatePem() const { return CertificatePem(tlsCertificate_.get()); }  // the HTTPS server's
  int requests() const { return requests_.load(); }
  int connections() const { return server_.connections(); }

 private:
  void Handle(int client);
  std::string TimeStampReply(const std::string& request, Mode mode);

  Options options_;
  PkeyPtr key_, tlsKey_;
  X509Ptr certificate_, tlsCertificate_;
  std::unique_ptr<SSL_CTX, OpenSslDeleter<SSL_CTX, SSL_CTX_free>> tlsContext_;
  std::atomic<int> requests_{0};
  LoopbackServer server_;
};

// A forwarding proxy: "CONNECT host:port" for loopback targets only, relayed until either side closes.
class TestForwardingProxy {
 public:
  TestForwardingProxy() { server_.Start([this](int client) { Handle(client); }); }

  bool running() const { return server_.running(); }
  std::string url() const { return server_.url("http"); }
  int connections() const { return server_.connections(); }
  std::string lastTarget() const;  // "host:port" of the last tunnel asked for

 private:
  void Handle(int client);

  mutable std::mutex mutex_;
  std::string lastTarget_;
  LoopbackServer server_;
};

}  // namespace zpk::testing
