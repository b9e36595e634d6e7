#include "desktop_registration.h"

#include <set>

#include "xml_session.h"

namespace zpk {
namespace {

// Quoted for the shell: between single quotes, each quote closed, escaped and reopened.
std::string InQuotes(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// A desktop entry string value: backslash, line breaks and tabs escaped.
std::string EntryEscaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

std::string ApplicationName(const DescriptorInfo& info) {
  if (!info.name.empty()) return info.name;
  return info.filename.empty() ? info.id : info.filename;
}

// Runs after the files are written: writes a file from a quoted here-document, so its
// text reaches the disk exactly as generated.
std::string HereDocument(const std::string& path, const std::string& marker, const std::string& text) {
  return "cat > " + path + " <<'" + marker + "'\n" + text + marker + "\n";
}

// The helpers of the step. Paths it records are relative to the prefix, as the
// installation record keeps them; folders it makes join the installation's $created list.
constexpr const char* kStepHead = R"STEP(
# Register the file types with the desktop under the prefix.
zaro_state=$(cd "$target" && pwd)/$record_dir
zaro_share=$(cd "$prefix" && pwd)/share
# Makes a prefix-relative folder with its missing parents and records those it made.
zaro_folder() {
  zaro_dir=$1
  while [ "$zaro_dir" != . ] && [ ! -d "$prefix/$zaro_dir" ]; do
    created="$created$zaro_dir
"
    zaro_dir=$(dirname "$zaro_dir")
  done
  mkdir -p "$prefix/$1"
}
# Copies a file to a prefix-relative place and records it; a file that is already there
# is another application's and is left as it is.
zaro_put() {
  if [ -e "$prefix/$2" ] || [ -L "$prefix/$2" ]; then
    echo "leaving $prefix/$2 as it is" >&2
    return 0
  fi
  zaro_folder "$(dirname "$2")"
  cp "$1" "$prefix/$2"
  record_file "$2"
}
)STEP";

constexpr const char* kLauncher = R"LAUNCH(#!/bin/sh
# Opens the installed application, with the files given, in the ZARO runtime.
here=$(cd "$(dirname "$0")/.." && pwd)
if command -v zaro-runtime >/dev/null 2>&1; then
  exec zaro-runtime "$here/META-INF/ZARO/application.xml" -- "$@"
fi
echo "Opening this application needs the ZARO runtime (zaro-runtime)." >&2
exit 1
)LAUNCH";

constexpr const char* kStepTail = R"STEP(chmod 755 "$zaro_state/open"
record_file "$install_folder/$record_dir/open"
if command -v update-mime-database >/dev/null 2>&1; then
  update-mime-database "$zaro_share/mime" >/dev/null 2>&1 || echo "update-mime-database failed" >&2
fi
if command -v update-desktop-database >/dev/null 2>&1; then
  update-desktop-database "$zaro_share/applications" >/dev/null 2>&1 || true
fi
)STEP";

}  // namespace

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
         "Name=" + EntryEscaped(ApplicationName(info)) + "\n"
         "MimeType=" + types + "\n"
         "Terminal=false\n";
}

std::string DesktopRegistrationStep(const DescriptorInfo& info) {
  if (info.fileTypes.empty()) return {};
  const std::string id = info.id.empty() ? info.filename : info.id;
  std::string step = kStepHead;
  step += HereDocument("\"$work/package.xml\"", "ZARO_MIME_PACKAGE", MimePackage(info));
  step += "zaro_put \"$work/package.xml\" share/mime/packages/" + InQuotes(id + ".xml") + "\n";
  // The Exec line names the launcher; its path is known only now. Quoted for the entry:
  // the Exec escapes first, then every backslash doubled for the string value.
  step += HereDocument("\"$work/entry.desktop\"", "ZARO_DESKTOP_ENTRY", DesktopEntry(info));
  step += "zaro_exec=$(printf '%s' \"$zaro_state/open\" | sed -e 's/[\\\\\"`$]/\\\\&/g' -e 's/\\\\/\\\\\\\\/g' "
          "-e 's/%/%%/g')\n";
  step += "printf 'Exec=\"%s\" %%f\\n' \"$zaro_exec\" >> \"$work/entry.desktop\"\n";
  step += "zaro_put \"$work/entry.desktop\" share/applications/" + InQuotes(id + ".desktop") + "\n";
  for (const FileTypeInfo& type : info.fileTypes) {
    for (const IconReference& icon : type.icons) {
      const std::string size = std::to_string(icon.size);
      step += "zaro_put \"$target/\"" + InQuotes(icon.path) + " share/icons/hicolor/" + size + "x" + size +
              "/mimetypes/" + InQuotes(MimeIconName(type.contentType) + ".png") + "\n";
    }
  }
  step += HereDocument("\"$zaro_state/open\"", "ZARO_LAUNCHER", kLauncher);
  return step + kStepTail;
}

}  // namespace zpk
