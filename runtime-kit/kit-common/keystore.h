#pragma once
// PKCS #12 keystores: reading the signing key and certificate chain, and creating
// self-signed ones.
#include <string>
#include <string_view>
#include <vector>

#include "arguments.h"
#include "openssl_util.h"
#include "tool_result.h"

namespace zpk {

struct SigningIdentity {
  PkeyPtr key;
  X509Ptr certificate;
  std::vector<X509Ptr> chain;  // further certificates of the keystore, issuer order
};

// Exit code 7 when the keystore cannot be read (wrong password: the text says "password
// may be incorrect"), 8 when it holds no key or its certificate is not valid now, 9 when
// its key belongs to none of its certificates.
Outcome LoadKeystore(const std::string& path, const std::string& password, SigningIdentity& identity);

// True for the two-letter codes of the ISO 3166-1 list the certificate dialog offers.
bool IsIsoCountryCode(std::string_view code);

// Writes a self-signed RSA keystore. Exit code 2 for a country that is not on the list,
// 11 when the certificate or the file cannot be made.
Outcome CreateCertificate(const CertificateArgs& args);

}  // namespace zpk
