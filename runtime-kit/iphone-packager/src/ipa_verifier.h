#pragma once
// -verify: checks an iPhone application archive: its structure (every entry a regular file
// or a folder without data inside the one Payload/NAME.app/, no nested application folder,
// no link, no execute bit on the files the packager writes), every file and folder against
// CodeResources (none missing, none unlisted, every digest), the detached signature over
// CodeResources, and that the embedded provisioning profile lists the signer.
#include <string>

#include "tool_result.h"

namespace mpk {

inline constexpr int kExitVerifyFailed = 1;

// 0 with a short report when everything holds; 1 with the reason when something does not;
// 2 when there is no such file; 5 when it is no zip archive at all.
zpk::Outcome VerifyIpa(const std::string& path);

}  // namespace mpk
