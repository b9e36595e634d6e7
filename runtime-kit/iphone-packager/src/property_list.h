#pragma once
// XML property lists: the small subset that provisioning profiles, Info.plist and
// CodeResources use (dict, array, string, data, date, integer, true, false).
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <xercesc/util/XercesDefs.hpp>

XERCES_CPP_NAMESPACE_BEGIN
class DOMElement;
XERCES_CPP_NAMESPACE_END

namespace mpk {

// Parses XML text without a document type, entities from outside or the network, and
// hands its root element to `visit`. False when the text is not well-formed.
bool VisitXml(std::string_view xml, const std::function<void(xercesc::DOMElement* root)>& visit);

struct PlistValue {
  enum class Kind { String, Data, Date, Integer, Boolean, Array, Dict, Other } kind = Kind::Other;
  std::string text;                          // string, date and integer text; data decoded
  bool flag = false;                         // true / false
  std::vector<PlistValue> items;             // array
  std::map<std::string, PlistValue> fields;  // dict (a key given twice keeps its first value)

  // The dict field `key`, or null when this is no dict or has no such field.
  const PlistValue* Find(const std::string& key) const;
};

// Parses the run from the first "<plist" to the first "</plist>" of `bytes` (so any XML
// declaration or document type in front is never read or fetched). Null when there is no
// such run, it is not well-formed, or its root holds no value.
std::optional<PlistValue> ParsePropertyList(std::string_view bytes);

// Writing: the XML declaration, the document type and <plist version="1.0"> with `body`
// (one value, indented by one tab per level) inside. Text inside goes through
// zpk::XmlEscaped, and is text XML 1.0 can hold: the descriptor check and the entry names'
// check refuse any other before anything is written.
std::string PropertyListDocument(const std::string& body);

// "2027-01-31T12:00:00Z" as seconds since the epoch; null for any other form.
std::optional<long long> ParsePlistDate(std::string_view text);

}  // namespace mpk
