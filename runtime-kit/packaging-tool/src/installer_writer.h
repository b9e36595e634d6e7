#pragma once
// The native installer: a POSIX shell stub followed by the signed package. Run as
// `sh INSTALLER PREFIX`, it installs the application into PREFIX/<installFolder> (or
// PREFIX/<filename>) and leaves an uninstaller there that removes exactly what it wrote.
#include <string>

#include "descriptor_check.h"
#include "tool_result.h"

namespace zpk {

// The stub for an archive appended right after it. Before it writes anything, the stub
// checks the package as -verify does (entry kinds, digests against the signed manifest,
// the signature against the certificate it carries) and prints the signer. `desktopStep`
// runs once the files are in place (the desktop registration of the file types).
std::string BuildInstallerStub(const std::string& installFolder, const std::string& applicationId,
                               const std::string& desktopStep = {});

// Writes stub + the package file at `packagePath` to `output` (atomically, executable).
Outcome WriteInstaller(const std::string& packagePath, const DescriptorInfo& info, const std::string& output);

// Where the package starts inside an installer; 0 for a plain package.
bool FindPackageOffset(const std::string& path, unsigned long long& offset);

}  // namespace zpk
