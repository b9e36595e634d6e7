// The kit's debug launcher: "zrl.exe DESCRIPTOR [-profile P]".
// It reads the application descriptor, checks the movie its initialWindow content names,
// and runs the application. In this kit running means describing it: the application's
// id, name, window settings and profile go to standard output, one "key: value" a line.
// Exit codes: 0 ran, 1 descriptor or movie unusable, 2 bad command line.
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLException.hpp>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "kit_text.h"

namespace {

using namespace xercesc;

constexpr int kRan = 0;
constexpr int kUnusable = 1;
constexpr int kUsageError = 2;

std::string Utf8(const XMLCh* text) {
  if (!text) return {};
  TranscodeToStr utf8(text, "UTF-8");
  return std::string(reinterpret_cast<const char*>(utf8.str()), utf8.length());
}

std::u16string Wide(const char* text) {
  std::u16string out;
  for (; *text; ++text) out += static_cast<char16_t>(static_cast<unsigned char>(*text));
  return out;  // only ASCII element names pass through here
}

std::string PosixPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// The first element named `tag` below `scope`, in document order; namespaces are ignored.
DOMElement* First(DOMElement* scope, const char* tag) {
  if (!scope) return nullptr;
  DOMNodeList* found = scope->getElementsByTagName(reinterpret_cast<const XMLCh*>(Wide(tag).c_str()));
  return found && found->getLength() > 0 ? static_cast<DOMElement*>(found->item(0)) : nullptr;
}

std::optional<std::string> TextOf(DOMElement* scope, const char* tag) {
  DOMElement* element = First(scope, tag);
  if (!element) return std::nullopt;
  return zpk::Trimmed(Utf8(element->getTextContent()));
}

// The name, or its first localised text when it holds <text xml:lang="..."> children.
std::optional<std::string> NameOf(DOMElement* root) {
  DOMElement* name = First(root, "name");
  if (!name) return std::nullopt;
  if (DOMElement* text = First(name, "text")) return zpk::Trimmed(Utf8(text->getTextContent()));
  return zpk::Trimmed(Utf8(name->getTextContent()));
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes URL escapes ("%20" is a blank); a "%" without two hex digits stays as written.
std::string UrlDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The content must name a file inside the application's folder.
bool IsRelativeInside(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
  if (name.find('\0') != std::string::npos) return false;
  if (name.size() > 1 && name[1] == ':') return false;  // a drive letter
  std::string part;
  std::istringstream parts(PosixPath(name));
  while (std::getline(parts, part, '/')) {
    if (part == "..") return false;
  }
  return name.back() != '/' && name.back() != '\\';
}

class ErrorCollector : public HandlerBase {
 public:
  void warning(const SAXParseException&) override {}
  void error(const SAXParseException& e) override { Record(e); }
  void fatalError(const SAXParseException& e) override { Record(e); }
  const std::string& FirstError() const { return first_; }

 private:
  void Record(const SAXParseException& e) {
    if (!first_.empty()) return;
    first_ = "line " + std::to_string(e.getLineNumber()) + ", column " + std::to_string(e.getColumnNumber()) +
             ": " + Utf8(e.getMessage());
  }
  std::string first_;
};

struct Options {
  std::string descriptor;
  std::string profile;
};

int Usage(const std::string& problem) {
  std::fprintf(stderr, "zrl: %s\nusage: zrl.exe DESCRIPTOR [-profile PROFILE]\n", problem.c_str());
  return kUsageError;
}

int Unusable(const std::string& problem) {
  std::fprintf(stderr, "zrl: %s\n", problem.c_str());
  return kUnusable;
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int Launch(const Options& options) {
  const std::string descriptorPath = PosixPath(options.descriptor);
  const std::optional<std::string> bytes = ReadFile(descriptorPath);
  if (!bytes) return Unusable("cannot read the descriptor " + descriptorPath);

  XercesDOMParser parser;
  ErrorCollector errors;
  SecurityManager limits;
  limits.setEntityExpansionLimit(100);
  parser.setValidationScheme(XercesDOMParser::Val_Never);
  parser.setDoNamespaces(false);
  parser.setDoSchema(false);
  parser.setLoadExternalDTD(false);
  parser.setDisableDefaultEntityResolution(true);  // no external entity is ever opened
  parser.setCreateEntityReferenceNodes(false);
  parser.setSecurityManager(&limits);
  parser.setErrorHandler(&errors);
  MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes->data()), bytes->size(), "descriptor");
  parser.parse(source);
  if (!errors.FirstError().empty() || parser.getErrorCount() > 0 || !parser.getDocument()) {
    return Unusable("the descriptor " + descriptorPath + " cannot be parsed (" + errors.FirstError() + ")");
  }
  DOMElement* root = parser.getDocument()->getDocumentElement();
  if (!root || Utf8(root->getTagName()) != "application") {
    return Unusable("the descriptor " + descriptorPath + " has no application root element");
  }

  const std::string id = TextOf(root, "id").value_or("");
  if (id.empty()) return Unusable("the descriptor " + descriptorPath + " names no application id");
  DOMElement* window = First(root, "initialWindow");
  const std::string content = TextOf(window, "content").value_or("");
  if (content.empty()) return Unusable("the descriptor " + descriptorPath + " names no initialWindow content");
  const std::string movieName = UrlDecode(content);
  if (!IsRelativeInside(movieName)) {
    return Unusable("the content " + content + " is not a file beside the descriptor");
  }
  const std::string moviePath = FolderOf(descriptorPath) + movieName;
  const std::optional<std::string> movie = ReadFile(moviePath);
  if (!movie) return Unusable("the movie " + moviePath + " does not exist or cannot be read");
  if (movie->compare(0, 3, "QMV") != 0) return Unusable("the file " + moviePath + " is not a movie (no QMV header)");

  std::string out;
  out += "id: " + id + "\n";
  out += "name: " + NameOf(root).value_or(TextOf(root, "filename").value_or("")) + "\n";
  out += "content: " + moviePath + "\n";
  out += "systemChrome: " + TextOf(window, "systemChrome").value_or("standard") + "\n";
  out += "transparent: " + TextOf(window, "transparent").value_or("false") + "\n";
  out += "visible: " + TextOf(window, "visible").value_or("false") + "\n";
  if (auto width = TextOf(window, "width")) out += "width: " + *width + "\n";
  if (auto height = TextOf(window, "height")) out += "height: " + *height + "\n";
  out += "profile: " + (options.profile.empty() ? std::string("desktop") : options.profile) + "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? kRan : kUnusable;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-profile") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return Usage("-profile needs a profile name");
      options.profile = argv[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage("unknown option " + arg);
    } else if (options.descriptor.empty() && !arg.empty()) {
      options.descriptor = arg;
    } else {
      return Usage("unexpected argument " + arg);
    }
  }
  if (options.descriptor.empty()) return Usage("no descriptor given");

  int result = kUnusable;
  try {
    XMLPlatformUtils::Initialize();
  } catch (const XMLException&) {
    return Unusable("the XML library cannot start");
  }
  try {
    result = Launch(options);
  } catch (const XMLException& e) {
    result = Unusable("cannot read the descriptor: " + Utf8(e.getMessage()));
  } catch (const DOMException& e) {
    result = Unusable("cannot read the descriptor: " + Utf8(e.getMessage()));
  } catch (const OutOfMemoryException&) {
    result = Unusable("cannot read the descriptor: out of memory");
  } catch (const SAXParseException& e) {
    result = Unusable("cannot read the descriptor: " + Utf8(e.getMessage()));
  }
  XMLPlatformUtils::Terminate();
  return result;
}
