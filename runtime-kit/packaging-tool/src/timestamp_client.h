#pragma once
// RFC 3161 time stamps: asks an authority over HTTP or HTTPS for a token over some data,
// and checks tokens.
#include <functional>
#include <string>
#include <string_view>

#include <openssl/x509.h>

#include "retry_policy.h"
#include "tool_result.h"

namespace zpk {

struct Url {
  bool https = false;
  std::string host;
  std::string port;
  std::string path;
};

bool ParseUrl(const std::string& text, Url& url);

struct TimeStampInfo {
  std::string time;       // the authority's time, readable
  long long unixTime = 0;
  std::string authority;  // subject of the signing certificate
};

// Lines the tool writes while it waits for a time stamp start with this text ("time stamp:
// retrying URL in 1.2 s (retry 1): why", "time stamp: trying the fallback authority URL",
// "time stamp: granted by ..."). A run that needs neither a retry nor a fallback prints none.
inline constexpr const char* kTimeStampProgressPrefix = "time stamp: ";

struct TimeStampRun {
  std::string authority;     // the URL the author gave
  std::string fallbackFile;  // further authorities, tried in turn once `authority` has failed
  RetryPolicy policy;
  std::function<void(const std::string& line)> progress;  // one line, without its end
};

// A token over `data`. Each authority is asked until it grants one, refuses in a way that
// will not change (a rejection, a token that does not verify), or its retry budget is spent
// on failures that might pass (no connection, a time-out, HTTP 408, 429 or 5xx, an answer
// that is not a time-stamp response). Exit code 10, naming every authority tried and its last
// failure, when none granted a token.
Outcome RequestTimeStamp(const TimeStampRun& run, std::string_view data, std::string& token, TimeStampInfo& info);
// The same with the kit's fallback file, the policy in effect and progress lines on
// standard error.
Outcome RequestTimeStamp(const std::string& url, std::string_view data, std::string& token, TimeStampInfo& info);

// Checks that `token` is a time-stamp token over `data` signed by a time-stamping
// certificate. With `trust`, the authority's chain must also verify against it.
bool CheckTimeStampToken(std::string_view token, std::string_view data, X509_STORE* trust,
                         TimeStampInfo& info, std::string& error);

}  // namespace zpk
