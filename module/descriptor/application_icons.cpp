#include "descriptor/application_icons.h"

#include <xercesc/dom/DOM.hpp>

#include "descriptor/descriptor_parser.h"
#include "platform/text.h"

namespace zaro {
namespace {

using namespace xercesc;

// The root `application` element: the document element when it has that name, else the
// first `application` element in document order.
DOMElement* ApplicationElement(DOMDocument* dom) {
  DOMElement* root = dom->getDocumentElement();
  if (root != nullptr && std::u16string_view(root->getTagName()) == u"application") return root;
  DOMNodeList* list = dom->getElementsByTagName(u"application");
  if (list == nullptr || list->getLength() == 0) return nullptr;
  DOMNode* node = list->item(0);
  return node->getNodeType() == DOMNode::ELEMENT_NODE ? static_cast<DOMElement*>(node) : nullptr;
}

DOMElement* ApplicationIcon(DOMDocument* dom) {
  DOMElement* application = ApplicationElement(dom);
  return application != nullptr ? FirstChildElement(application, u"icon") : nullptr;
}

template <typename Operation>
int OnDom(DescriptorDocument& document, Operation operation) {
  DOMDocument* dom = DescriptorDom(document);
  if (dom == nullptr) return -1;
  try {
    return operation(dom);
  } catch (...) {
    return 2;  // an element name the document cannot hold
  }
}

}  // namespace

std::vector<int> ApplicationIconSizes(bool iphone) {
  if (iphone) return {29, 57, 512};
  return {16, 32, 48, 128};
}

std::u16string IconSizeText(int size) {
  const std::u16string number = FromUtf8(std::to_string(size));
  return number + u"x" + number;
}

std::u16string IconElementName(int size) { return u"image" + IconSizeText(size); }

std::u16string ReadAppIcon(DescriptorDocument& document, std::u16string_view element) {
  std::u16string text;
  OnDom(document, [&](DOMDocument* dom) {
    DOMElement* icon = ApplicationIcon(dom);
    DOMElement* image = icon != nullptr ? FirstChildElement(icon, element) : nullptr;
    const XMLCh* content = image != nullptr ? image->getTextContent() : nullptr;
    if (content != nullptr) text = Trimmed(content);
    return 0;
  });
  return text;
}

int WriteAppIcon(DescriptorDocument& document, std::u16string_view element, std::u16string_view text) {
  return OnDom(document, [&](DOMDocument* dom) {
    DOMElement* application = ApplicationElement(dom);
    if (application == nullptr) return 3;
    DOMElement* icon = FirstChildElement(application, u"icon");
    if (icon == nullptr) {
      icon = dom->createElement(u"icon");
      AppendChildElement(dom, application, icon);
    }
    if (DOMElement* image = FirstChildElement(icon, element)) {
      ReplaceContent(dom, image, text);
      return 0;
    }
    DOMElement* image = dom->createElement(std::u16string(element).c_str());
    ReplaceContent(dom, image, text);
    AppendChildElement(dom, icon, image);
    return 0;
  });
}

int RemoveAppIcon(DescriptorDocument& document, std::u16string_view element) {
  return OnDom(document, [&](DOMDocument* dom) {
    DOMElement* icon = ApplicationIcon(dom);
    DOMElement* image = icon != nullptr ? FirstChildElement(icon, element) : nullptr;
    if (image != nullptr) RemoveChildWithIndent(icon, image);
    return 0;
  });
}

}  // namespace zaro
