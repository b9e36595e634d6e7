#pragma once
// The native installer: a POSIX shell stub followed by the signed package. Run as
// `sh INSTALLER PREFIX`, it installs the application into PREFIX/<installFolder> (or
// PREFIX/<filename>) and leaves an uninstaller there that removes exactly what it wrote.
#include <string>
#include <vector>

#include "descriptor_check.h"
#include "input_files.h"
#include "tool_result.h"

namespace zpk {

class PackageWriter;

// The stub for an archive appended right after it: the same text for every package.
// Before it writes anything, the stub checks the package as -verify does (entry kinds,
// digests against the signed manifest, the signature against the certificate it carries)
// and prints the signer.
std::string BuildInstallerStub();

// Adds the entries the installer reads (META-INF/ZARO/desktop/...) to a package being
// written; `entries` are the author's, which the icons are copied from.
Outcome AddInstallerEntries(PackageWriter& writer, const DescriptorInfo& info, const std::vector<PackageEntry>& entries);

// Writes stub + the package file at `packagePath` to `output` (atomically, executable).
Outcome WriteInstaller(const std::string& packagePath, const std::string& output);

// Where the package starts inside an installer; 0 for a plain package.
bool FindPackageOffset(const std::string& path, unsigned long long& offset);

}  // namespace zpk
