#include "app_bundle.h"

#include <openssl/cms.h>
#include <openssl/x509.h>

#include <cctype>
#include <ctime>
#include <memory>

#include "openssl_util.h"
#include "property_list.h"
#include "reproducible.h"
#include "xml_session.h"

namespace mpk {

namespace {

using CmsPtr = std::unique_ptr<CMS_ContentInfo, zpk::OpenSslDeleter<CMS_ContentInfo, CMS_ContentInfo_free>>;
using CertStackPtr = std::unique_ptr<STACK_OF(X509), decltype([](STACK_OF(X509)* s) { sk_X509_free(s); })>;

std::string KeyString(const std::string& key, const std::string& value) {
  return "\t<key>" + zpk::XmlEscaped(key) + "</key>\n\t<string>" + zpk::XmlEscaped(value) + "</string>\n";
}

}  // namespace

std::string BundleFolder(const std::string& filename) { return "Payload/" + filename + ".app/"; }

bool IsReservedBundleName(const std::string& name) {
  return name == kInfoPlist || name == kEmbeddedProfile || name == kBundleDescriptor ||
         name.compare(0, 15, "_CodeSignature/") == 0 || name == "_CodeSignature";
}

std::string BuildInfoPlist(const zpk::DescriptorInfo& info) {
  const std::string& name = info.name.empty() ? info.filename : info.name;
  std::string body = "<dict>\n";
  body += KeyString("CFBundleDisplayName", name);
  body += KeyString("CFBundleExecutable", info.filename);
  body += "\t<key>CFBundleIconFiles</key>\n\t<array>\n";
  for (const zpk::IconReference& icon : info.icons) {
    if (icon.element.compare(0, 17, "application.icon.") == 0) {
      body += "\t\t<string>" + zpk::XmlEscaped(icon.path) + "</string>\n";
    }
  }
  body += "\t</array>\n";
  body += KeyString("CFBundleIdentifier", info.id);
  body += KeyString("CFBundleName", name);
  body += KeyString("CFBundlePackageType", "APPL");
  body += KeyString("CFBundleShortVersionString", info.version);
  body += KeyString("CFBundleVersion", info.version);
  body += "</dict>\n";
  return PropertyListDocument(body);
}

std::string BuildCodeResources(const CodeResources& resources) {
  std::string body = "<dict>\n\t<key>files</key>\n\t<dict>\n";
  for (const auto& [name, digest] : resources.files) {
    body += "\t\t<key>" + zpk::XmlEscaped(name) + "</key>\n\t\t<data>" + zpk::Base64Encode(digest) + "</data>\n";
  }
  body += "\t</dict>\n";
  if (!resources.folders.empty()) {
    body += "\t<key>folders</key>\n\t<array>\n";
    for (const std::string& folder : resources.folders) body += "\t\t<string>" + zpk::XmlEscaped(folder) + "</string>\n";
    body += "\t</array>\n";
  }
  body += "</dict>\n";
  return PropertyListDocument(body);
}

bool ParseCodeResources(std::string_view text, CodeResources& resources) {
  const std::optional<PlistValue> plist = ParsePropertyList(text);
  const PlistValue* files = plist ? plist->Find("files") : nullptr;
  if (files == nullptr || files->kind != PlistValue::Kind::Dict) return false;
  resources = CodeResources{};
  for (const auto& [name, value] : files->fields) {
    if (value.kind != PlistValue::Kind::Data || name.empty() || name.back() == '/') return false;
    resources.files[name] = value.text;
  }
  if (const PlistValue* folders = plist->Find("folders")) {
    if (folders->kind != PlistValue::Kind::Array) return false;
    for (const PlistValue& folder : folders->items) {
      if (folder.kind != PlistValue::Kind::String || folder.text.size() < 2 || folder.text.back() != '/') return false;
      resources.folders.insert(folder.text);
    }
  }
  return true;
}

bool HoldsNestedBundle(std::string_view name) {
  // Every part followed by "/" is a folder.
  for (size_t start = 0, slash; (slash = name.find('/', start)) != std::string_view::npos; start = slash + 1) {
    const std::string_view folder = name.substr(start, slash - start);
    if (folder.size() < 4) continue;
    std::string tail(folder.substr(folder.size() - 4));
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == ".app") return true;
  }
  return false;
}

zpk::Outcome SignDetached(const zpk::SigningIdentity& identity, std::string_view data, std::string& signature) {
  CertStackPtr chain(sk_X509_new_null());
  for (const zpk::X509Ptr& cert : identity.chain) sk_X509_push(chain.get(), cert.get());
  zpk::BioPtr in(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
  // Under SOURCE_DATE_EPOCH the signing time is that time, so that the same inputs give
  // the same signature.
  std::time_t fixed = 0;
  const bool reproducible = zpk::ReproducibleTime(fixed);
  CmsPtr cms(in ? CMS_sign(identity.certificate.get(), identity.key.get(), chain.get(), in.get(),
                           CMS_DETACHED | CMS_BINARY | (reproducible ? CMS_PARTIAL : 0))
                : nullptr);
  if (cms && reproducible) {
    CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(CMS_get0_SignerInfos(cms.get()), 0);
    ASN1_TIME* when = X509_time_adj_ex(nullptr, 0, 0, &fixed);
    const bool stamped = signer != nullptr && when != nullptr &&
                         CMS_signed_add1_attr_by_NID(signer, NID_pkcs9_signingTime, when->type, when, -1) == 1;
    ASN1_TIME_free(when);
    zpk::BioPtr again(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
    if (!stamped || !again || CMS_final(cms.get(), again.get(), nullptr, CMS_DETACHED | CMS_BINARY) != 1) cms.reset();
  }
  zpk::BioPtr out(BIO_new(BIO_s_mem()));
  if (!cms || !out || i2d_CMS_bio(out.get(), cms.get()) != 1) {
    return zpk::Fail(zpk::kExitSigning, "the code resources cannot be signed (" + zpk::LastOpenSslError() + ")\n");
  }
  char* bytes = nullptr;
  const long size = BIO_get_mem_data(out.get(), &bytes);
  signature.assign(bytes, size > 0 ? static_cast<size_t>(size) : 0);
  return zpk::Outcome::Ok();
}

}  // namespace mpk
