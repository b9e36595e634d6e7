#pragma once
// Further time-stamp authorities a kit may list in lib/tsa-fallback.txt, beside the tool:
// one http or https URL a line, tried in that order once the given authority has failed.
#include <string>
#include <vector>

namespace zpk {

inline constexpr size_t kMaxFallbackAuthorities = 16;

// The fallback file of the kit the running tool belongs to (empty when the tool cannot
// tell where it is).
std::string FallbackFilePath();

struct FallbackList {
  std::vector<std::string> authorities;  // in the file's order, without repeats
  std::vector<std::string> skipped;      // why lines were left out ("line 3: ...")
};

// Reads `path`; a missing file is an empty list. Blank lines and lines starting with '#'
// are ignored; spaces around a URL are dropped; a line that is not an http or https URL,
// one equal to `primary` or an earlier line, and lines past kMaxFallbackAuthorities are
// skipped with their reason.
FallbackList ReadFallbackAuthorities(const std::string& path, const std::string& primary);

}  // namespace zpk
