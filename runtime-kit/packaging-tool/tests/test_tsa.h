#pragma once
// A small RFC 3161 time-stamp authority for tests: HTTP (or HTTPS) on 127.0.0.1, an
// ephemeral port, and certificates made when it starts. It can be made to fail in the ways
// real authorities do, for its first few connections or for all of them.
#include <atomic>
#include <string>

#include "openssl_util.h"

#include "test_network.h"

namespace zpk::testing {

// Timings that let the tool's retries run in a fraction of a second (see retry_policy.h).
inline constexpr const char* kFastRetries =
    "ZPK_TEST_TSA_TIMING=budget=3000,delay=40,maxdelay=300,connect=1000,attempt=1000";

class TestTimeStampAuthority {
 public:
  enum class Mode {
    Grant,        // answers with a token
    HttpError,    // answers HTTP 500
    Unavailable,  // answers HTTP 503
    Reject,       // answers a time-stamp response with status "rejection"
    Refuse,       // resets the connection at once
    Stall,        // reads the request and never answers
    Garbage,      // answers 200 with a body that is not a time-stamp response
    OtherData,    // answers a valid token over other data than asked for
  };
  struct Options {
    Mode mode = Mode::Grant;
    int times = -1;    // the first `times` connections get `mode`, later ones a token; -1: all
    bool tls = false;  // HTTPS with a certificate for 127.0.0.1 (tlsCertificatePem)
  };

  explicit TestTimeStampAuthority(Mode mode = Mode::Grant) : TestTimeStampAuthority(Options{mode}) {}
  explicit TestTimeStampAuthority(Options options);
  ~TestTimeStampAuthority();
  TestTimeStampAuthority(const TestTimeStampAuthority&) = delete;
  TestTimeStampAuthority& operator=(const TestTimeStampAuthority&) = delete;

  bool running() const { return server_.running(); }
  std::string url() const;
  std::string certificatePem() const;     // the token signer's certificate
  std::string tlsCertificatePem() const;  // the HTTPS server's (self-signed) certificate
  int requests() const { return requests_.load(); }
  int connections() const { return connections_.load(); }

 private:
  class Channel;
  void Serve();
  void Answer(Channel& channel, Mode mode);
  std::string TimeStampReply(const std::string& request, Mode mode);

  Options options_;
  PkeyPtr key_;
  X509Ptr certificate_;
  PkeyPtr tlsKey_;
  X509Ptr tlsCertificate_;
  void* tlsContext_ = nullptr;  // SSL_CTX
  std::atomic<int> requests_{0};
  std::atomic<int> connections_{0};
  std::atomic<long> serial_{1};
  LoopbackServer server_;  // last: its thread stops before the members it uses go
};

}  // namespace zpk::testing
