#pragma once
// RFC 3161 time stamps: asks an authority over HTTP or HTTPS for a token over some data,
// and checks tokens.
#include <string>
#include <string_view>

#include <openssl/x509.h>

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

// Exit code 10 when the authority cannot be reached within a few seconds, answers with an
// error or refuses, or its token does not match the data.
Outcome RequestTimeStamp(const std::string& url, std::string_view data, std::string& token, TimeStampInfo& info);

// Checks that `token` is a time-stamp token over `data` signed by a time-stamping
// certificate. With `trust`, the authority's chain must also verify against it.
bool CheckTimeStampToken(std::string_view token, std::string_view data, X509_STORE* trust,
                         TimeStampInfo& info, std::string& error);

}  // namespace zpk
