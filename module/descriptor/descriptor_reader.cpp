#include "descriptor/descriptor_reader.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/SAXException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>

#include "descriptor/descriptor_parser.h"
#include "descriptor/descriptor_template.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/messages.h"
#include "settings/settings_store.h"

namespace zaro {

using namespace xercesc;

namespace {

constexpr unsigned kUnparsableDescriptorMessage = 8031;
constexpr std::u16string_view kSampleDescriptor = u"/ZSK2.0/samples/descriptor-sample.xml";

bool Contains(std::u16string_view text, std::u16string_view marker) {
  return text.find(marker) != std::u16string_view::npos;
}

bool SameFile(const DescriptorDocument& document, std::u16string_view path) {
  return document.loaded && document.sourcePath == path;
}

void ShowUnparsable() { ShowCatalogueMessage(kUnparsableDescriptorMessage, kMbIconExclamation); }

// Parses, and on a pre-release namespace replaces the file by the template and parses
// once more.
int ParseReplacingPreRelease(DescriptorDocument& document, std::u16string_view path) {
  int result = ParseDescriptor(document, path);
  if (result == kPreReleaseNamespace) {
    WriteDescriptorTemplate();
    result = ParseDescriptor(document, path);
  }
  return result;
}

}  // namespace

InputSource* RefuseExternalEntities::resolveEntity(const XMLCh* /*publicId*/, const XMLCh* systemId) {
  static const XMLByte kNothing[1] = {0};
  return new MemBufInputSource(kNothing, 0, systemId ? systemId : u"", false);
}

DescriptorDocument& UpgradeDescriptor() {
  static DescriptorDocument instance;
  return instance;
}

int InitDescriptorParser(DescriptorDocument& document) {
  ReleaseDescriptor(document);
  try {
    XMLPlatformUtils::Initialize();
  } catch (const XMLException& error) {
    PrintLibraryMessage("Error during initialization! :%s\n", LibraryText(error.getMessage()));
    return 1;
  } catch (...) {
    PrintLibraryMessage("Error during initialization! :%s\n", "unknown error");
    return 1;
  }
  try {
    auto parser = std::make_unique<DescriptorParser>();
    parser->dom = std::make_unique<XercesDOMParser>();
    XercesDOMParser& dom = *parser->dom;
    dom.setValidationScheme(XercesDOMParser::Val_Auto);
    dom.setIncludeIgnorableWhitespace(true);
    dom.setDoNamespaces(false);
    dom.setDoSchema(false);
    dom.setErrorHandler(&parser->errorHandler);
    // Only the descriptor itself is read: no external DTD, no external entity, no network.
    dom.setLoadExternalDTD(false);
    dom.setDisableDefaultEntityResolution(true);
    dom.setEntityResolver(&parser->entityResolver);
    dom.setSecurityManager(&parser->securityManager);
    document.parser = std::move(parser);
  } catch (const XMLException& error) {
    PrintLibraryMessage("Error during creating parser! :%s\n", LibraryText(error.getMessage()));
    return 2;
  } catch (...) {
    PrintLibraryMessage("Error during creating parser! :%s\n", "unknown error");
    return 2;
  }
  return 0;
}

int ParseDescriptor(DescriptorDocument& document, std::u16string_view path) {
  if (!document.parser || !document.parser->dom) {
    document.loaded = false;
    return kParseError;
  }
  // The bytes come through the platform layer, so any path text the module can name works.
  const std::optional<std::string> bytes = platform::ReadFileBytes(path);
  if (!bytes) {
    PrintLibraryMessage("Exception message is: %s\n",
                        "unable to open primary document entity '" + platform::ToPosixPath(path) + "'");
    document.loaded = false;
    return kParseError;
  }
  try {
    const std::u16string systemId = FromUtf8(platform::ToPosixPath(path));
    MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes->data()), bytes->size(), systemId.c_str(),
                             false);
    document.parser->dom->parse(source);
  } catch (const XMLException& error) {
    PrintLibraryMessage("Exception message is: %s\n", LibraryText(error.getMessage()));
    document.loaded = false;
    return kParseError;
  } catch (const DOMException& error) {
    PrintLibraryMessage("Exception message is: %s\n", LibraryText(error.getMessage()));
    document.loaded = false;
    return kParseError;
  } catch (const SAXException& error) {
    // Malformed XML: the error handler turns the fatal error into this exception.
    PrintLibraryMessage("Exception message is: %s\n", LibraryText(error.getMessage()));
    document.loaded = false;
    return kParseError;
  } catch (...) {
    std::printf("Unexpected Exception \n");
    std::fflush(stdout);
    document.loaded = false;
    return kParseError;
  }

  int result = kParsed;
  std::u16string descriptorNamespace;
  try {
    DOMDocument* dom = document.parser->dom->getDocument();
    DOMNodeList* applications = dom ? dom->getElementsByTagName(u"application") : nullptr;
    DOMNode* first = applications && applications->getLength() > 0 ? applications->item(0) : nullptr;
    if (!first) {
      result = kNoApplicationElement;
    } else if (first->getNodeType() != DOMNode::ELEMENT_NODE) {
      result = kApplicationNotElement;
    } else if (const XMLCh* value = static_cast<DOMElement*>(first)->getAttribute(u"xmlns"); !value) {
      result = kNoNamespaceValue;
    } else {
      descriptorNamespace = value;  // an absent attribute reads as empty and goes on
    }
  } catch (...) {
    result = kNoApplicationElement;
  }
  if (result == kParsed && (Contains(descriptorNamespace, u"1.0.M5") || Contains(descriptorNamespace, u"1.0.M6"))) {
    result = kPreReleaseNamespace;
  }
  if (result != kParsed) {
    document.loaded = false;
    return result;
  }
  document.legacyNamespace = Contains(descriptorNamespace, u"1.0") || Contains(descriptorNamespace, u"1.1");
  document.loaded = true;
  document.sourcePath.assign(path);
  return kParsed;
}

int ReleaseDescriptor(DescriptorDocument& document) {
  document.parser.reset();
  document.loaded = false;
  document.legacyNamespace = false;
  document.sourcePath.clear();
  return 0;
}

std::u16string MovieDescriptorPath() {
  std::u16string path = GetSetting(keys::kMovieFolder) + GetSetting(keys::kMovieBaseName) + u"-app.xml";
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  return path;
}

int LoadDescriptor(bool force) {
  const std::u16string path = MovieDescriptorPath();
  DescriptorDocument& document = MovieDescriptor();
  if (!document.parser) InitDescriptorParser(document);
  // A template written just now makes any document parsed earlier stale.
  bool wroteTemplate = false;
  if (!platform::FileExists(path)) {
    WriteDescriptorTemplate();
    wroteTemplate = true;
  }
  if (!force && !wroteTemplate && SameFile(document, path)) return kParsed;
  const int result = ParseReplacingPreRelease(document, path);
  if (result != kParsed) {
    ShowUnparsable();
    return result;
  }
  return kParsed;
}

bool RefreshDescriptorForMovie() {
  const std::u16string path = MovieDescriptorPath();
  DescriptorDocument& document = MovieDescriptor();
  if (!SameFile(document, path)) {
    if (!document.parser) InitDescriptorParser(document);
    if (ParseReplacingPreRelease(document, path) != kParsed) {
      ShowUnparsable();
      return false;
    }
  }
  const std::u16string baseName = GetSetting(keys::kMovieBaseName);
  SetChildElementText(document, u"initialWindow", u"content", baseName + u".qmv");
  SetChildElementText(document, u"application", u"name", baseName);
  SetChildElementText(document, u"application", u"filename", baseName);
  const bool saved = SaveDescriptor(document, path) == 0;
  ReleaseDescriptor(document);
  return saved;
}

int ReadSampleNamespace(std::string& descriptorNamespace) {
  const std::u16string path = GetSetting(keys::kLaunchPath) + std::u16string(kSampleDescriptor);
  // A kit without its sample is not worth a line on standard output.
  if (!platform::FileExists(path)) return -1;
  DescriptorDocument sample;
  int result = InitDescriptorParser(sample);
  if (result == 0) result = ParseDescriptor(sample, path);
  std::string value;
  if (result == kParsed) result = GetElementAttribute(sample, u"application", u"xmlns", value);
  ReleaseDescriptor(sample);
  // A namespace that does not fit the buffer, or none at all, is no namespace to copy.
  if (result != 0 || value.empty() || value.size() > kMaxSampleNamespaceBytes) return -1;
  descriptorNamespace = std::move(value);
  return 0;
}

bool UpgradeDescriptorNamespace(std::u16string_view path) {
  DescriptorDocument& document = UpgradeDescriptor();
  if (!document.parser) InitDescriptorParser(document);
  // A pre-release file is regenerated from the template, as when the movie's descriptor
  // is loaded; only a file that still does not parse stops the command.
  if (ParseReplacingPreRelease(document, path) != kParsed) {
    ShowUnparsable();
    return false;
  }
  if (document.legacyNamespace) {
    std::string sample;
    std::string current;
    if (ReadSampleNamespace(sample) == 0 && GetElementAttribute(document, u"application", u"xmlns", current) == 0 &&
        sample != current) {
      SetElementAttribute(document, u"application", u"xmlns", FromUtf8(sample));
      SaveDescriptor(document, path);
    }
  }
  ReleaseDescriptor(document);
  return true;
}

}  // namespace zaro
