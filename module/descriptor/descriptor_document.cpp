#include "descriptor/descriptor_document.h"

#include <cstdio>
#include <vector>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUniDefs.hpp>

#include "descriptor/descriptor_parser.h"
#include "platform/files.h"
#include "platform/text.h"

namespace zaro {

using namespace xercesc;

DescriptorDocument::DescriptorDocument() = default;
DescriptorDocument::~DescriptorDocument() = default;

DescriptorDocument& MovieDescriptor() {
  static DescriptorDocument instance;
  return instance;
}

std::string LibraryText(const XMLCh* text) {
  return text ? ToUtf8(std::u16string_view(text)) : std::string();
}

void PrintLibraryMessage(const char* format, std::string_view message) {
  std::printf(format, std::string(message).c_str());
  std::fflush(stdout);
}

DOMDocument* DescriptorDom(const DescriptorDocument& document) {
  if (!document.parser || !document.parser->dom) return nullptr;
  return document.parser->dom->getDocument();
}

namespace {

bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool IsWhitespaceText(const DOMNode* node) {
  if (!node || node->getNodeType() != DOMNode::TEXT_NODE) return false;
  const XMLCh* value = node->getNodeValue();
  if (!value) return true;
  for (; *value; ++value) {
    if (!IsXmlSpace(*value)) return false;
  }
  return true;
}

// A document that already carries its own line breaks between elements (hand-written, or
// written by an earlier save) is serialised as it stands; only a document without any
// (the single-line template) is laid out by the serialiser.
bool HasLayoutWhitespace(const DOMNode* node) {
  for (const DOMNode* child = node->getFirstChild(); child; child = child->getNextSibling()) {
    if (IsWhitespaceText(child)) {
      const std::u16string_view value(child->getNodeValue());
      if (value.find(u'\n') != std::u16string_view::npos) return true;
    }
    if (child->hasChildNodes() && HasLayoutWhitespace(child)) return true;
  }
  return false;
}

DOMElement* FirstElement(DOMDocument* dom, std::u16string_view tag) {
  const std::u16string name(tag);
  DOMNodeList* list = dom->getElementsByTagName(name.c_str());
  if (!list || list->getLength() == 0) return nullptr;
  DOMNode* node = list->item(0);
  return node && node->getNodeType() == DOMNode::ELEMENT_NODE ? static_cast<DOMElement*>(node) : nullptr;
}

}  // namespace

DOMElement* FirstChildElement(DOMElement* parent, std::u16string_view tag) {
  for (DOMNode* child = parent->getFirstChild(); child; child = child->getNextSibling()) {
    if (child->getNodeType() == DOMNode::ELEMENT_NODE &&
        std::u16string_view(static_cast<DOMElement*>(child)->getTagName()) == tag) {
      return static_cast<DOMElement*>(child);
    }
  }
  return nullptr;
}

void RemoveAllChildren(DOMElement* element) {
  while (DOMNode* child = element->getFirstChild()) {
    element->removeChild(child)->release();
  }
}

void ReplaceContent(DOMDocument* dom, DOMElement* element, std::u16string_view text) {
  RemoveAllChildren(element);
  const std::u16string value(text);
  element->appendChild(dom->createTextNode(value.c_str()));
}

// Appends `element` as the last child of `parent`. In a laid-out parent it goes before the
// closing line break, indented like its last sibling element.
void AppendChildElement(DOMDocument* dom, DOMElement* parent, DOMElement* element) {
  DOMNode* last = parent->getLastChild();
  if (!last && IsWhitespaceText(parent->getPreviousSibling())) {
    // An empty parent on a line of its own: the child goes on a line below it.
    const std::u16string_view before(parent->getPreviousSibling()->getNodeValue());
    const std::size_t lineBreak = before.rfind(u'\n');
    if (lineBreak != std::u16string_view::npos) {
      const std::u16string indent(before.substr(lineBreak));
      parent->appendChild(dom->createTextNode((indent + u"  ").c_str()));
      parent->appendChild(element);
      parent->appendChild(dom->createTextNode(indent.c_str()));
      return;
    }
  }
  if (!IsWhitespaceText(last)) {
    parent->appendChild(element);
    return;
  }
  std::u16string indent;
  DOMNode* lastElement = last->getPreviousSibling();
  if (lastElement && lastElement->getNodeType() == DOMNode::ELEMENT_NODE &&
      IsWhitespaceText(lastElement->getPreviousSibling())) {
    indent = lastElement->getPreviousSibling()->getNodeValue();
  } else {
    indent = std::u16string(last->getNodeValue()) + u"  ";
  }
  parent->insertBefore(dom->createTextNode(indent.c_str()), last);
  parent->insertBefore(element, last);
}

void RemoveChildWithIndent(DOMElement* parent, DOMElement* child) {
  // Its indentation goes with it, so no empty line is left behind.
  DOMNode* before = child->getPreviousSibling();
  if (IsWhitespaceText(before) && IsWhitespaceText(child->getNextSibling())) {
    parent->removeChild(before)->release();
  }
  parent->removeChild(child)->release();
}

namespace {

template <typename Operation>
int Guarded(DescriptorDocument& document, Operation operation) {
  DOMDocument* dom = DescriptorDom(document);
  if (!dom) return -1;
  try {
    return operation(dom);
  } catch (const DOMException&) {
    return 2;  // an element or attribute name the document cannot hold
  } catch (...) {
    return 2;
  }
}

class ReleaseLater {
 public:
  explicit ReleaseLater(DOMLSSerializer* serializer, DOMLSOutput* output) : serializer_(serializer), output_(output) {}
  ~ReleaseLater() {
    if (output_) output_->release();
    if (serializer_) serializer_->release();
  }
  ReleaseLater(const ReleaseLater&) = delete;
  ReleaseLater& operator=(const ReleaseLater&) = delete;

 private:
  DOMLSSerializer* serializer_;
  DOMLSOutput* output_;
};

std::string WriteNode(DOMLSSerializer* serializer, DOMLSOutput* output, MemBufFormatTarget& target,
                      const DOMNode* node) {
  target.reset();
  if (!serializer->write(node, output)) {
    throw DOMLSException(DOMLSException::SERIALIZE_ERR, XMLExcepts::NoError, XMLPlatformUtils::fgMemoryManager);
  }
  return std::string(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
}

// The serialiser drops the line breaks between the declaration, a document type and the
// root (they are not part of the DOM); put one back between top-level nodes.
std::string WriteLaidOutDocument(DOMLSSerializer* serializer, DOMLSOutput* output, MemBufFormatTarget& target,
                                 DOMDocument* dom) {
  const std::string whole = WriteNode(serializer, output, target, dom);
  std::vector<std::string> parts;
  std::size_t total = 0;
  for (DOMNode* child = dom->getFirstChild(); child; child = child->getNextSibling()) {
    parts.push_back(WriteNode(serializer, output, target, child));
    total += parts.back().size();
  }
  if (total > whole.size()) return whole;
  std::string joined;
  for (const std::string& part : parts) joined += part;
  const std::size_t declarationLength = whole.size() - total;
  if (whole.compare(declarationLength, std::string::npos, joined) != 0) return whole;
  std::string result = whole.substr(0, declarationLength);
  for (const std::string& part : parts) {
    if (!result.empty()) result += '\n';
    result += part;
  }
  result += '\n';
  return result;
}

}  // namespace

int GetElementText(DescriptorDocument& document, std::u16string_view tag, std::u16string& text) {
  return Guarded(document, [&](DOMDocument* dom) {
    DOMElement* element = FirstElement(dom, tag);
    if (!element) return 1;
    const XMLCh* content = element->getTextContent();
    std::u16string_view value = content ? std::u16string_view(content) : std::u16string_view();
    while (!value.empty() && IsXmlSpace(value.front())) value.remove_prefix(1);
    while (!value.empty() && IsXmlSpace(value.back())) value.remove_suffix(1);
    text.assign(value);
    return 0;
  });
}

int SetElementText(DescriptorDocument& document, std::u16string_view tag, std::u16string_view text) {
  return Guarded(document, [&](DOMDocument* dom) {
    DOMElement* element = FirstElement(dom, tag);
    if (!element) return 1;
    ReplaceContent(dom, element, text);
    return 0;
  });
}

int ClearElementText(DescriptorDocument& document, std::u16string_view tag) {
  return Guarded(document, [&](DOMDocument* dom) {
    DOMElement* element = FirstElement(dom, tag);
    if (!element) return 1;
    RemoveAllChildren(element);
    return 0;
  });
}

int SetChildElementText(DescriptorDocument& document, std::u16string_view parent, std::u16string_view child,
                        std::u16string_view text) {
  return Guarded(document, [&](DOMDocument* dom) {
    DOMElement* parentElement = FirstElement(dom, parent);
    if (!parentElement) return 3;
    if (DOMElement* existing = FirstChildElement(parentElement, child)) {
      ReplaceContent(dom, existing, text);
      return 0;
    }
    const std::u16string name(child);
    DOMElement* created = dom->createElement(name.c_str());
    ReplaceContent(dom, created, text);
    AppendChildElement(dom, parentElement, created);
    return 0;
  });
}

int SetChildElementIfReady(DescriptorDocument& document, std::u16string_view parent, std::u16string_view child,
                           std::u16string_view text) {
  if (!document.parser || parent.empty() || child.empty()) return 1;
  return SetChildElementText(document, parent, child, text);
}

int RemoveChildElement(DescriptorDocument& document, std::u16string_view parent, std::u16string_view child) {
  return Guarded(document, [&](DOMDocument* dom) {
    DOMElement* parentElement = FirstElement(dom, parent);
    if (!parentElement) return 3;
    DOMElement* existing = FirstChildElement(parentElement, child);
    if (!existing) return 0;
    RemoveChildWithIndent(parentElement, existing);
    return 0;
  });
}

bool HasChildElement(DescriptorDocument& document, std::u16string_view parent, std::u16string_view child) {
  return Guarded(document, [&](DOMDocument* dom) {
           DOMElement* parentElement = FirstElement(dom, parent);
           return parentElement && FirstChildElement(parentElement, child) ? 0 : 1;
         }) == 0;
}

int GetElementAttribute(DescriptorDocument& document, std::u16string_view tag, std::u16string_view name,
                        std::string& value) {
  return Guarded(document, [&](DOMDocument* dom) {
    DOMElement* element = FirstElement(dom, tag);
    if (!element) return 1;
    const std::u16string attribute(name);
    value = LibraryText(element->getAttribute(attribute.c_str()));
    return 0;
  });
}

int SetElementAttribute(DescriptorDocument& document, std::u16string_view tag, std::u16string_view name,
                        std::u16string_view value) {
  return Guarded(document, [&](DOMDocument* dom) {
    DOMElement* element = FirstElement(dom, tag);
    if (!element) return 1;
    const std::u16string attribute(name);
    const std::u16string text(value);
    element->setAttribute(attribute.c_str(), text.c_str());
    return 0;
  });
}

int SaveDescriptor(DescriptorDocument& document, std::u16string_view path) {
  DOMDocument* dom = DescriptorDom(document);
  if (!dom) return -1;
  std::string bytes;
  try {
    static const XMLCh kLs[] = {chLatin_L, chLatin_S, chNull};
    DOMImplementation* implementation = DOMImplementationRegistry::getDOMImplementation(kLs);
    if (!implementation) {
      PrintLibraryMessage("Exception message is: %s\n", "no DOM implementation with the LS feature");
      return -1;
    }
    DOMLSSerializer* serializer = implementation->createLSSerializer();
    DOMLSOutput* output = implementation->createLSOutput();
    ReleaseLater release(serializer, output);
    MemBufFormatTarget target;
    output->setEncoding(u"UTF-8");
    output->setByteStream(&target);

    const bool laidOut = HasLayoutWhitespace(dom);
    DOMConfiguration* config = serializer->getDomConfig();
    if (!laidOut && config->canSetParameter(XMLUni::fgDOMWRTFormatPrettyPrint, true)) {
      config->setParameter(XMLUni::fgDOMWRTFormatPrettyPrint, true);
      // No blank line between the elements of the first level.
      if (config->canSetParameter(XMLUni::fgDOMWRTXercesPrettyPrint, false)) {
        config->setParameter(XMLUni::fgDOMWRTXercesPrettyPrint, false);
      }
    }
    bytes = laidOut ? WriteLaidOutDocument(serializer, output, target, dom) : WriteNode(serializer, output, target, dom);
  } catch (const XMLException& error) {
    PrintLibraryMessage("Exception message is: %s\n", LibraryText(error.getMessage()));
    return -1;
  } catch (const DOMException& error) {
    PrintLibraryMessage("Exception message is: %s\n",
                        error.getMessage() ? LibraryText(error.getMessage()) : std::string("serialisation failed"));
    return -1;
  } catch (const OutOfMemoryException&) {
    PrintLibraryMessage("Exception message is: %s\n", "out of memory");
    return -1;
  } catch (...) {
    PrintLibraryMessage("Exception message is: %s\n", "serialisation failed");
    return -1;
  }
  if (!platform::ReplaceFileAtomically(path, bytes)) {
    PrintLibraryMessage("Exception message is: %s\n", "unable to write file '" + platform::ToPosixPath(path) + "'");
    return -1;
  }
  return 0;
}

}  // namespace zaro
