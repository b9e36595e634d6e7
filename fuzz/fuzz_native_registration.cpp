// The native installer's generated files for generated descriptors: whatever the names,
// descriptions and content types, a descriptor is either refused with one error line or
// packaged into entries that stay inside their folder, fit the file system's name limit,
// hold only XML 1.0 text, and give a desktop entry that a parser of the format reads back
// with one value per key and the application's name unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "descriptor_check.h"
#include "desktop_registration.h"
#include "xml_session.h"
#include "xml_text.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// Reads a desktop entry file: one group, "Key=Value" lines, values unescaped.
std::map<std::string, std::string> ParseDesktopEntry(const std::string& text) {
  std::map<std::string, std::string> keys;
  size_t start = 0;
  bool inGroup = false;
  Require(!text.empty() && text.back() == '\n');
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      Require(!inGroup && line == "[Desktop Entry]");
      inGroup = true;
      continue;
    }
    Require(inGroup);
    const size_t equals = line.find('=');
    Require(equals != std::string::npos && equals > 0);
    // Blanks around "=" are not part of the key or the value.
    std::string key = line.substr(0, equals);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    size_t from = equals + 1;
    while (from < line.size() && line[from] == ' ') ++from;
    for (char c : key) Require((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-');
    std::string value;
    for (size_t i = from; i < line.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(line[i]);
      Require(c >= 0x20 && c != 0x7f);
      if (line[i] != '\\') {
        value += line[i];
        continue;
      }
      Require(++i < line.size());
      const char escaped = line[i];
      Require(escaped == '\\' || escaped == 'n' || escaped == 't' || escaped == 'r' || escaped == 's' || escaped == ';');
      value += escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped == 'r' ? '\r' : escaped == 's' ? ' ' : escaped;
    }
    Require(keys.emplace(key, value).second);
  }
  return keys;
}

// Fields of the input, split at NUL bytes.
std::vector<std::string> Fields(const uint8_t* data, size_t size) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) fields.emplace_back();
    else fields.back() += static_cast<char>(data[i]);
  }
  return fields;
}

// A descriptor around the fields: the application's name, then per file type its name,
// extension, content type and description.
std::string Descriptor(const std::vector<std::string>& f) {
  std::string types;
  for (size_t i = 1; i < f.size(); i += 4) {
    auto at = [&](size_t k) { return k < f.size() ? zpk::XmlEscaped(f[k]) : std::string("x"); };
    types += "<fileType><name>" + at(i) + "</name><extension>" + at(i + 1) + "</extension><contentType>" + at(i + 2) +
             "</contentType><description>" + at(i + 3) + "</description></fileType>";
  }
  return "<?xml version=\"1.1\" encoding=\"utf-8\" ?>\n"
         "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">"
         "<id>com.example.Fuzz</id><version>1.0</version><filename>Fuzz</filename><name>" +
         zpk::XmlEscaped(f[0]) +
         "</name><initialWindow><content>Fuzz.qmv</content></initialWindow>"
         "<fileTypes>" + types + "</fileTypes></application>\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> fields = Fields(data, size);
  const std::string xml =
      size > 0 && data[0] == '<' ? std::string(reinterpret_cast<const char*>(data), size) : Descriptor(fields);
  zpk::DescriptorInfo info;
  zpk::Outcome outcome = zpk::CheckDescriptor(xml, "fuzz-app.xml", info);
  if (outcome.ok()) outcome = zpk::CheckInstallable(info, "fuzz-app.xml");
  if (!outcome.ok()) {
    Require(outcome.text.rfind("fuzz-app.xml: error ", 0) == 0);
    return 0;
  }
  const std::string name = !info.name.empty() ? info.name : info.filename;
  for (const zpk::InstallerEntry& entry : zpk::InstallerEntries(info)) {
    Require(zpk::IsSafeRelativePath(entry.name));
    size_t part = 0;
    for (size_t i = 0; i <= entry.name.size(); ++i) {
      if (i == entry.name.size() || entry.name[i] == '/') {
        Require(i - part <= zpk::kMaxInstalledName);
        part = i + 1;
      }
    }
    Require(!zpk::FirstNonXml10Char(entry.text).has_value());
    if (entry.name.size() > 8 && entry.name.compare(entry.name.size() - 8, 8, ".desktop") == 0) {
      const std::map<std::string, std::string> keys = ParseDesktopEntry(entry.text);
      Require(keys.at("Name") == name && keys.at("Type") == "Application" && keys.count("Exec") == 0);
      std::set<std::string> types;
      const std::string& list = keys.at("MimeType");
      for (size_t start = 0; start < list.size();) {
        const size_t end = list.find(';', start);
        Require(end != std::string::npos && types.insert(list.substr(start, end - start)).second);
        start = end + 1;
      }
      Require(types.size() == info.fileTypes.size());
    }
  }
  return 0;
}
