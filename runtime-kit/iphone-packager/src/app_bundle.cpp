#include "app_bundle.h"

#include <openssl/cms.h>
#include <openssl/x509.h>

#include <ctime>
#include <memory>

#include <xercesc/dom/DOM.hpp>

#include "openssl_util.h"
#include "property_list.h"
#include "reproducible.h"
#include "xml_session.h"

namespace mpk {

using namespace xercesc;

namespace {

using CmsPtr = std::unique_ptr<CMS_ContentInfo, zpk::OpenSslDeleter<CMS_ContentInfo, CMS_ContentInfo_free>>;
using CertStackPtr = std::unique_ptr<STACK_OF(X509), decltype([](STACK_OF(X509)* s) { sk_X509_free(s); })>;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string KeyString(const std::string& key, const std::string& value) {
  return "\t<key>" + EscapeXmlText(key) + "</key>\n\t<string>" + EscapeXmlText(value) + "</string>\n";
}

}  // namespace

std::string BundleFolder(const std::string& filename) { return "Payload/" + filename + ".app/"; }

bool IsReservedBundleName(const std::string& name) {
  return name == kInfoPlist || name == kEmbeddedProfile || name == kBundleDescriptor ||
         name.compare(0, 15, "_CodeSignature/") == 0 || name == "_CodeSignature";
}

std::string BuildInfoPlist(const zpk::DescriptorInfo& info, const std::string& name) {
  std::string body = "<dict>\n";
  body += KeyString("CFBundleDisplayName", name);
  body += KeyString("CFBundleExecutable", info.filename);
  body += "\t<key>CFBundleIconFiles</key>\n\t<array>\n";
  for (const zpk::IconReference& icon : info.icons) {
    if (icon.element.compare(0, 17, "application.icon.") == 0) {
      body += "\t\t<string>" + EscapeXmlText(icon.path) + "</string>\n";
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

std::string ApplicationName(std::string_view descriptorXml, const std::string& filename) {
  std::string name;
  VisitXml(descriptorXml, [&](DOMElement* root) {
    for (DOMElement* child = root->getFirstElementChild(); child; child = child->getNextElementSibling()) {
      if (zpk::XmlToUtf8(child->getTagName()) != "name") continue;
      DOMElement* localised = child->getFirstElementChild();
      name = Trimmed(zpk::XmlToUtf8((localised ? localised : child)->getTextContent()));
      return;
    }
  });
  return name.empty() ? filename : name;
}

std::string BuildCodeResources(const std::map<std::string, std::string>& digests) {
  std::string body = "<dict>\n\t<key>files</key>\n\t<dict>\n";
  for (const auto& [name, digest] : digests) {
    body += "\t\t<key>" + EscapeXmlText(name) + "</key>\n\t\t<data>" + zpk::Base64Encode(digest) + "</data>\n";
  }
  body += "\t</dict>\n</dict>\n";
  return PropertyListDocument(body);
}

bool ParseCodeResources(std::string_view text, std::map<std::string, std::string>& digests) {
  const std::optional<PlistValue> plist = ParsePropertyList(text);
  const PlistValue* files = plist ? plist->Find("files") : nullptr;
  if (files == nullptr || files->kind != PlistValue::Kind::Dict) return false;
  digests.clear();
  for (const auto& [name, value] : files->fields) {
    if (value.kind != PlistValue::Kind::Data) return false;
    digests[name] = value.text;
  }
  return true;
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
