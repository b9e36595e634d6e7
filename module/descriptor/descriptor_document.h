#pragma once
// A parsed application descriptor and the element operations the pages use on it.
//
// Elements are found by tag name without namespaces: the parent (or the element itself) is
// the first element of that name anywhere in the document, in document order; a child is
// the first element of that name directly inside the parent. Operations return -1 when the
// instance has no parser (or nothing parsed), 0 when done and a positive code when an
// element is missing. Nothing reaches the file until SaveDescriptor.
#include <memory>
#include <string>
#include <string_view>

#include <xercesc/util/XercesDefs.hpp>

XERCES_CPP_NAMESPACE_BEGIN
class DOMDocument;
XERCES_CPP_NAMESPACE_END

namespace zaro {

// The XML parser with its error handler and entity resolver (defined by the reader).
struct DescriptorParser;

struct DescriptorDocument {
  DescriptorDocument();
  ~DescriptorDocument();
  DescriptorDocument(const DescriptorDocument&) = delete;
  DescriptorDocument& operator=(const DescriptorDocument&) = delete;

  std::unique_ptr<DescriptorParser> parser;  // none until InitDescriptorParser ran
  bool loaded = false;                       // sourcePath names the file now parsed
  bool legacyNamespace = false;              // root namespace contains "1.0" or "1.1"
  std::u16string sourcePath;
};

// The movie's descriptor, shared by the pages and the packaging command.
DescriptorDocument& MovieDescriptor();

// The parsed DOM, or null when there is no parser or nothing was parsed. For the parts that
// walk whole subtrees (file types, icons); the pointer is owned by the parser.
XERCES_CPP_NAMESPACE::DOMDocument* DescriptorDom(const DescriptorDocument& document);

// Text content of the first `tag` element, trimmed of leading and trailing white space;
// 1 when there is no such element.
int GetElementText(DescriptorDocument& document, std::u16string_view tag, std::u16string& text);
// Replaces the whole content of the first `tag` element by one text node; 1 when missing
// (nothing is created).
int SetElementText(DescriptorDocument& document, std::u16string_view tag, std::u16string_view text);
// Empties the first `tag` element (the element stays); 1 when missing.
int ClearElementText(DescriptorDocument& document, std::u16string_view tag);
// Under the first `parent`: replaces the content of its first `child`, or appends a new
// `child` with the text as the last child element; 3 when there is no `parent`.
int SetChildElementText(DescriptorDocument& document, std::u16string_view parent, std::u16string_view child,
                        std::u16string_view text);
// SetChildElementText only when the parser exists and both tag names are non-empty;
// 1 without effect otherwise.
int SetChildElementIfReady(DescriptorDocument& document, std::u16string_view parent, std::u16string_view child,
                           std::u16string_view text);
// Removes the first `child` of the first `parent`; 0 also when there is no such child,
// 3 when there is no `parent`.
int RemoveChildElement(DescriptorDocument& document, std::u16string_view parent, std::u16string_view child);
// True when the first `parent` contains at least one `child`.
bool HasChildElement(DescriptorDocument& document, std::u16string_view parent, std::u16string_view child);
// The attribute of the first `tag` element as UTF-8 (empty when the attribute is absent);
// 1 when there is no such element.
int GetElementAttribute(DescriptorDocument& document, std::u16string_view tag, std::u16string_view name,
                        std::string& value);
int SetElementAttribute(DescriptorDocument& document, std::u16string_view tag, std::u16string_view name,
                        std::u16string_view value);

// Serialises the document as UTF-8 and replaces the file at `path` (any separator form)
// atomically: on failure the old file stays as it was. 0 on success; -1 without a parser or
// when serialising or writing failed ("Exception message is: %s\n" on standard output).
int SaveDescriptor(DescriptorDocument& document, std::u16string_view path);

}  // namespace zaro
