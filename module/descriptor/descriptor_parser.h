#pragma once
// Internal to the descriptor folder: what a DescriptorDocument's parser owns.
#include <memory>
#include <string>
#include <string_view>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/EntityResolver.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/SecurityManager.hpp>

#include "descriptor/descriptor_document.h"

namespace zaro {

// Every external entity, the external DTD subset included, resolves to an empty text: only
// the descriptor file itself is ever read, never another file or the network.
class RefuseExternalEntities : public xercesc::EntityResolver {
 public:
  xercesc::InputSource* resolveEntity(const XMLCh* publicId, const XMLCh* systemId) override;
};

struct DescriptorParser {
  // Declared in this order so the parser goes first and never outlives its helpers.
  xercesc::HandlerBase errorHandler;   // fatal errors throw; errors and warnings ignored
  RefuseExternalEntities entityResolver;
  xercesc::SecurityManager securityManager;  // bounds entity expansion
  std::unique_ptr<xercesc::XercesDOMParser> dom;
};

// DOM editing shared by the descriptor's element operations.
// The first child element of `parent` with that tag name, or null.
xercesc::DOMElement* FirstChildElement(xercesc::DOMElement* parent, std::u16string_view tag);
void RemoveAllChildren(xercesc::DOMElement* element);
// Replaces the whole content of `element` by one text node.
void ReplaceContent(xercesc::DOMDocument* dom, xercesc::DOMElement* element, std::u16string_view text);
// Appends `element` as the last child of `parent`, indented like its siblings when the
// parent is laid out on lines of its own.
void AppendChildElement(xercesc::DOMDocument* dom, xercesc::DOMElement* parent, xercesc::DOMElement* element);
// Removes `child` from `parent` with the indentation before it.
void RemoveChildWithIndent(xercesc::DOMElement* parent, xercesc::DOMElement* child);

// Library text (UTF-16) as UTF-8 for standard output; "" for null.
std::string LibraryText(const XMLCh* text);
// Prints `format` with one %s argument to standard output and flushes it.
void PrintLibraryMessage(const char* format, std::string_view message);

}  // namespace zaro
