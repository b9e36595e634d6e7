#pragma once
// Owning pointers for OpenSSL objects and a few conversions.
#include <memory>
#include <string>
#include <string_view>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

namespace zpk {

template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
  void operator()(T* p) const { Free(p); }
};

using PkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY, EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO, BIO_free_all>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, OpenSslDeleter<PKCS12, PKCS12_free>>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, OpenSslDeleter<PKCS7, PKCS7_free>>;
using StorePtr = std::unique_ptr<X509_STORE, OpenSslDeleter<X509_STORE, X509_STORE_free>>;
using TsReqPtr = std::unique_ptr<TS_REQ, OpenSslDeleter<TS_REQ, TS_REQ_free>>;
using TsRespPtr = std::unique_ptr<TS_RESP, OpenSslDeleter<TS_RESP, TS_RESP_free>>;
using TsVerifyPtr = std::unique_ptr<TS_VERIFY_CTX, OpenSslDeleter<TS_VERIFY_CTX, TS_VERIFY_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslDeleter<EVP_MD_CTX, EVP_MD_CTX_free>>;

// The last OpenSSL error as text (the queue is cleared).
std::string LastOpenSslError();

// Base64 without line breaks, and back (false for malformed input).
std::string Base64Encode(std::string_view data);
bool Base64Decode(std::string_view text, std::string& data);

std::string Sha256(std::string_view data);

// "CN=..., OU=..., O=..., C=..." in UTF-8.
std::string NameText(const X509_NAME* name);
// "2024-05-01 12:00:00 UTC".
std::string TimeText(const ASN1_TIME* time);

std::string CertificateDer(X509* cert);

// Loads the legacy algorithms (old keystores) when the library offers them.
void LoadOpenSslProviders();

}  // namespace zpk
