#pragma once
// -verify: checks every entry against its digest, the signature over the digests, the
// signer's certificate and the time-stamp token, and reports what it checked.
#include <string>

#include "arguments.h"
#include "tool_result.h"

namespace zpk {

inline constexpr const char* kPackageMimetype = "application/vnd.corvane.zaro-package+zip";
inline constexpr const char* kIntermediateMimetype = "application/vnd.corvane.zaro-intermediate+zip";

// Exit code 0 (report in the text) when everything verifies, 1 when something does not,
// 2 for a missing file, 5 for a file that is not a package.
Outcome VerifyPackage(const VerifyArgs& args);

}  // namespace zpk
