#pragma once
// A small RFC 3161 time-stamp authority for tests: plain HTTP on 127.0.0.1, an ephemeral
// port, and a certificate made when it starts.
#include <atomic>
#include <string>
#include <thread>

#include "openssl_util.h"

namespace zpk::testing {

class TestTimeStampAuthority {
 public:
  enum class Mode {
    Grant,      // answers every request with a token
    HttpError,  // answers HTTP 500
    Reject,     // answers a time-stamp response with status "rejection"
  };

  explicit TestTimeStampAuthority(Mode mode = Mode::Grant);
  ~TestTimeStampAuthority();
  TestTimeStampAuthority(const TestTimeStampAuthority&) = delete;
  TestTimeStampAuthority& operator=(const TestTimeStampAuthority&) = delete;

  bool running() const { return listener_ >= 0; }
  std::string url() const;
  std::string certificatePem() const;
  int requests() const { return requests_.load(); }

 private:
  void Serve();
  void Answer(int client);

  Mode mode_;
  PkeyPtr key_;
  X509Ptr certificate_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  int port_ = 0;
  std::atomic<int> requests_{0};
  std::atomic<long> serial_{1};
  std::thread thread_;
};

}  // namespace zpk::testing
