#include "packaging/descriptor_icons.h"

#include <xercesc/dom/DOM.hpp>

#include <array>
#include <string_view>

#include "platform/text.h"

namespace zaro {
namespace {

using xercesc::DOMElement;
using xercesc::DOMNode;

constexpr std::array<std::u16string_view, 7> kApplicationSizes = {
    u"image128x128", u"image48x48", u"image32x32", u"image16x16", u"image512x512", u"image57x57", u"image29x29"};
constexpr std::array<std::u16string_view, 4> kFileTypeSizes = {u"image128x128", u"image48x48", u"image32x32",
                                                               u"image16x16"};

// The first child element of `parent` with the tag name, or null.
DOMElement* FirstChild(const DOMNode* parent, std::u16string_view name) {
  if (parent == nullptr) return nullptr;
  for (DOMNode* child = parent->getFirstChild(); child != nullptr; child = child->getNextSibling()) {
    if (child->getNodeType() == DOMNode::ELEMENT_NODE && std::u16string_view(child->getNodeName()) == name) {
      return static_cast<DOMElement*>(child);
    }
  }
  return nullptr;
}

DOMElement* FirstElement(xercesc::DOMDocument* dom, const char16_t* name) {
  xercesc::DOMNodeList* list = dom->getElementsByTagName(name);
  if (list == nullptr || list->getLength() == 0) return nullptr;
  DOMNode* node = list->item(0);
  return node->getNodeType() == DOMNode::ELEMENT_NODE ? static_cast<DOMElement*>(node) : nullptr;
}

template <size_t N>
void AppendImages(const DOMElement* icon, const std::array<std::u16string_view, N>& sizes,
                  std::vector<std::u16string>& images) {
  if (icon == nullptr) return;
  for (std::u16string_view size : sizes) {
    if (const DOMElement* image = FirstChild(icon, size)) {
      const XMLCh* content = image->getTextContent();
      std::u16string text = content != nullptr ? Trimmed(content) : std::u16string();
      if (!text.empty()) images.push_back(std::move(text));
    }
  }
}

}  // namespace

std::vector<std::u16string> DescriptorIconImages(const DescriptorDocument& document) {
  std::vector<std::u16string> images;
  xercesc::DOMDocument* dom = DescriptorDom(document);
  if (dom == nullptr) return images;
  try {
    const DOMElement* application = FirstElement(dom, u"application");
    AppendImages(FirstChild(application, u"icon"), kApplicationSizes, images);
    const DOMElement* fileTypes = FirstElement(dom, u"fileTypes");
    if (fileTypes != nullptr) {
      for (DOMNode* child = fileTypes->getFirstChild(); child != nullptr; child = child->getNextSibling()) {
        if (child->getNodeType() != DOMNode::ELEMENT_NODE || std::u16string_view(child->getNodeName()) != u"fileType") {
          continue;
        }
        AppendImages(FirstChild(child, u"icon"), kFileTypeSizes, images);
      }
    }
  } catch (...) {
    // A DOM failure while walking leaves the images found so far.
  }
  return images;
}

}  // namespace zaro
