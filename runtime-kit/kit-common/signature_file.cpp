#include "signature_file.h"

#include <set>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>

#include "xml_session.h"

namespace zpk {

using namespace xercesc;

namespace {

std::string EscapeAttribute(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::unique_ptr<XercesDOMParser> ParseText(std::string_view text, bool namespaces, std::string& error) {
  auto parser = std::make_unique<XercesDOMParser>();
  parser->setValidationScheme(XercesDOMParser::Val_Never);
  parser->setDoNamespaces(namespaces);
  parser->setLoadExternalDTD(false);
  parser->setDisableDefaultEntityResolution(true);
  parser->setCreateEntityReferenceNodes(false);
  HandlerBase handler;
  parser->setErrorHandler(&handler);
  MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(), "signatures");
  try {
    parser->parse(source);
  } catch (const SAXParseException& e) {
    error = "not well-formed: " + XmlToUtf8(e.getMessage());
    return nullptr;
  } catch (const XMLException& e) {
    error = XmlToUtf8(e.getMessage());
    return nullptr;
  } catch (...) {
    error = "cannot be parsed";
    return nullptr;
  }
  parser->setErrorHandler(nullptr);
  if (parser->getDocument() == nullptr || parser->getDocument()->getDocumentElement() == nullptr ||
      parser->getDocument()->getDoctype() != nullptr) {
    error = "not a signature file";
    return nullptr;
  }
  return parser;
}

std::string Attribute(DOMElement* element, const char* name) {
  XMLCh* xname = XMLString::transcode(name);
  std::string value = XmlToUtf8(element->getAttribute(xname));
  XMLString::release(&xname);
  return value;
}

std::string LocalName(DOMNode* node) {
  const XMLCh* local = node->getLocalName();
  return XmlToUtf8(local != nullptr ? local : node->getNodeName());
}

}  // namespace

std::string BuildManifest(const std::vector<EntryDigest>& digests) {
  std::string manifest = "<manifest algorithm=\"SHA-256\">\n";
  for (const EntryDigest& digest : digests)
    manifest += "<entry name=\"" + EscapeAttribute(digest.name) + "\" digest=\"" + Base64Encode(digest.sha256) + "\"/>\n";
  manifest += "</manifest>";
  return manifest;
}

Outcome SignData(const SigningIdentity& identity, std::string_view data, std::string& signature) {
  if (EVP_PKEY_get_base_id(identity.key.get()) != EVP_PKEY_RSA)
    return Fail(kExitSigning, "signing failed: the keystore's key is not an RSA key\n");
  if (X509_check_private_key(identity.certificate.get(), identity.key.get()) != 1) {
    LastOpenSslError();
    return Fail(kExitSigning, "signing failed: the keystore's private key does not belong to its certificate\n");
  }
  MdCtxPtr ctx(EVP_MD_CTX_new());
  size_t size = 0;
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, identity.key.get()) != 1 ||
      EVP_DigestSign(ctx.get(), nullptr, &size, reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1)
    return Fail(kExitSigning, "signing failed: " + LastOpenSslError() + "\n");
  signature.assign(size, '\0');
  if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                     reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1)
    return Fail(kExitSigning, "signing failed: " + LastOpenSslError() + "\n");
  signature.resize(size);
  return Outcome::Ok();
}

bool VerifyData(X509* certificate, std::string_view data, std::string_view signature) {
  EVP_PKEY* key = X509_get0_pubkey(certificate);
  MdCtxPtr ctx(EVP_MD_CTX_new());
  bool ok = key != nullptr && ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key) == 1 &&
            EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                             reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
  if (!ok) LastOpenSslError();
  return ok;
}

std::string BuildSignaturesFile(const std::string& manifest, const std::string& signature,
                                const SigningIdentity& identity, const std::string& timeStampToken) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  text += std::string("<signatures xmlns=\"") + kSignaturesNamespace + "\">\n";
  text += manifest + "\n";
  text += "<signature algorithm=\"RSA-SHA256\">" + Base64Encode(signature) + "</signature>\n";
  text += "<certificates>\n";
  text += "<certificate>" + Base64Encode(CertificateDer(identity.certificate.get())) + "</certificate>\n";
  for (const X509Ptr& cert : identity.chain)
    text += "<certificate>" + Base64Encode(CertificateDer(cert.get())) + "</certificate>\n";
  text += "</certificates>\n";
  if (!timeStampToken.empty()) text += "<timestamp>" + Base64Encode(timeStampToken) + "</timestamp>\n";
  text += "</signatures>\n";
  return text;
}

bool ParseSignaturesFile(std::string_view text, ParsedSignatures& parsed, std::string& error) {
  XmlSession session;
  if (!session.ok()) {
    error = "the XML library could not be initialised";
    return false;
  }
  parsed = ParsedSignatures{};
  // The digests are read from the signed bytes alone, so nothing else in the file can
  // change what the signature covers.
  size_t begin = text.find("<manifest");
  size_t end = begin == std::string_view::npos ? begin : text.find("</manifest>", begin);
  if (end == std::string_view::npos) {
    error = "the signature file holds no manifest";
    return false;
  }
  parsed.manifest = std::string(text.substr(begin, end + 11 - begin));
  {
    auto manifest = ParseText(parsed.manifest, false, error);
    if (!manifest) return false;
    DOMElement* root = manifest->getDocument()->getDocumentElement();
    if (Attribute(root, "algorithm") != "SHA-256") {
      error = "unsupported digest algorithm";
      return false;
    }
    std::set<std::string> names;
    for (DOMNode* n = root->getFirstChild(); n != nullptr; n = n->getNextSibling()) {
      if (n->getNodeType() != DOMNode::ELEMENT_NODE) continue;
      auto* entry = static_cast<DOMElement*>(n);
      EntryDigest digest;
      digest.name = Attribute(entry, "name");
      if (LocalName(entry) != "entry" || !Base64Decode(Attribute(entry, "digest"), digest.sha256) ||
          digest.sha256.size() != 32 || digest.name.empty() || !names.insert(digest.name).second) {
        error = "the manifest is malformed";
        return false;
      }
      parsed.digests.push_back(std::move(digest));
    }
  }
  auto document = ParseText(text, true, error);
  if (!document) return false;
  DOMElement* root = document->getDocument()->getDocumentElement();
  if (LocalName(root) != "signatures" || XmlToUtf8(root->getNamespaceURI()) != kSignaturesNamespace) {
    error = "not a signature file";
    return false;
  }
  int signatures = 0;
  for (DOMNode* n = root->getFirstChild(); n != nullptr; n = n->getNextSibling()) {
    if (n->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    auto* element = static_cast<DOMElement*>(n);
    std::string name = LocalName(element);
    if (name == "signature") {
      ++signatures;
      if (Attribute(element, "algorithm") != "RSA-SHA256" ||
          !Base64Decode(XmlToUtf8(element->getTextContent()), parsed.signature)) {
        error = "the signature is malformed or uses an unsupported algorithm";
        return false;
      }
    } else if (name == "certificates") {
      for (DOMNode* c = element->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
        if (c->getNodeType() != DOMNode::ELEMENT_NODE) continue;
        std::string der;
        if (!Base64Decode(XmlToUtf8(c->getTextContent()), der)) {
          error = "a certificate is malformed";
          return false;
        }
        const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
        X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
        if (!cert) {
          LastOpenSslError();
          error = "a certificate is malformed";
          return false;
        }
        parsed.certificates.push_back(std::move(cert));
      }
    } else if (name == "timestamp") {
      if (!Base64Decode(XmlToUtf8(element->getTextContent()), parsed.timeStampToken)) {
        error = "the time-stamp token is malformed";
        return false;
      }
    }
  }
  if (signatures != 1 || parsed.certificates.empty()) {
    error = "the signature file needs exactly one signature and the signer's certificate";
    return false;
  }
  return true;
}

}  // namespace zpk
