#include "http_transport.h"

#include <cstdlib>
#include <memory>
#include <mutex>

#include <curl/curl.h>
#include <openssl/ssl.h>

namespace zpk {

namespace {

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;

struct HeaderListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderListPtr = std::unique_ptr<curl_slist, HeaderListDeleter>;

// What the callbacks fill while the transfer runs.
struct Transfer {
  const HttpRequest* request = nullptr;
  HttpResponse* response = nullptr;
  bool tooLarge = false;
};

void InitialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t AppendBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  size_t bytes = size * count;
  if (transfer->response->body.size() + bytes > transfer->request->maxResponse) {
    transfer->tooLarge = true;
    return 0;  // ends the transfer
  }
  transfer->response->body.append(data, bytes);
  return bytes;
}

// Keeps the status line of the final response (an interim "100 Continue" is replaced).
size_t KeepStatusLine(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  std::string line(data, size * count);
  if (line.compare(0, 5, "HTTP/") == 0) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    transfer->response->statusLine = line;
  }
  return size * count;
}

// The trust store of the system as OpenSSL finds it (which also honours SSL_CERT_FILE and
// SSL_CERT_DIR), besides the bundle libcurl was built with.
CURLcode AddSystemTrustStore(CURL*, void* sslContext, void*) {
  SSL_CTX_set_default_verify_paths(static_cast<SSL_CTX*>(sslContext));
  return CURLE_OK;
}

HeaderListPtr MakeHeaders(const HttpRequest& request) {
  curl_slist* list = nullptr;
  for (const std::string& header : {"Content-Type: " + request.contentType, "Accept: " + request.accept,
                                    std::string("Expect:")}) {
    curl_slist* longer = curl_slist_append(list, header.c_str());
    if (longer == nullptr) break;
    list = longer;
  }
  return HeaderListPtr(list);
}

void SetOptions(CURL* handle, const HttpRequest& request, curl_slist* headers, Transfer& transfer, char* errors) {
  curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_POST, 1L);
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(handle, CURLOPT_USERAGENT, "ZPK");
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
  curl_easy_setopt(handle, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  curl_easy_setopt(handle, CURLOPT_SSL_CTX_FUNCTION, AddSystemTrustStore);
  curl_easy_setopt(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, KeepStatusLine);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errors);
}

// Failures that the same request will meet again: a malformed address, a server whose
// certificate does not verify, a local TLS set-up that cannot work.
bool IsLasting(CURLcode code) {
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_FAILED_INIT:
    case CURLE_OUT_OF_MEMORY:
      return true;
    default:
      return false;
  }
}

// "host:port" of the request's address, for messages.
std::string HostOf(const HttpRequest& request) {
  char* host = nullptr;
  long port = 0;
  CURLU* url = curl_url();
  std::string text = request.url;
  if (url != nullptr && curl_url_set(url, CURLUPART_URL, request.url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
    text = host;
    char* portText = nullptr;
    if (curl_url_get(url, CURLUPART_PORT, &portText, CURLU_DEFAULT_PORT) == CURLUE_OK) {
      port = std::strtol(portText, nullptr, 10);
      curl_free(portText);
    }
    curl_free(host);
    if (port > 0) text += ":" + std::to_string(port);
  }
  curl_url_cleanup(url);
  return text;
}

std::string DescribeFailure(CURLcode code, const std::string& host, const char* errors, const HttpRequest& request) {
  std::string detail = errors[0] != '\0' ? errors : curl_easy_strerror(code);
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return "a name could not be resolved (" + detail + ")";
    case CURLE_COULDNT_CONNECT:
      return "cannot connect to " + host + " (" + detail + ")";
    case CURLE_OPERATION_TIMEDOUT:
      return "no answer from " + host + " within " + std::to_string(request.totalTimeout.count()) + " ms (" +
             detail + ")";
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
      return "the secure connection to " + host + " failed (" + detail + ")";
    default:
      return "the exchange with " + host + " failed (" + detail + ")";
  }
}

void ReadStatus(CURL* handle, HttpResponse& response) {
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &response.status);
  curl_off_t retryAfter = 0;
  if (curl_easy_getinfo(handle, CURLINFO_RETRY_AFTER, &retryAfter) == CURLE_OK && retryAfter > 0)
    response.retryAfter = std::chrono::seconds(retryAfter);
  if (response.statusLine.empty()) response.statusLine = "HTTP status " + std::to_string(response.status);
  response.answered = response.status != 0;
}

}  // namespace

HttpResponse HttpPost(const HttpRequest& request) {
  InitialiseOnce();
  HttpResponse response;
  EasyPtr handle(curl_easy_init());
  HeaderListPtr headers = MakeHeaders(request);
  if (!handle || !headers) {
    response.error = "the HTTP client could not be set up";
    return response;
  }
  Transfer transfer{&request, &response};
  char errors[CURL_ERROR_SIZE] = {};
  SetOptions(handle.get(), request, headers.get(), transfer, errors);
  CURLcode code = curl_easy_perform(handle.get());
  if (code == CURLE_OK) {
    ReadStatus(handle.get(), response);
    if (response.answered) return response;
  }
  response.answered = false;
  response.body.clear();
  if (transfer.tooLarge) {
    response.error = "the answer from " + HostOf(request) + " is larger than " +
                     std::to_string(request.maxResponse) + " bytes";
    response.transient = true;
    return response;
  }
  long proxyStatus = 0;
  curl_easy_getinfo(handle.get(), CURLINFO_HTTP_CONNECTCODE, &proxyStatus);
  if (proxyStatus >= 300) {
    // The proxy turned the tunnel down; only its own trouble (5xx) may pass.
    response.transient = proxyStatus >= 500;
    response.error = "the proxy refused the connection to " + HostOf(request) + " (HTTP " +
                     std::to_string(proxyStatus) + ")";
    return response;
  }
  response.transient = !IsLasting(code);
  response.error = DescribeFailure(code, HostOf(request), errors, request);
  return response;
}

}  // namespace zpk
