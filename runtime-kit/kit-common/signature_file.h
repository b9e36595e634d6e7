#pragma once
// META-INF/signatures.xml: the SHA-256 digest of every entry (the manifest), an RSA-SHA256
// signature over the manifest's exact bytes, the signer's certificate chain and an
// optional RFC 3161 time-stamp token over the signature.
#include <string>
#include <string_view>
#include <vector>

#include "keystore.h"
#include "openssl_util.h"
#include "tool_result.h"

namespace zpk {

inline constexpr const char* kSignaturesNamespace = "http://ns.corvane.example/zaro/signatures/1.0";

struct EntryDigest {
  std::string name;
  std::string sha256;  // 32 raw bytes
};

// The manifest element exactly as it is stored and signed.
std::string BuildManifest(const std::vector<EntryDigest>& digests);

// RSA-SHA256 (PKCS #1 v1.5) signature; exit code 9 when the key cannot sign.
Outcome SignData(const SigningIdentity& identity, std::string_view data, std::string& signature);
bool VerifyData(X509* certificate, std::string_view data, std::string_view signature);

std::string BuildSignaturesFile(const std::string& manifest, const std::string& signature,
                                const SigningIdentity& identity, const std::string& timeStampToken);

struct ParsedSignatures {
  std::string manifest;  // the signed bytes
  std::vector<EntryDigest> digests;
  std::string signature;
  std::vector<X509Ptr> certificates;  // signer first
  std::string timeStampToken;         // empty when not time-stamped
};

bool ParseSignaturesFile(std::string_view text, ParsedSignatures& parsed, std::string& error);

}  // namespace zpk
