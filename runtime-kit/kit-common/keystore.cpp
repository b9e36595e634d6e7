#include "keystore.h"

#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include "atomic_output.h"

namespace zpk {

namespace {

constexpr const char* kCountryCodes =
    "AF AX AL DZ AS AD AO AI AQ AG AR AM AW AU AT AZ BS BH BD BB BY BE BZ BJ BM BT BO BA BW BV BR IO "
    "BN BG BF BI KH CM CA CV KY CF TD CL CN CX CC CO KM CG CD CK CR CI HR CU CY CZ DK DJ DM DO EC EG "
    "SV GQ ER EE ET FK FO FJ FI FR GF PF TF GA GM GE DE GH GI GR GL GD GP GU GT GG GN GW GY HT HM VA "
    "HN HK HU IS IN ID IR IQ IE IM IL IT JM JP JE JO KZ KE KI KP KR KW KG LA LV LB LS LR LY LI LT LU "
    "MO MK MG MW MY MV ML MT MH MQ MR MU YT MX FM MD MC MN ME MS MA MZ MM NA NR NP NL AN NC NZ NI NE "
    "NG NU NF MP NO OM PK PW PS PA PG PY PE PH PN PL PT PR QA RE RO RU RW BL SH KN LC MF PM VC WS SM "
    "ST SA SN RS SC SL SG SK SI SB SO ZA GS ES LK SD SR SJ SZ SE CH SY TW TJ TZ TH TL TG TK TO TT TN "
    "TR TM TC TV UG UA AE GB US UM UY UZ VU VE VN VG VI WF EH YE ZM ZW";

// Validity of a created certificate.
constexpr long kValidityDays = 25 * 365 + 6;

Outcome CertificateIssue(const std::string& path, const std::string& what) {
  return Fail(kExitCertificate, path + ": " + what + "\n");
}

bool AddNameEntry(X509_NAME* name, const char* field, const std::string& value) {
  if (value.empty()) return true;
  return X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0) == 1;
}

bool AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (extension == nullptr) return false;
  bool ok = X509_add_ext(cert, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return ok;
}

}  // namespace

bool IsIsoCountryCode(std::string_view code) {
  if (code.size() != 2) return false;
  std::string_view list = kCountryCodes;
  for (size_t i = 0; i + 2 <= list.size(); i += 3)
    if (list.substr(i, 2) == code) return true;
  return false;
}

Outcome LoadKeystore(const std::string& path, const std::string& password, SigningIdentity& identity) {
  LoadOpenSslProviders();
  std::string data, error;
  if (!ReadWholeFile(path, data, error))
    return Fail(kExitKeystore, path + ": the keystore cannot be read (" + error + ")\n");
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data());
  Pkcs12Ptr p12(d2i_PKCS12(nullptr, &p, static_cast<long>(data.size())));
  if (!p12) {
    ERR_clear_error();
    return Fail(kExitKeystore, path + ": the file is not a PKCS12 keystore\n");
  }
  if (PKCS12_mac_present(p12.get()) && PKCS12_verify_mac(p12.get(), password.c_str(), -1) != 1 &&
      !(password.empty() && PKCS12_verify_mac(p12.get(), nullptr, 0) == 1)) {
    ERR_clear_error();
    return Fail(kExitKeystore, path + ": the keystore cannot be opened; the password may be incorrect\n");
  }
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  STACK_OF(X509)* ca = nullptr;
  if (PKCS12_parse(p12.get(), password.c_str(), &key, &cert, &ca) != 1) {
    std::string reason = LastOpenSslError();
    return Fail(kExitKeystore, path + ": the keystore cannot be decrypted; the password may be incorrect (" +
                                   reason + ")\n");
  }
  identity.key.reset(key);
  identity.certificate.reset(cert);
  identity.chain.clear();
  for (int i = 0; ca != nullptr && i < sk_X509_num(ca); ++i) identity.chain.emplace_back(sk_X509_value(ca, i));
  sk_X509_free(ca);

  if (!identity.key) return CertificateIssue(path, "the keystore holds no private key");
  if (!identity.certificate && !identity.chain.empty())
    return Fail(kExitSigning, path + ": signing failed: the keystore's private key does not belong to its certificate\n");
  if (!identity.certificate) return CertificateIssue(path, "the keystore holds no certificate");
  X509* c = identity.certificate.get();
  if (X509_cmp_current_time(X509_get0_notBefore(c)) > 0)
    return CertificateIssue(path, "the certificate is not valid before " + TimeText(X509_get0_notBefore(c)));
  if (X509_cmp_current_time(X509_get0_notAfter(c)) < 0)
    return CertificateIssue(path, "the certificate expired on " + TimeText(X509_get0_notAfter(c)));
  if ((X509_get_extension_flags(c) & EXFLAG_KUSAGE) != 0 && (X509_get_key_usage(c) & KU_DIGITAL_SIGNATURE) == 0)
    return CertificateIssue(path, "the certificate may not be used for digital signatures");
  return Outcome::Ok();
}

Outcome CreateCertificate(const CertificateArgs& args) {
  if (!args.country.empty() && !IsIsoCountryCode(args.country))
    return UsageError("invalid country code " + args.country + " (a two-letter ISO 3166-1 code is expected)");
  auto failed = [&](const std::string& what) {
    return Fail(kExitCertificateCreation, args.file + ": the certificate cannot be created (" + what + ")\n");
  };
  PkeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(args.bits)));
  if (!key) return failed(LastOpenSslError());
  X509Ptr cert(X509_new());
  if (!cert) return failed(LastOpenSslError());
  unsigned char serial[16];
  if (RAND_bytes(serial, sizeof serial) != 1) return failed(LastOpenSslError());
  serial[0] &= 0x7f;  // positive
  BIGNUM* serialNumber = BN_bin2bn(serial, sizeof serial, nullptr);
  bool ok = serialNumber != nullptr && BN_to_ASN1_INTEGER(serialNumber, X509_get_serialNumber(cert.get())) != nullptr;
  BN_free(serialNumber);
  ok = ok && X509_set_version(cert.get(), 2) == 1;
  ok = ok && X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) != nullptr;
  ok = ok && X509_time_adj_ex(X509_getm_notAfter(cert.get()), kValidityDays, 0, nullptr) != nullptr;
  X509_NAME* name = X509_get_subject_name(cert.get());
  ok = ok && AddNameEntry(name, "CN", args.commonName) && AddNameEntry(name, "OU", args.unit) &&
       AddNameEntry(name, "O", args.organization) && AddNameEntry(name, "C", args.country);
  ok = ok && X509_set_issuer_name(cert.get(), name) == 1 && X509_set_pubkey(cert.get(), key.get()) == 1;
  ok = ok && AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") &&
       AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature") &&
       AddExtension(cert.get(), NID_ext_key_usage, "codeSigning") &&
       AddExtension(cert.get(), NID_subject_key_identifier, "hash");
  ok = ok && X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
  if (!ok) return failed(LastOpenSslError());

  Pkcs12Ptr p12(PKCS12_create(args.password.c_str(), "zaro", key.get(), cert.get(), nullptr, 0, 0, 0, 0, 0));
  if (!p12) return failed(LastOpenSslError());
  unsigned char* der = nullptr;
  int size = i2d_PKCS12(p12.get(), &der);
  if (size <= 0) return failed(LastOpenSslError());
  std::string data(reinterpret_cast<char*>(der), static_cast<size_t>(size));
  OPENSSL_free(der);
  std::string error;
  if (!WriteFileAtomically(args.file, data, 0600, error)) return failed(error);
  return Outcome::Ok();
}

}  // namespace zpk
