#include "descriptor/file_types.h"

#include <xercesc/dom/DOM.hpp>

#include "descriptor/application_icons.h"
#include "descriptor/descriptor_parser.h"
#include "platform/text.h"

namespace zaro {
namespace {

using xercesc::DOMElement;
using xercesc::DOMNode;

std::u16string TextOf(const DOMElement* element) {
  const XMLCh* text = element != nullptr ? element->getTextContent() : nullptr;
  return text != nullptr ? std::u16string(text) : std::u16string();
}

// The first child element of `parent` with the tag name, or null.
DOMElement* ChildElementNamed(DOMElement* parent, std::u16string_view tag) {
  return parent != nullptr ? FirstChildElement(parent, tag) : nullptr;
}

// Replaces the content of `element` by the text; an empty text leaves it empty.
void ReplaceElementText(DOMElement* element, std::u16string_view text) {
  RemoveAllChildren(element);
  if (!text.empty()) ReplaceContent(element->getOwnerDocument(), element, text);
}

// A new element with the tag name (and the text, when not empty) as the last child of
// `parent`, laid out like its siblings.
DOMElement* AppendNewElement(DOMElement* parent, std::u16string_view tag, std::u16string_view text = {}) {
  xercesc::DOMDocument* dom = parent->getOwnerDocument();
  const std::u16string name(tag);
  DOMElement* created = dom->createElement(name.c_str());
  ReplaceElementText(created, text);
  AppendChildElement(dom, parent, created);
  return created;
}

void RemoveElement(DOMElement* element) {
  RemoveChildWithIndent(static_cast<DOMElement*>(element->getParentNode()), element);
}

bool IsElementNamed(const DOMNode* node, std::u16string_view tag) {
  return node != nullptr && node->getNodeType() == DOMNode::ELEMENT_NODE && std::u16string_view(node->getNodeName()) == tag;
}

DOMElement* FirstElementNamed(xercesc::DOMDocument* dom, const char16_t* tag) {
  xercesc::DOMNodeList* list = dom->getElementsByTagName(tag);
  if (list == nullptr || list->getLength() == 0) return nullptr;
  DOMNode* node = list->item(0);
  return IsElementNamed(node, tag) ? static_cast<DOMElement*>(node) : nullptr;
}

// Calls `visit` for every `fileType` child of `fileTypes` until it returns false.
template <typename Visit>
void ForEachFileType(DOMElement* fileTypes, Visit visit) {
  for (DOMNode* child = fileTypes->getFirstChild(); child != nullptr; child = child->getNextSibling()) {
    if (IsElementNamed(child, u"fileType") && !visit(static_cast<DOMElement*>(child))) return;
  }
}

// The first `fileType` whose first `name` child reads exactly `name`.
DOMElement* FindFileType(DOMElement* fileTypes, std::u16string_view name, int* count = nullptr) {
  DOMElement* found = nullptr;
  int types = 0;
  ForEachFileType(fileTypes, [&](DOMElement* type) {
    ++types;
    if (found == nullptr && TextOf(ChildElementNamed(type, u"name")) == name) found = type;
    return found == nullptr || count != nullptr;
  });
  if (count != nullptr) *count = types;
  return found;
}

template <typename Operation>
auto Guarded(DescriptorDocument& document, Operation operation, decltype(operation(nullptr)) onFailure) {
  xercesc::DOMDocument* dom = DescriptorDom(document);
  if (dom == nullptr) return onFailure;
  try {
    return operation(dom);
  } catch (...) {
    return onFailure;  // a DOM failure leaves what was done so far
  }
}

void BuildFileType(DOMElement* type, const FileTypeRecord& record) {
  AppendNewElement(type, u"name", FromUtf8(record.name));
  AppendNewElement(type, u"extension", FromUtf8(record.extension));
  AppendNewElement(type, u"description", record.description);
  AppendNewElement(type, u"contentType", record.contentType);
  DOMElement* icon = AppendNewElement(type, u"icon");
  for (int size : kFileTypeIconSizes) {
    if (!record.Icon(size).empty()) AppendNewElement(icon, IconElementName(size), record.Icon(size));
  }
}

void UpdateFileType(DOMElement* type, const FileTypeRecord& record) {
  const std::pair<std::u16string_view, std::u16string> texts[] = {
      {u"name", FromUtf8(record.name)},
      {u"extension", FromUtf8(record.extension)},
      {u"description", record.description},
      {u"contentType", record.contentType},
  };
  for (const auto& [tag, text] : texts) {
    if (DOMElement* element = ChildElementNamed(type, tag)) ReplaceElementText(element, text);
  }
  DOMElement* icon = ChildElementNamed(type, u"icon");
  if (icon == nullptr) icon = AppendNewElement(type, u"icon");
  for (int size : kFileTypeIconSizes) {
    const std::u16string& path = record.Icon(size);
    DOMElement* image = ChildElementNamed(icon, IconElementName(size));
    if (image != nullptr && path.empty()) {
      RemoveElement(image);
    } else if (image != nullptr) {
      ReplaceElementText(image, path);
    } else if (!path.empty()) {
      AppendNewElement(icon, IconElementName(size), path);
    }
  }
}

bool IsAsciiLetterOrDigit(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

}  // namespace

std::u16string& FileTypeRecord::Icon(int size) {
  switch (size) {
    case 16: return icon16;
    case 32: return icon32;
    case 48: return icon48;
    default: return icon128;
  }
}

const std::u16string& FileTypeRecord::Icon(int size) const { return const_cast<FileTypeRecord*>(this)->Icon(size); }

bool IsValidFileTypeName(std::u16string_view name) {
  if (name.empty() || name.size() > kFileTypeNameLimit) return false;
  if (name.front() == u'.' || (name.front() >= u'0' && name.front() <= u'9')) return false;
  for (char16_t c : name) {
    if (!IsAsciiLetterOrDigit(c) && c != u'.') return false;
  }
  return true;
}

bool IsValidFileTypeExtension(std::u16string_view extension) {
  if (extension.empty() || extension.size() > kFileTypeNameLimit) return false;
  for (char16_t c : extension) {
    if (!IsAsciiLetterOrDigit(c)) return false;
  }
  return true;
}

std::u16string ListFileTypes(DescriptorDocument& document) {
  return Guarded(
      document,
      [](xercesc::DOMDocument* dom) {
        std::u16string list;
        DOMElement* fileTypes = FirstElementNamed(dom, u"fileTypes");
        if (fileTypes == nullptr) return list;
        ForEachFileType(fileTypes, [&](DOMElement* type) {
          list += u';';
          list += TextOf(ChildElementNamed(type, u"name"));
          if (const DOMElement* extension = ChildElementNamed(type, u"extension")) {
            list += u'(' + TextOf(extension) + u')';
          }
          return true;
        });
        return list;
      },
      std::u16string());
}

bool ReadFileType(DescriptorDocument& document, std::u16string_view name, FileTypeRecord& record) {
  return Guarded(
      document,
      [&](xercesc::DOMDocument* dom) {
        DOMElement* fileTypes = FirstElementNamed(dom, u"fileTypes");
        DOMElement* type = fileTypes != nullptr ? FindFileType(fileTypes, name) : nullptr;
        if (type == nullptr) return false;
        auto fill = [](const DOMElement* element, auto& field, auto convert) {
          const std::u16string text = TextOf(element);
          if (!text.empty()) field = convert(text);
        };
        const auto same = [](const std::u16string& text) { return text; };
        const auto narrow = [](const std::u16string& text) { return ToUtf8(text); };
        fill(ChildElementNamed(type, u"name"), record.name, narrow);
        fill(ChildElementNamed(type, u"extension"), record.extension, narrow);
        fill(ChildElementNamed(type, u"description"), record.description, same);
        fill(ChildElementNamed(type, u"contentType"), record.contentType, same);
        for (int size : kFileTypeIconSizes) {
          const std::u16string tag = IconElementName(size);
          xercesc::DOMNodeList* images = type->getElementsByTagName(tag.c_str());
          if (images != nullptr && images->getLength() > 0) {
            fill(static_cast<DOMElement*>(images->item(0)), record.Icon(size), same);
          }
        }
        record.loadedName = ToUtf8(name);
        return true;
      },
      false);
}

int SaveFileType(DescriptorDocument& document, const FileTypeRecord& record) {
  return Guarded(
      document,
      [&](xercesc::DOMDocument* dom) {
        DOMElement* fileTypes = FirstElementNamed(dom, u"fileTypes");
        if (fileTypes == nullptr) {
          DOMElement* application = FirstElementNamed(dom, u"application");
          if (application == nullptr) return 2;
          fileTypes = AppendNewElement(application, u"fileTypes");
        }
        const std::u16string loaded = FromUtf8(record.loadedName);
        DOMElement* match = nullptr;
        ForEachFileType(fileTypes, [&](DOMElement* type) {
          if (Trimmed(TextOf(ChildElementNamed(type, u"name"))) == Trimmed(loaded)) match = type;
          return match == nullptr;
        });
        if (match != nullptr) {
          UpdateFileType(match, record);
        } else {
          BuildFileType(AppendNewElement(fileTypes, u"fileType"), record);
        }
        return 0;
      },
      -1);
}

int RemoveFileType(DescriptorDocument& document, std::u16string_view name) {
  return Guarded(
      document,
      [&](xercesc::DOMDocument* dom) {
        DOMElement* fileTypes = FirstElementNamed(dom, u"fileTypes");
        if (fileTypes == nullptr) return 1;
        int count = 0;
        DOMElement* type = FindFileType(fileTypes, name, &count);
        if (type == nullptr) return 1;
        RemoveElement(count == 1 ? fileTypes : type);
        return 0;
      },
      -1);
}

}  // namespace zaro
