#include "openssl_util.h"

#include <openssl/err.h>
#include <openssl/provider.h>
#include <openssl/sha.h>

#include <cstdlib>
#include <ctime>

namespace zpk {

std::string LastOpenSslError() {
  unsigned long code = ERR_get_error();
  std::string text;
  if (code != 0) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    text = buffer;
  }
  ERR_clear_error();
  return text.empty() ? "unknown error" : text;
}

std::string Base64Encode(std::string_view data) {
  std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

bool Base64Decode(std::string_view text, std::string& data) {
  std::string clean;
  for (char c : text)
    if (c != ' ' && c != '\n' && c != '\r' && c != '\t') clean += c;
  if (clean.size() % 4 != 0) return false;
  data.assign(3 * clean.size() / 4 + 1, '\0');
  int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(data.data()),
                          reinterpret_cast<const unsigned char*>(clean.data()), static_cast<int>(clean.size()));
  if (n < 0) return false;
  size_t size = static_cast<size_t>(n);
  if (!clean.empty() && clean.back() == '=') --size;
  if (clean.size() >= 2 && clean[clean.size() - 2] == '=') --size;
  data.resize(size);
  return true;
}

std::string Sha256(std::string_view data) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
  return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

std::string NameText(const X509_NAME* name) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  std::string text(data, static_cast<size_t>(size));
  // Readable separators: "CN=a, OU=b" instead of "CN=a,OU=b".
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == ',' && (i == 0 || text[i - 1] != '\\')) out += ' ';
  }
  return out;
}

std::string TimeText(const ASN1_TIME* time) {
  struct tm tm {};
  if (time == nullptr || ASN1_TIME_to_tm(time, &tm) != 1) return "?";
  char buffer[64];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return buffer;
}

std::string CertificateDer(X509* cert) {
  unsigned char* der = nullptr;
  int size = i2d_X509(cert, &der);
  if (size <= 0) return {};
  std::string out(reinterpret_cast<char*>(der), static_cast<size_t>(size));
  OPENSSL_free(der);
  return out;
}

namespace {

OSSL_PROVIDER* g_defaultProvider = nullptr;
OSSL_PROVIDER* g_legacyProvider = nullptr;

// Runs before the library's own clean-up (registered later, so called earlier).
void UnloadProviders() {
  if (g_legacyProvider != nullptr) OSSL_PROVIDER_unload(g_legacyProvider);
  if (g_defaultProvider != nullptr) OSSL_PROVIDER_unload(g_defaultProvider);
  g_legacyProvider = g_defaultProvider = nullptr;
}

}  // namespace

void LoadOpenSslProviders() {
  if (g_defaultProvider != nullptr) return;
  // Loading the default provider explicitly keeps it available next to legacy.
  g_defaultProvider = OSSL_PROVIDER_load(nullptr, "default");
  g_legacyProvider = OSSL_PROVIDER_load(nullptr, "legacy");
  if (g_legacyProvider == nullptr) ERR_clear_error();
  std::atexit(UnloadProviders);
}

}  // namespace zpk
