#include "descriptor_text.h"

#include <xercesc/dom/DOM.hpp>

#include "xml_session.h"
#include "xml_text.h"

namespace zpk {

using namespace xercesc;

std::optional<std::string> FirstTextXml10CannotHold(const DOMElement* element, const std::string& where) {
  auto refusal = [&](const std::string& text, const std::string& place) -> std::optional<std::string> {
    if (std::optional<char32_t> bad = FirstNonXml10Char(text))
      return place + " contains the character " + CodePointName(*bad) + ", which XML 1.0 cannot hold";
    return std::nullopt;
  };
  DOMNamedNodeMap* attributes = element->getAttributes();
  for (XMLSize_t i = 0; i < attributes->getLength(); ++i) {
    DOMNode* attribute = attributes->item(i);
    if (auto bad = refusal(XmlToUtf8(attribute->getNodeValue()), where + "@" + XmlToUtf8(attribute->getNodeName())))
      return bad;
  }
  for (DOMNode* node = element->getFirstChild(); node != nullptr; node = node->getNextSibling()) {
    const auto type = node->getNodeType();
    if (type == DOMNode::ELEMENT_NODE) {
      auto* child = static_cast<const DOMElement*>(node);
      const XMLCh* local = child->getLocalName() != nullptr ? child->getLocalName() : child->getNodeName();
      if (auto bad = FirstTextXml10CannotHold(child, where + "." + XmlToUtf8(local))) return bad;
    } else if (type == DOMNode::TEXT_NODE || type == DOMNode::CDATA_SECTION_NODE) {
      if (auto bad = refusal(XmlToUtf8(node->getNodeValue()), where)) return bad;
    }
  }
  return std::nullopt;
}

}  // namespace zpk
