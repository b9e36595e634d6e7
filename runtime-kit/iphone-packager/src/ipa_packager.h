#pragma once
// -package: checks the descriptor, the files, the keystore and the provisioning profile,
// then writes the iPhone application archive atomically. Nothing is written when a check
// fails, and an earlier archive at the output path survives a failed run.
#include "ipa_arguments.h"
#include "tool_result.h"

namespace mpk {

// `now` (seconds since the epoch) is the time the profile's expiry is judged against.
zpk::Outcome RunIpaPackage(const IpaPackageArgs& args, long long now);

// The SHA-256 digest of a file's content, read in pieces; false with a reason on failure.
bool DigestFile(const std::string& path, std::string& digest, std::string& error);

}  // namespace mpk
