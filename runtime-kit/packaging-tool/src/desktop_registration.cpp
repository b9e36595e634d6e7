#include "desktop_registration.h"

#include <set>

#include "kit_text.h"
#include "xml_session.h"

namespace zpk {
namespace {

std::string ApplicationName(const DescriptorInfo& info) {
  if (!info.name.empty()) return info.name;
  return info.filename.empty() ? info.id : info.filename;
}

std::string ApplicationId(const DescriptorInfo& info) { return info.id.empty() ? info.filename : info.id; }

std::string InstallFolder(const DescriptorInfo& info) {
  return info.installFolder.empty() ? info.filename : info.installFolder;
}

std::string LastComponent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr const char* kLauncher = R"LAUNCH(#!/bin/sh
# Opens the installed application, with the files given, in the ZARO runtime.
here=$(cd "$(dirname "$0")/../../.." && pwd)
if command -v zaro-runtime >/dev/null 2>&1; then
  exec zaro-runtime "$here/META-INF/ZARO/application.xml" -- "$@"
fi
echo "Opening this application needs the ZARO runtime (zaro-runtime)." >&2
exit 1
)LAUNCH";

}  // namespace

std::string DesktopEntryEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case ' ': out += out.empty() ? "\\s" : " "; break;  // a leading blank would be read as none
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

Outcome CheckInstallable(const DescriptorInfo& info, const std::string& displayPath) {
  if (HasControlCharacter(ApplicationName(info)))
    return DescriptorError(displayPath, 107,
                           "application.name holds a line break or control character, which a desktop entry "
                           "cannot hold");
  std::vector<std::pair<std::string, std::string>> names = {
      {"application.installFolder", LastComponent(InstallFolder(info))}};
  if (!info.fileTypes.empty()) {
    names.emplace_back("application.id", ApplicationId(info) + ".desktop");
    for (size_t i = 0; i < info.fileTypes.size(); ++i)
      names.emplace_back("application.fileTypes.fileType[" + std::to_string(i + 1) + "].contentType",
                         MimeIconName(info.fileTypes[i].contentType) + ".png");
  }
  for (const auto& [where, name] : names)
    if (name.size() > kMaxInstalledName)
      return DescriptorError(displayPath, 106,
                             where + " makes the installed file name " + name.substr(0, 40) + "... (" +
                                 std::to_string(name.size()) + " bytes), longer than the " +
                                 std::to_string(kMaxInstalledName) + " bytes the installer can write");
  return Outcome::Ok();
}

std::string MimeIconName(const std::string& contentType) {
  std::string name = contentType;
  for (char& c : name) {
    if (c == '/') c = '-';
  }
  return name;
}

std::string MimePackage(const DescriptorInfo& info) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
  for (const FileTypeInfo& type : info.fileTypes) {
    xml += "  <mime-type type=\"" + XmlEscaped(type.contentType) + "\">\n";
    xml += "    <comment>" + XmlEscaped(type.description.empty() ? type.name : type.description) + "</comment>\n";
    xml += "    <glob pattern=\"*." + XmlEscaped(type.extension) + "\"/>\n";
    xml += "  </mime-type>\n";
  }
  return xml + "</mime-info>\n";
}

std::string DesktopEntry(const DescriptorInfo& info) {
  std::string types;
  std::set<std::string> seen;
  for (const FileTypeInfo& type : info.fileTypes) {
    if (seen.insert(type.contentType).second) types += type.contentType + ";";
  }
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=" + DesktopEntryEscaped(ApplicationName(info)) + "\n"
         "MimeType=" + types + "\n"
         "Terminal=false\n";
}

std::vector<InstallerEntry> InstallerEntries(const DescriptorInfo& info) {
  const std::string base = kInstallerDataFolder;
  std::vector<InstallerEntry> entries = {
      {base + "install", "folder=" + InstallFolder(info) + "\napplication=" + ApplicationId(info) + "\n", {}}};
  if (info.fileTypes.empty()) return entries;
  const std::string id = ApplicationId(info);
  entries.push_back({base + "open", kLauncher, {}});
  entries.push_back({base + "share/mime/packages/" + id + ".xml", MimePackage(info), {}});
  entries.push_back({base + "share/applications/" + id + ".desktop", DesktopEntry(info), {}});
  std::set<std::string> icons;
  for (const FileTypeInfo& type : info.fileTypes) {
    for (const IconReference& icon : type.icons) {
      const std::string size = std::to_string(icon.size);
      std::string name = base + "share/icons/hicolor/" + size + "x" + size + "/mimetypes/" +
                         MimeIconName(type.contentType) + ".png";
      if (icons.insert(name).second) entries.push_back({name, {}, icon.path});
    }
  }
  return entries;
}

}  // namespace zpk
