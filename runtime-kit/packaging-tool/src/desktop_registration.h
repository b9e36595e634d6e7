#pragma once
// What the native installer registers with the desktop, generated here so that the
// installer's shell text never holds a byte of the descriptor. The files are entries of
// the signed package under META-INF/ZARO/desktop/, laid out as they go under the prefix:
//   share/mime/packages/ID.xml                   shared-mime-info package
//   share/applications/ID.desktop                desktop entry (the installer adds Exec=)
//   share/icons/hicolor/NxN/mimetypes/TYPE.png   each type's icons by size
// beside `install` (the installation folder and the application id) and `open`, the
// launcher the desktop entry runs.
#include <string>
#include <vector>

#include "descriptor_check.h"
#include "tool_result.h"

namespace zpk {

inline constexpr const char* kInstallerDataFolder = "META-INF/ZARO/desktop/";

// The longest file name the installer writes; its temporary name ".NAME.zaro-new" and its
// staging folder ".NAME.zaro-staging" must fit the 255 bytes a folder entry holds.
inline constexpr std::size_t kMaxInstalledName = 255 - 14;

// One generated entry: its text, or (for an icon) the package entry it copies.
struct InstallerEntry {
  std::string name;
  std::string text;
  std::string copyOf;
};

// Refuses, before anything is written, what the installer could not install: a file name
// derived from the descriptor longer than kMaxInstalledName (error 106) and a line break
// or control character in a value that becomes a desktop entry value (error 107).
Outcome CheckInstallable(const DescriptorInfo& info, const std::string& displayPath);

// Every entry the native installer's package carries for this application.
std::vector<InstallerEntry> InstallerEntries(const DescriptorInfo& info);

// The name of a content type's icon in an icon theme: "application/x-doc" ->
// "application-x-doc".
std::string MimeIconName(const std::string& contentType);

// The shared-mime-info package, and the desktop entry without its Exec line (which names
// the launcher where it is installed).
std::string MimePackage(const DescriptorInfo& info);
std::string DesktopEntry(const DescriptorInfo& info);

// A desktop entry string value: backslash, line breaks, tabs and a leading blank escaped.
std::string DesktopEntryEscaped(const std::string& text);

}  // namespace zpk
