#pragma once
// The native installer's registration of the application's file types with the desktop,
// the way Linux applications register theirs, under the install prefix:
//   PREFIX/share/mime/packages/ID.xml                   shared-mime-info package
//   PREFIX/share/applications/ID.desktop                desktop entry, MimeType names the types
//   PREFIX/share/icons/hicolor/NxN/mimetypes/TYPE.png   each type's icons by size
// plus a launcher in the installation's record folder that the desktop entry runs.
#include <string>

#include "descriptor_check.h"

namespace zpk {

// The shell step the installer runs once the package is unpacked. It uses the stub's
// variables and functions: $prefix, $target (the installation folder), $record_dir, $work
// (a scratch folder), record_file and the $created folder list. Every file it writes is
// recorded prefix-relative and every folder it makes joins $created, so uninstalling
// removes exactly those (and refreshes the desktop's databases). A file that already
// exists (another application's) is left as it is and not recorded. Empty when the
// descriptor has no file types.
std::string DesktopRegistrationStep(const DescriptorInfo& info);

// The name of a content type's icon in an icon theme: "application/x-doc" ->
// "application-x-doc".
std::string MimeIconName(const std::string& contentType);

// The shared-mime-info package and the desktop entry (without its Exec line, which names
// the installed launcher), as the step writes them.
std::string MimePackage(const DescriptorInfo& info);
std::string DesktopEntry(const DescriptorInfo& info);

}  // namespace zpk
