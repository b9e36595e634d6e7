#pragma once
// The shell text of the native installer: the stub that checks and installs the package
// appended to it, and the uninstaller it leaves beside the installed files.
#include <cstddef>
#include <string>

namespace zpk {

// The installer's shell script for an archive that starts `payloadOffset` bytes into the
// file. `installFolder` is the folder under the prefix ("/" separators), `applicationId`
// the descriptor's id, which marks the installation record as this application's.
// `desktopStep` runs once the package's files are in place; it lists what it writes with
// the script's record_file (prefix-relative paths) and adds the folders it makes to
// $created, so that uninstalling removes exactly those.
std::string InstallerScript(std::size_t payloadOffset, const std::string& installFolder,
                            const std::string& applicationId, const std::string& desktopStep = {});

// The line that carries the payload offset; the verifier looks for it.
inline constexpr const char* kPayloadOffsetMarker = "payload_offset=";

}  // namespace zpk
