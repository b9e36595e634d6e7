#pragma once
// One HTTP or HTTPS POST through libcurl. The system's trust store verifies servers, and the
// usual proxy variables (https_proxy, HTTPS_PROXY, http_proxy, all_proxy, no_proxy) apply as
// they do for every command-line tool. Redirects are not followed.
#include <cstddef>
#include <string>

#include "retry_policy.h"

namespace zpk {

struct HttpRequest {
  std::string url;
  std::string contentType;
  std::string accept;
  std::string body;
  Millis connectTimeout{8000};  // name lookup and connection (through the proxy, when one is used)
  Millis totalTimeout{20000};   // the whole exchange
  size_t maxResponse = 1 << 20;
};

struct HttpResponse {
  bool answered = false;  // an HTTP status came back; otherwise `error` says why not
  bool transient = false; // without an answer: whether trying again may help
  long status = 0;
  std::string statusLine;  // "HTTP/1.1 503 Service Unavailable"
  std::string body;
  Millis retryAfter{0};   // the server's Retry-After, when it sent one
  std::string error;
};

HttpResponse HttpPost(const HttpRequest& request);

}  // namespace zpk
