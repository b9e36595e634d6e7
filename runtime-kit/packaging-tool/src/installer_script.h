#pragma once
// The shell text of the native installer: the stub that checks and installs the package
// appended to it, and the uninstaller it leaves beside the installed files. The text is
// the same for every application; what is particular to one (its installation folder, id
// and desktop files) is read from the signed package once it has been verified.
#include <cstddef>
#include <string>

namespace zpk {

// The installer's shell script for an archive that starts `payloadOffset` bytes into the file.
std::string InstallerScript(std::size_t payloadOffset);

// The line that carries the payload offset; the verifier looks for it.
inline constexpr const char* kPayloadOffsetMarker = "payload_offset=";

}  // namespace zpk
