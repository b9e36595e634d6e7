#include "timestamp_client.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include "http_transport.h"
#include "openssl_util.h"
#include "tsa_fallback.h"

namespace zpk {

namespace {

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

namespace {

struct AsnIntegerDeleter {
  void operator()(ASN1_INTEGER* value) const { ASN1_INTEGER_free(value); }
};

// A request as sent: its DER form and the nonce the answer must repeat.
struct TimeStampQuery {
  std::string der;
  std::unique_ptr<ASN1_INTEGER, AsnIntegerDeleter> nonce;
};

std::unique_ptr<ASN1_INTEGER, AsnIntegerDeleter> RandomNonce() {
  unsigned char bytes[8];
  RAND_bytes(bytes, sizeof bytes);
  bytes[0] &= 0x7f;
  BIGNUM* number = BN_bin2bn(bytes, sizeof bytes, nullptr);
  std::unique_ptr<ASN1_INTEGER, AsnIntegerDeleter> nonce(BN_to_ASN1_INTEGER(number, nullptr));
  BN_free(number);
  return nonce;
}

// A SHA-256 imprint of `data`, a fresh nonce, and the authority's certificate asked for.
bool BuildQuery(std::string_view data, TimeStampQuery& query, std::string& error) {
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
  query.nonce = RandomNonce();
  TS_REQ_set_nonce(request.get(), query.nonce.get());
  TS_REQ_set_cert_req(request.get(), 1);
  unsigned char* der = nullptr;
  int size = i2d_TS_REQ(request.get(), &der);
  if (size <= 0 || !query.nonce) {
    error = LastOpenSslError();
    return false;
  }
  query.der.assign(reinterpret_cast<char*>(der), static_cast<size_t>(size));
  OPENSSL_free(der);
  return true;
}

AttemptResult Failure(Verdict verdict, std::string error) { return {verdict, std::move(error), Millis(0)}; }

// The token out of a time-stamp response, with the checks every token gets: granted, for
// this request's nonce, over `data`, signed by a time-stamping certificate.
AttemptResult ReadReply(const std::string& answer, const TimeStampQuery& query, std::string_view data,
                        std::string& token, TimeStampInfo& info) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(answer.data());
  TsRespPtr response(d2i_TS_RESP(nullptr, &p, static_cast<long>(answer.size())));
  if (!response) {
    LastOpenSslError();
    return Failure(Verdict::Transient, "the answer is not a time-stamp response");
  }
  long status = ASN1_INTEGER_get(TS_STATUS_INFO_get0_status(TS_RESP_get_status_info(response.get())));
  PKCS7* tokenObject = TS_RESP_get_token(response.get());
  if (status == TS_STATUS_WAITING) return Failure(Verdict::Transient, "the authority asks to come back later");
  if ((status != TS_STATUS_GRANTED && status != TS_STATUS_GRANTED_WITH_MODS) || tokenObject == nullptr)
    return Failure(Verdict::Permanent, "the request was refused (status " + std::to_string(status) + ")");
  TS_TST_INFO* tst = TS_RESP_get_tst_info(response.get());
  const ASN1_INTEGER* answeredNonce = tst != nullptr ? TS_TST_INFO_get_nonce(tst) : nullptr;
  if (answeredNonce == nullptr || ASN1_INTEGER_cmp(answeredNonce, query.nonce.get()) != 0)
    return Failure(Verdict::Permanent, "the answer does not belong to this request");
  unsigned char* tokenDer = nullptr;
  int tokenSize = i2d_PKCS7(tokenObject, &tokenDer);
  if (tokenSize <= 0) return Failure(Verdict::Permanent, LastOpenSslError());
  token.assign(reinterpret_cast<char*>(tokenDer), static_cast<size_t>(tokenSize));
  OPENSSL_free(tokenDer);
  std::string error;
  if (!CheckTimeStampToken(token, data, nullptr, info, error)) {
    token.clear();
    return Failure(Verdict::Permanent, error);
  }
  return {};
}

// Busy, overloaded or failing servers may answer later; any other status will not change.
bool MayPassOnRetry(long status) { return status == 408 || status == 429 || (status >= 500 && status <= 599); }

AttemptResult AskOnce(const std::string& url, const TimeStampQuery& query, std::string_view data,
                      const RetryPolicy& policy, Millis timeLeft, std::string& token, TimeStampInfo& info) {
  HttpRequest request;
  request.url = url;
  request.contentType = "application/timestamp-query";
  request.accept = "application/timestamp-reply";
  request.body = query.der;
  request.totalTimeout = std::min(policy.attemptTimeout, timeLeft);
  request.connectTimeout = std::min(policy.connectTimeout, request.totalTimeout);
  HttpResponse reply = HttpPost(request);
  if (!reply.answered) return Failure(reply.transient ? Verdict::Transient : Verdict::Permanent, reply.error);
  if (reply.status != 200) {
    AttemptResult refused = Failure(MayPassOnRetry(reply.status) ? Verdict::Transient : Verdict::Permanent,
                                    "the time-stamp authority answered " + reply.statusLine);
    refused.retryAfter = reply.retryAfter;
    return refused;
  }
  return ReadReply(reply.body, query, data, token, info);
}

std::string Seconds(Millis delay) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(delay.count()) / 1000.0);
  return text;
}

// One authority, with retries inside the policy's budget. The last failure is in `error`.
bool AskWithRetries(const std::string& url, const TimeStampQuery& query, std::string_view data,
                    const TimeStampRun& run, std::string& token, TimeStampInfo& info, std::string& error) {
  auto attempt = [&](Millis timeLeft) { return AskOnce(url, query, data, run.policy, timeLeft, token, info); };
  auto notice = [&](int retry, Millis delay, const std::string& why) {
    run.progress(std::string(kTimeStampProgressPrefix) + "retrying " + url + " in " + Seconds(delay) + " (retry " +
                 std::to_string(retry) + "): " + why);
  };
  AttemptResult result = RunWithRetries(run.policy, attempt, notice);
  error = result.error;
  return result.verdict == Verdict::Done;
}

}  // namespace

Outcome RequestTimeStamp(const TimeStampRun& run, std::string_view data, std::string& token, TimeStampInfo& info) {
  Url parsed;
  if (!ParseUrl(run.authority, parsed))
    return Fail(kExitTimestamp, "the time-stamp authority " + run.authority +
                                    " could not be used: the address is not an http or https URL\n");
  TimeStampQuery query;
  std::string error, failures;
  if (!BuildQuery(data, query, error))
    return Fail(kExitTimestamp, "the time-stamp authority " + run.authority + " could not be used: " + error + "\n");
  bool noticed = false;
  auto note = [&](const std::string& line) {
    noticed = true;
    if (run.progress) run.progress(line);
  };
  TimeStampRun quiet = run;
  quiet.progress = note;
  if (AskWithRetries(run.authority, query, data, quiet, token, info, error)) {
    if (noticed) note(std::string(kTimeStampProgressPrefix) + "granted by " + run.authority);
    return Outcome::Ok();
  }
  failures = "the time-stamp authority " + run.authority + " could not be used: " + error + "\n";
  FallbackList fallbacks = ReadFallbackAuthorities(run.fallbackFile, run.authority);
  for (const std::string& skipped : fallbacks.skipped)
    note(std::string(kTimeStampProgressPrefix) + "fallback list " + skipped + ", skipped");
  for (const std::string& url : fallbacks.authorities) {
    note(std::string(kTimeStampProgressPrefix) + "trying the fallback authority " + url);
    if (AskWithRetries(url, query, data, quiet, token, info, error)) {
      note(std::string(kTimeStampProgressPrefix) + "granted by the fallback authority " + url);
      return Outcome::Ok();
    }
    failures += "the time-stamp authority " + url + " could not be used: " + error + "\n";
  }
  return Fail(kExitTimestamp, failures);
}

Outcome RequestTimeStamp(const std::string& url, std::string_view data, std::string& token, TimeStampInfo& info) {
  TimeStampRun run;
  run.authority = url;
  run.fallbackFile = FallbackFilePath();
  run.policy = RetryPolicyInEffect();
  run.progress = [](const std::string& line) {
    std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  };
  return RequestTimeStamp(run, data, token, info);
}

}  // namespace zpk
