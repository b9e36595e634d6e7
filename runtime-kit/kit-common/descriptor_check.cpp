#include "descriptor_check.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLString.hpp>

#include "kit_text.h"
#include "xml_session.h"
#include "descriptor_text.h"

namespace zpk {

using namespace xercesc;

namespace {

constexpr const char* kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";
constexpr const char* kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

// Records the first fatal error; recoverable errors and warnings are ignored.
class FirstErrorHandler : public ErrorHandler {
 public:
  void warning(const SAXParseException&) override {}
  void error(const SAXParseException&) override {}
  void fatalError(const SAXParseException& e) override {
    if (!failed) {
      failed = true;
      message = "line " + std::to_string(e.getLineNumber()) + ", column " +
                std::to_string(e.getColumnNumber()) + ": " + XmlToUtf8(e.getMessage());
    }
    throw e;  // stop the parse
  }
  void resetErrors() override {}
  bool failed = false;
  std::string message;
};

bool IsDigits(const std::string& s) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s) if (c < '0' || c > '9') return false;
  return true;
}

// type "/" subtype, each a non-empty token of the characters a MIME type name may use.
bool IsMimeType(const std::string& s) {
  const size_t slash = s.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == s.size() || s.size() > 255) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    const bool token = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string_view("!#$&^_.+-").find(c) != std::string_view::npos;
    if (!token && i != slash) return false;
  }
  return true;
}

// Compares dotted version numbers; false when either is not all digits and dots.
bool ParseVersion(const std::string& text, std::vector<long>& parts) {
  parts.clear();
  size_t start = 0;
  while (true) {
    size_t dot = text.find('.', start);
    std::string piece = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (!IsDigits(piece)) return false;
    parts.push_back(std::stol(piece));
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

enum class Kind {
  Text, Localized, Id, FileName, Version, Bool, UInt, Int, SizePair, Chrome, AspectRatio,
  RenderMode, RelPath, Folder, Profiles, ContentType, TypeName, TypeExt, TypeText,
  InitialWindow, Icon, FileTypes,
};

struct Rule {
  const char* name;
  Kind kind;
};

const std::vector<Rule> kApplicationRules = {
    {"id", Kind::Id}, {"version", Kind::Version}, {"filename", Kind::FileName},
    {"name", Kind::Localized}, {"description", Kind::Localized}, {"copyright", Kind::Text},
    {"initialWindow", Kind::InitialWindow}, {"installFolder", Kind::Folder},
    {"programMenuFolder", Kind::Folder}, {"icon", Kind::Icon},
    {"customUpdateUI", Kind::Bool}, {"allowBrowserInvocation", Kind::Bool},
    {"fileTypes", Kind::FileTypes}, {"supportedProfiles", Kind::Profiles},
};

const std::vector<Rule> kWindowRules = {
    {"content", Kind::RelPath}, {"title", Kind::Text}, {"systemChrome", Kind::Chrome},
    {"transparent", Kind::Bool}, {"visible", Kind::Bool}, {"minimizable", Kind::Bool},
    {"maximizable", Kind::Bool}, {"resizable", Kind::Bool}, {"fullScreen", Kind::Bool},
    {"autoOrients", Kind::Bool}, {"aspectRatio", Kind::AspectRatio},
    {"renderMode", Kind::RenderMode}, {"width", Kind::UInt}, {"height", Kind::UInt},
    {"x", Kind::Int}, {"y", Kind::Int}, {"minSize", Kind::SizePair}, {"maxSize", Kind::SizePair},
};

const std::vector<Rule> kFileTypeRules = {
    {"name", Kind::TypeName}, {"extension", Kind::TypeExt}, {"description", Kind::TypeText},
    {"contentType", Kind::ContentType}, {"icon", Kind::Icon},
};

const std::set<int> kApplicationIconSizes = {16, 29, 32, 36, 48, 57, 72, 114, 128, 512};
const std::set<int> kFileTypeIconSizes = {16, 32, 48, 128};

class Checker {
 public:
  Checker(const std::string& displayPath, DescriptorInfo& info) : path_(displayPath), info_(info) {}

  bool Fail(int code, const std::string& detail) {
    if (!failed_) {
      failed_ = true;
      outcome_ = DescriptorError(path_, code, detail);
    }
    return false;
  }
  Outcome outcome() const { return outcome_; }

  bool CheckRoot(DOMElement* root) {
    std::string ns = XmlToUtf8(root->getNamespaceURI());
    if (ns.empty()) return Fail(101, "the application element has no namespace");
    const std::string prefix = kDescriptorNamespacePrefix;
    if (ns.compare(0, prefix.size(), prefix) != 0)
      return Fail(102, "unsupported namespace " + ns);
    std::string version = ns.substr(prefix.size());
    static const std::set<std::string> supported = {"1.0", "1.1", "1.5", "2.0"};
    if (supported.count(version) == 0) {
      std::vector<long> parts, newest;
      ParseVersion("2.0", newest);
      if (ParseVersion(version, parts) && parts > newest)
        return Fail(305, "namespace " + ns + " is newer than this tool supports (2.0)");
      return Fail(102, "unsupported namespace " + ns);
    }
    info_.namespaceVersion = version;
    namespace_ = ns;
    if (XmlToUtf8(root->getLocalName()) != "application")
      return Fail(103, "unexpected element " + XmlToUtf8(root->getNodeName()));
    if (!CheckAttributes(root, "application", false)) return false;
    if (!CheckContainer(root, "application", kApplicationRules)) return false;
    return CheckRequired() && CheckCombinations();
  }

 private:
  bool CheckAttributes(DOMElement* element, const std::string& where, bool allowLang) {
    DOMNamedNodeMap* attributes = element->getAttributes();
    for (XMLSize_t i = 0; i < attributes->getLength(); ++i) {
      DOMNode* attribute = attributes->item(i);
      std::string ans = XmlToUtf8(attribute->getNamespaceURI());
      std::string local = XmlToUtf8(attribute->getLocalName());
      if (ans == kXmlnsNamespace && where == "application") continue;
      if (allowLang && ans == kXmlNamespace && local == "lang") continue;
      return Fail(103, "unexpected attribute " + XmlToUtf8(attribute->getNodeName()) + " on " + where);
    }
    return true;
  }

  // Child elements of a container; text other than white space is refused.
  bool ForEachChild(DOMElement* parent, const std::string& where,
                    const std::function<bool(DOMElement*, const std::string&)>& visit) {
    for (DOMNode* node = parent->getFirstChild(); node != nullptr; node = node->getNextSibling()) {
      switch (node->getNodeType()) {
        case DOMNode::ELEMENT_NODE: {
          auto* child = static_cast<DOMElement*>(node);
          std::string name = XmlToUtf8(child->getLocalName());
          if (XmlToUtf8(child->getNamespaceURI()) != namespace_)
            return Fail(103, "unexpected element " + XmlToUtf8(child->getNodeName()) + " in " + where);
          if (!visit(child, name)) return false;
          break;
        }
        case DOMNode::TEXT_NODE:
        case DOMNode::CDATA_SECTION_NODE:
          if (!Trimmed(XmlToUtf8(node->getNodeValue())).empty())
            return Fail(103, "unexpected text in " + where);
          break;
        case DOMNode::COMMENT_NODE:
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
          break;
        default:
          return Fail(103, "unexpected content in " + where);
      }
    }
    return true;
  }

  bool CheckContainer(DOMElement* parent, const std::string& where, const std::vector<Rule>& rules) {
    std::set<std::string> seen;
    return ForEachChild(parent, where, [&](DOMElement* child, const std::string& name) {
      const Rule* rule = nullptr;
      for (const Rule& r : rules) if (name == r.name) rule = &r;
      std::string childPath = where + "." + name;
      if (rule == nullptr) return Fail(103, "unexpected element " + childPath);
      if (!seen.insert(name).second) return Fail(103, "unexpected element " + childPath + " (given twice)");
      return CheckElement(child, childPath, rule->kind);
    });
  }

  // The text of a leaf element; child elements are refused.
  bool LeafText(DOMElement* element, const std::string& where, std::string& text) {
    if (!CheckAttributes(element, where, false)) return false;
    for (DOMNode* node = element->getFirstChild(); node != nullptr; node = node->getNextSibling()) {
      if (node->getNodeType() == DOMNode::ELEMENT_NODE)
        return Fail(103, "unexpected element " + where + "." + XmlToUtf8(node->getLocalName()));
    }
    text = Trimmed(XmlToUtf8(element->getTextContent()));
    return true;
  }

  bool Invalid(const std::string& where, const std::string& what) {
    return Fail(105, where + " contains " + what);
  }

  bool CheckElement(DOMElement* element, const std::string& where, Kind kind) {
    switch (kind) {
      case Kind::InitialWindow:
        if (!CheckAttributes(element, where, false)) return false;
        haveWindow_ = true;
        return CheckContainer(element, where, kWindowRules);
      case Kind::Icon:
        return CheckIcon(element, where);
      case Kind::FileTypes:
        return CheckFileTypes(element, where);
      case Kind::Localized:
        return CheckLocalized(element, where);
      default:
        break;
    }
    std::string text;
    if (!LeafText(element, where, text)) return false;
    values_[where] = text;
    switch (kind) {
      case Kind::Id:
      case Kind::FileName:
      case Kind::Version:
        return CheckIdentity(where, kind, text);
      case Kind::Bool:
      case Kind::UInt:
      case Kind::Int:
      case Kind::SizePair:
      case Kind::Chrome:
      case Kind::AspectRatio:
      case Kind::RenderMode:
        return CheckWindowValue(where, kind, text);
      case Kind::RelPath:
      case Kind::Folder:
      case Kind::Profiles:
        return CheckLocation(where, kind, text);
      case Kind::ContentType:
      case Kind::TypeName:
      case Kind::TypeExt:
      case Kind::TypeText:
        return CheckFileTypeValue(where, kind, text);
      default:
        return true;  // plain text
    }
  }

  // The application's id, file name and version.
  bool CheckIdentity(const std::string& where, Kind kind, const std::string& text) {
    switch (kind) {
      case Kind::Id: {
        if (text.empty() || text.size() > 212) return Invalid(where, "invalid characters");
        for (char c : text) {
          bool good = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-';
          if (!good) return Invalid(where, "invalid characters");
        }
        info_.id = text;
        return true;
      }
      case Kind::FileName: {
        if (text.empty()) return true;  // reported as missing below
        if (text.size() > 255 || HasControlCharacter(text) || text == "." || text == ".." ||
            text.find_first_of("/\\:*?\"<>|") != std::string::npos || text.back() == '.')
          return Invalid(where, "invalid characters");
        info_.filename = text;
        return true;
      }
      case Kind::Version:
        if (HasControlCharacter(text) || text.size() > 64) return Invalid(where, "invalid characters");
        info_.version = text;
        return true;
      default:
        return true;
    }
  }

  // Values of the initial window: flags, numbers, sizes and choices.
  bool CheckWindowValue(const std::string& where, Kind kind, const std::string& text) {
    switch (kind) {
      case Kind::Bool: {
        std::string lower = Lowered(text);
        if (lower != "true" && lower != "false") return Invalid(where, "an invalid value (true or false expected)");
        return true;
      }
      case Kind::UInt:
        if (!IsDigits(text) || std::stol(text) == 0) return Invalid(where, "an invalid value (a positive number expected)");
        return true;
      case Kind::Int: {
        std::string digits = (!text.empty() && text[0] == '-') ? text.substr(1) : text;
        if (!IsDigits(digits)) return Invalid(where, "an invalid value (a number expected)");
        return true;
      }
      case Kind::SizePair: {
        size_t blank = text.find_first_of(" \t");
        std::string w = blank == std::string::npos ? "" : Trimmed(text.substr(0, blank));
        std::string h = blank == std::string::npos ? "" : Trimmed(text.substr(blank));
        if (!IsDigits(w) || !IsDigits(h)) return Invalid(where, "an invalid value (width and height expected)");
        sizes_[where] = {std::stol(w), std::stol(h)};
        return true;
      }
      case Kind::Chrome:
        if (text != "none" && text != "standard") return Invalid(where, "an invalid value (none or standard expected)");
        return true;
      case Kind::AspectRatio:
        if (text != "portrait" && text != "landscape" && text != "any") return Invalid(where, "an invalid value");
        return true;
      case Kind::RenderMode:
        if (text != "auto" && text != "cpu" && text != "gpu" && text != "direct") return Invalid(where, "an invalid value");
        return true;
      default:
        return true;
    }
  }

  // Paths, folders and the profile list.
  bool CheckLocation(const std::string& where, Kind kind, const std::string& text) {
    switch (kind) {
      case Kind::RelPath: {
        std::string decoded;
        if (text.empty()) return true;  // reported as missing below
        if (!DecodeUrlEscapes(text, decoded) || !IsSafeRelativePath(decoded))
          return Invalid(where, "an invalid path");
        if (where == "application.initialWindow.content") info_.content = decoded;
        return true;
      }
      case Kind::Folder: {
        std::string folder = ToSlashesLocal(text);
        while (!folder.empty() && folder.back() == '/') folder.pop_back();
        if (folder.empty() || !IsSafeRelativePath(folder) ||
            folder.find_first_of(":*?\"<>|") != std::string::npos)
          return Invalid(where, "an invalid path");
        for (size_t start = 0; start <= folder.size();) {
          size_t slash = folder.find('/', start);
          std::string part = folder.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
          if (Trimmed(part) != part || part.back() == '.') return Invalid(where, "an invalid path");
          if (slash == std::string::npos) break;
          start = slash + 1;
        }
        if (where == "application.installFolder") info_.installFolder = folder;
        return true;
      }
      case Kind::Profiles: {
        static const std::set<std::string> known = {"desktop", "extendedDesktop", "mobileDevice", "extendedMobileDevice"};
        size_t start = 0;
        while (start < text.size()) {
          size_t end = text.find_first_of(" \t\r\n", start);
          std::string profile = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
          if (!profile.empty() && known.count(profile) == 0) return Invalid(where, "an unknown profile " + profile);
          if (end == std::string::npos) break;
          start = end + 1;
        }
        return true;
      }
      default:
        return true;
    }
  }

  // The fields of one file type.
  bool CheckFileTypeValue(const std::string& where, Kind kind, const std::string& text) {
    switch (kind) {
      case Kind::ContentType:
        if (text.empty()) return Fail(104, where + " is required");
        if (!IsMimeType(text)) return Invalid(where, "an invalid value (a MIME type expected)");
        if (fileType_ != nullptr) fileType_->contentType = text;
        return true;
      case Kind::TypeName: {
        if (text.empty()) return Fail(104, where + " is required");
        bool good = text.size() <= 38 && text[0] != '.' && !(text[0] >= '0' && text[0] <= '9');
        for (char c : text)
          good = good && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.');
        if (!good) return Invalid(where, "invalid characters");
        if (fileType_ != nullptr) fileType_->name = text;
        return true;
      }
      case Kind::TypeExt: {
        if (text.empty()) return Fail(104, where + " is required");
        bool good = text.size() <= 38;
        for (char c : text) good = good && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
        if (!good) return Invalid(where, "invalid characters");
        if (fileType_ != nullptr) fileType_->extension = text;
        return true;
      }
      case Kind::TypeText:
        if (fileType_ != nullptr) fileType_->description = text;
        return true;
      default:
        return true;
    }
  }

  static std::string ToSlashesLocal(std::string s) {
    for (char& c : s) if (c == '\\') c = '/';
    return s;
  }

  // Plain text, or one `text` element per language.
  bool CheckLocalized(DOMElement* element, const std::string& where) {
    if (!CheckAttributes(element, where, false)) return false;
    bool hasElements = false;
    for (DOMNode* n = element->getFirstChild(); n != nullptr; n = n->getNextSibling())
      if (n->getNodeType() == DOMNode::ELEMENT_NODE) hasElements = true;
    const bool applicationName = where == "application.name";
    if (!hasElements) {
      values_[where] = Trimmed(XmlToUtf8(element->getTextContent()));
      if (applicationName) info_.name = values_[where];
      return true;
    }
    return ForEachChild(element, where, [&](DOMElement* child, const std::string& name) {
      std::string childPath = where + "." + name;
      if (name != "text") return Fail(103, "unexpected element " + childPath);
      if (!CheckAttributes(child, childPath, true)) return false;
      for (DOMNode* n = child->getFirstChild(); n != nullptr; n = n->getNextSibling())
        if (n->getNodeType() == DOMNode::ELEMENT_NODE)
          return Fail(103, "unexpected element " + childPath + "." + XmlToUtf8(n->getLocalName()));
      if (applicationName && info_.name.empty()) info_.name = Trimmed(XmlToUtf8(child->getTextContent()));
      return true;
    });
  }

  bool CheckIcon(DOMElement* element, const std::string& where) {
    if (!CheckAttributes(element, where, false)) return false;
    const bool application = where == "application.icon";
    const std::set<int>& sizes = application ? kApplicationIconSizes : kFileTypeIconSizes;
    std::set<std::string> seen;
    return ForEachChild(element, where, [&](DOMElement* child, const std::string& name) {
      std::string childPath = where + "." + name;
      int size = 0;
      for (int candidate : sizes) {
        std::string n = std::to_string(candidate);
        if (name == "image" + n + "x" + n) size = candidate;
      }
      if (size == 0) return Fail(103, "unexpected element " + childPath);
      if (!seen.insert(name).second) return Fail(103, "unexpected element " + childPath + " (given twice)");
      std::string text;
      if (!LeafText(child, childPath, text)) return false;
      if (text.empty()) return true;
      std::string decoded;
      if (!DecodeUrlEscapes(text, decoded) || !IsSafeRelativePath(decoded))
        return Invalid(childPath, "an invalid path");
      info_.icons.push_back(IconReference{childPath, size, decoded});
      if (!application && fileType_ != nullptr) fileType_->icons.push_back(info_.icons.back());
      return true;
    });
  }

  bool CheckFileTypes(DOMElement* element, const std::string& where) {
    if (!CheckAttributes(element, where, false)) return false;
    return ForEachChild(element, where, [&](DOMElement* child, const std::string& name) {
      std::string childPath = where + "." + name;
      if (name != "fileType") return Fail(103, "unexpected element " + childPath);
      if (!CheckAttributes(child, childPath, false)) return false;
      std::set<std::string> seen;
      FileTypeInfo type;
      fileType_ = &type;
      bool ok = ForEachChild(child, childPath, [&](DOMElement* part, const std::string& partName) {
        const Rule* rule = nullptr;
        for (const Rule& r : kFileTypeRules) if (partName == r.name) rule = &r;
        std::string partPath = childPath + "." + partName;
        if (rule == nullptr) return Fail(103, "unexpected element " + partPath);
        if (!seen.insert(partName).second) return Fail(103, "unexpected element " + partPath + " (given twice)");
        return CheckElement(part, partPath, rule->kind);
      });
      fileType_ = nullptr;
      if (!ok) return false;
      for (const char* required : {"name", "extension", "contentType"}) {
        if (seen.count(required) == 0) return Fail(104, childPath + "." + required + " is required");
      }
      // The installer names the desktop's files after these: each must be one type's own.
      for (const FileTypeInfo& other : info_.fileTypes) {
        if (other.name == type.name) return Invalid(childPath + ".name", "a name given to another file type");
        if (other.contentType == type.contentType)
          return Invalid(childPath + ".contentType", "a content type given to another file type");
      }
      info_.fileTypes.push_back(std::move(type));
      return true;
    });
  }

  bool CheckRequired() {
    for (const char* required : {"application.id", "application.filename", "application.version"}) {
      auto it = values_.find(required);
      if (it == values_.end() || it->second.empty()) return Fail(104, std::string(required) + " is required");
    }
    if (!haveWindow_) return Fail(104, "application.initialWindow is required");
    auto it = values_.find("application.initialWindow.content");
    if (it == values_.end() || it->second.empty())
      return Fail(104, "application.initialWindow.content is required");
    return true;
  }

  bool CheckCombinations() {
    auto value = [&](const char* key) {
      auto it = values_.find(key);
      return it == values_.end() ? std::string() : it->second;
    };
    std::string chrome = value("application.initialWindow.systemChrome");
    if (chrome.empty()) chrome = "standard";
    if (Lowered(value("application.initialWindow.transparent")) == "true" && chrome == "standard")
      return Fail(106, "application.initialWindow.transparent is true while systemChrome is standard");
    auto min = sizes_.find("application.initialWindow.minSize");
    auto max = sizes_.find("application.initialWindow.maxSize");
    if (min != sizes_.end() && max != sizes_.end() &&
        (min->second.first > max->second.first || min->second.second > max->second.second))
      return Fail(107, "application.initialWindow.minSize is greater than application.initialWindow.maxSize");
    return true;
  }

  const std::string& path_;
  DescriptorInfo& info_;
  std::string namespace_;
  bool failed_ = false;
  bool haveWindow_ = false;
  Outcome outcome_;
  FileTypeInfo* fileType_ = nullptr;  // the file type being checked
  std::map<std::string, std::string> values_;
  std::map<std::string, std::pair<long, long>> sizes_;
};

}  // namespace

Outcome CheckDescriptor(std::string_view xml, const std::string& displayPath, DescriptorInfo& info) {
  XmlSession session;
  if (!session.ok()) return Fail(kExitUnknown, "the XML library could not be initialised\n");
  info = DescriptorInfo{};
  try {
    XercesDOMParser parser;
    // Nothing outside the file is ever loaded: no external DTD, no external entities.
    parser.setValidationScheme(XercesDOMParser::Val_Never);
    parser.setDoNamespaces(true);
    parser.setDoSchema(false);
    parser.setLoadExternalDTD(false);
    parser.setLoadSchema(false);
    parser.setDisableDefaultEntityResolution(true);
    parser.setCreateEntityReferenceNodes(false);
    SecurityManager security;
    security.setEntityExpansionLimit(100);
    parser.setSecurityManager(&security);
    FirstErrorHandler handler;
    parser.setErrorHandler(&handler);
    MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "descriptor");
    try {
      parser.parse(source);
    } catch (const SAXParseException&) {
    }
    if (handler.failed || parser.getErrorCount() > 0)
      return DescriptorError(displayPath, 100, handler.failed ? handler.message : "the file is not well-formed XML");
    DOMDocument* document = parser.getDocument();
    if (document == nullptr || document->getDocumentElement() == nullptr)
      return DescriptorError(displayPath, 100, "the file holds no XML element");
    if (document->getDoctype() != nullptr)
      return DescriptorError(displayPath, 103, "unexpected document type declaration");
    DOMElement* root = document->getDocumentElement();
    const XMLCh* rootName = root->getLocalName() != nullptr ? root->getLocalName() : root->getNodeName();
    if (std::optional<std::string> refusal = FirstTextXml10CannotHold(root, XmlToUtf8(rootName)))
      return DescriptorError(displayPath, 105, *refusal);
    Checker checker(displayPath, info);
    if (!checker.CheckRoot(document->getDocumentElement())) return checker.outcome();
    return Outcome::Ok();
  } catch (const XMLException& e) {
    return DescriptorError(displayPath, 100, XmlToUtf8(e.getMessage()));
  } catch (const DOMException& e) {
    return DescriptorError(displayPath, 100, XmlToUtf8(e.getMessage()));
  } catch (...) {
    return DescriptorError(displayPath, 100, "the file could not be parsed");
  }
}

}  // namespace zpk
