#include "testing/profile_maker.h"

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <fstream>
#include <memory>
#include <string_view>

namespace zaro::testing {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo, CMS_ContentInfo_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, Deleter<PKCS12, PKCS12_free>>;

std::string BioText(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

BioPtr MemoryBio(std::string_view text) {
  return BioPtr(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

PkeyPtr ReadKey(const TestIdentity& identity) {
  BioPtr bio = MemoryBio(identity.keyPem);
  return PkeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

X509Ptr ReadCertificate(const TestIdentity& identity) {
  BioPtr bio = MemoryBio(identity.certificatePem);
  return X509Ptr(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

std::string Base64(std::string_view data) {
  BioPtr b64(BIO_new(BIO_f_base64()));
  BIO* memory = BIO_new(BIO_s_mem());
  BIO_set_flags(b64.get(), BIO_FLAGS_BASE64_NO_NL);
  BIO_push(b64.get(), memory);
  BIO_write(b64.get(), data.data(), static_cast<int>(data.size()));
  (void)BIO_flush(b64.get());
  return BioText(memory);
}

std::string Escaped(std::string_view text) {
  std::string out;
  for (char c : text) out += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : std::string(1, c);
  return out;
}

std::string PlistDate(std::time_t when) {
  std::tm utc{};
  gmtime_r(&when, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// `content` as the attached content of a CMS SignedData carrying the signer's certificate.
std::string SignedEnvelope(std::string_view content, const TestIdentity& signer) {
  PkeyPtr key = ReadKey(signer);
  X509Ptr cert = ReadCertificate(signer);
  BioPtr data = MemoryBio(content);
  if (!key || !cert || !data) return {};
  CmsPtr cms(CMS_sign(cert.get(), key.get(), nullptr, data.get(), CMS_BINARY));
  BioPtr out(BIO_new(BIO_s_mem()));
  if (!cms || !out || i2d_CMS_bio(out.get(), cms.get()) != 1) return {};
  return BioText(out.get());
}

}  // namespace

TestIdentity MakeTestIdentity(const std::string& commonName, int validDays) {
  PkeyPtr key(EVP_RSA_gen(2048));
  X509Ptr cert(X509_new());
  if (!key || !cert) return {};
  X509_set_version(cert.get(), 2);
  static long serial = 1;
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial++ + static_cast<long>(std::time(nullptr)));
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -86400L * (validDays < 0 ? 2 - validDays : 1));
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), validDays < 0 ? -86400L : 86400L * validDays);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                             -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509_set_pubkey(cert.get(), key.get());
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) return {};

  TestIdentity identity;
  BioPtr keyBio(BIO_new(BIO_s_mem()));
  BioPtr certBio(BIO_new(BIO_s_mem()));
  if (!PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ||
      !PEM_write_bio_X509(certBio.get(), cert.get())) {
    return {};
  }
  identity.keyPem = BioText(keyBio.get());
  identity.certificatePem = BioText(certBio.get());
  unsigned char* der = nullptr;
  const int size = i2d_X509(cert.get(), &der);
  if (size <= 0) return {};
  identity.certificateDer.assign(reinterpret_cast<char*>(der), static_cast<size_t>(size));
  OPENSSL_free(der);
  return identity;
}

bool WriteKeystore(const std::filesystem::path& path, const TestIdentity& identity, const std::string& password) {
  PkeyPtr key = ReadKey(identity);
  X509Ptr cert = ReadCertificate(identity);
  if (!key || !cert) return false;
  Pkcs12Ptr p12(PKCS12_create(password.c_str(), "test key", key.get(), cert.get(), nullptr, 0, 0, 0, 0, 0));
  if (!p12) return false;
  BioPtr out(BIO_new_file(path.c_str(), "wb"));
  return out && i2d_PKCS12_bio(out.get(), p12.get()) == 1;
}

std::string ProfilePropertyList(const ProfileContent& content) {
  std::string text;
  int depth = 0;
  // Each element on a line of its own, one tab per level, or all of them back to back.
  auto line = [&](const std::string& element, int nesting = 0) {
    if (nesting < 0) --depth;
    if (content.indented && !text.empty()) text += "\n" + std::string(static_cast<size_t>(depth), '\t');
    text += element;
    if (nesting > 0) ++depth;
  };
  auto element = [&](const std::string& tag, const std::string& value) {
    line("<" + tag + ">" + Escaped(value) + "</" + tag + ">");
  };
  auto entry = [&](const std::string& key, const std::string& tag, const std::string& value) {
    element("key", key);
    element(tag, value);
  };
  auto array = [&](const std::string& key, const std::vector<std::string>& values, const std::string& tag = "string") {
    element("key", key);
    line("<array>", 1);
    for (const std::string& value : values) element(tag, value);
    line("</array>", -1);
  };
  std::vector<std::string> certificates;
  for (const std::string& der : content.developerCertificates) certificates.push_back(Base64(der));
  line("<plist version=\"1.0\">", 1);
  line("<dict>", 1);
  entry("AppIDName", "string", content.name + " App");
  array("ApplicationIdentifierPrefix", {content.teamPrefix});
  entry("CreationDate", "date", PlistDate(content.creationDate));
  array("DeveloperCertificates", certificates, "data");
  element("key", "Entitlements");
  line("<dict>", 1);
  entry("application-identifier", "string", content.applicationIdentifier);
  element("key", "get-task-allow");
  line(content.getTaskAllow ? "<true/>" : "<false/>");
  array("keychain-access-groups", {content.teamPrefix + ".*"});
  line("</dict>", -1);
  entry("ExpirationDate", "date", PlistDate(content.expirationDate));
  entry("Name", "string", content.name);
  if (!content.provisionedDevices.empty()) array("ProvisionedDevices", content.provisionedDevices);
  array("TeamIdentifier", {content.teamPrefix});
  entry("Version", "integer", "1");
  line("</dict>", -1);
  line("</plist>", -1);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n" +
         text + "\n";
}

bool WriteProfile(const std::filesystem::path& path, const ProfileContent& content) {
  static const TestIdentity issuer = MakeTestIdentity("Test Profile Issuer", 3650);  // one for the process
  const std::string profile = SignedEnvelope(ProfilePropertyList(content), issuer);
  if (profile.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << profile;
  return static_cast<bool>(out.flush());
}

}  // namespace zaro::testing
