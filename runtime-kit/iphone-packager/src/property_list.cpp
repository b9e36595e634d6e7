#include "property_list.h"

#include <cstdio>
#include <ctime>
#include <memory>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/SecurityManager.hpp>

#include "openssl_util.h"
#include "xml_session.h"

namespace mpk {

using namespace xercesc;

namespace {

constexpr std::string_view kStart = "<plist";
constexpr std::string_view kEnd = "</plist>";

std::vector<DOMElement*> ChildElements(DOMNode* parent) {
  std::vector<DOMElement*> children;
  for (DOMNode* node = parent->getFirstChild(); node != nullptr; node = node->getNextSibling()) {
    if (node->getNodeType() == DOMNode::ELEMENT_NODE) children.push_back(static_cast<DOMElement*>(node));
  }
  return children;
}

std::string WithoutWhiteSpace(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') out += c;
  }
  return out;
}

// Property lists nest a few levels; anything deeper is no list this tool reads.
constexpr int kMaxDepth = 32;

std::optional<PlistValue> ReadValue(DOMElement* element, int depth) {
  if (depth > kMaxDepth) return std::nullopt;
  const std::string tag = zpk::XmlToUtf8(element->getTagName());
  PlistValue value;
  if (tag == "dict") {
    value.kind = PlistValue::Kind::Dict;
    const std::vector<DOMElement*> children = ChildElements(element);
    for (size_t i = 0; i < children.size(); i += 2) {
      if (zpk::XmlToUtf8(children[i]->getTagName()) != "key" || i + 1 >= children.size()) return std::nullopt;
      std::optional<PlistValue> field = ReadValue(children[i + 1], depth + 1);
      if (!field) return std::nullopt;
      value.fields.emplace(zpk::XmlToUtf8(children[i]->getTextContent()), std::move(*field));
    }
  } else if (tag == "array") {
    value.kind = PlistValue::Kind::Array;
    for (DOMElement* child : ChildElements(element)) {
      std::optional<PlistValue> item = ReadValue(child, depth + 1);
      if (!item) return std::nullopt;
      value.items.push_back(std::move(*item));
    }
  } else if (tag == "true" || tag == "false") {
    value.kind = PlistValue::Kind::Boolean;
    value.flag = tag == "true";
  } else if (tag == "data") {
    value.kind = PlistValue::Kind::Data;
    if (!zpk::Base64Decode(WithoutWhiteSpace(zpk::XmlToUtf8(element->getTextContent())), value.text)) {
      return std::nullopt;
    }
  } else {
    value.kind = tag == "string"    ? PlistValue::Kind::String
                 : tag == "date"    ? PlistValue::Kind::Date
                 : tag == "integer" ? PlistValue::Kind::Integer
                                    : PlistValue::Kind::Other;
    value.text = zpk::XmlToUtf8(element->getTextContent());
  }
  return value;
}

}  // namespace

bool VisitXml(std::string_view xml, const std::function<void(DOMElement* root)>& visit) {
  zpk::XmlSession session;
  if (!session.ok()) return false;
  try {
    XercesDOMParser parser;
    HandlerBase handler;  // fatal errors throw
    SecurityManager limits;
    parser.setValidationScheme(XercesDOMParser::Val_Never);
    parser.setDoNamespaces(false);
    parser.setLoadExternalDTD(false);
    parser.setDisableDefaultEntityResolution(true);
    parser.setCreateEntityReferenceNodes(false);
    parser.setSecurityManager(&limits);
    parser.setErrorHandler(&handler);
    MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "xml", false);
    parser.parse(source);
    DOMDocument* document = parser.getDocument();
    DOMElement* root = document ? document->getDocumentElement() : nullptr;
    if (root == nullptr) return false;
    visit(root);
    return true;
  } catch (...) {
    return false;
  }
}

const PlistValue* PlistValue::Find(const std::string& key) const {
  if (kind != Kind::Dict) return nullptr;
  auto found = fields.find(key);
  return found == fields.end() ? nullptr : &found->second;
}

std::optional<PlistValue> ParsePropertyList(std::string_view bytes) {
  const size_t start = bytes.find(kStart);
  const size_t end = bytes.find(kEnd);
  if (start == std::string_view::npos || end == std::string_view::npos || end < start) return std::nullopt;
  const std::string_view run = bytes.substr(start, end + kEnd.size() - start);

  std::optional<PlistValue> value;
  const bool parsed = VisitXml(run, [&](DOMElement* root) {
    const std::vector<DOMElement*> values = ChildElements(root);
    if (values.size() == 1) value = ReadValue(values.front(), 0);
  });
  if (!parsed) return std::nullopt;
  return value;
}

std::string PropertyListDocument(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n" +
         body + "</plist>\n";
}

std::optional<long long> ParsePlistDate(std::string_view text) {
  std::tm parts{};
  char zone = 0;
  int consumed = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%n", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                  &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &zone, &consumed) != 7 ||
      zone != 'Z' || static_cast<size_t>(consumed) != copy.size()) {
    return std::nullopt;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return static_cast<long long>(timegm(&parts));
}

}  // namespace mpk
