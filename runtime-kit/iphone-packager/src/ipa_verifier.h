#pragma once
// -verify: checks an iPhone application archive: every file of the application folder
// against CodeResources (none missing, none unlisted), the detached signature over
// CodeResources, and that the embedded provisioning profile lists the signer.
#include <string>

#include "tool_result.h"

namespace mpk {

inline constexpr int kExitVerifyFailed = 1;

// 0 with a short report when everything holds; 1 with the reason when something does not;
// 2 when there is no such file; 5 when it is not an iPhone application archive.
zpk::Outcome VerifyIpa(const std::string& path);

}  // namespace mpk
