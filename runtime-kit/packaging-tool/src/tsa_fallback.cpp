#include "tsa_fallback.h"

#include <algorithm>
#include <filesystem>

#include "atomic_output.h"
#include "timestamp_client.h"

namespace zpk {

namespace {

std::string Trimmed(const std::string& line) {
  const char* blanks = " \t\r\f\v";
  size_t first = line.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

// Why `url` is not taken, or empty when it is.
std::string Refusal(const std::string& url, const std::string& primary, const std::vector<std::string>& taken) {
  Url parsed;
  if (!ParseUrl(url, parsed)) return "not an http or https URL";
  if (url == primary || std::find(taken.begin(), taken.end(), url) != taken.end()) return "listed already";
  if (taken.size() >= kMaxFallbackAuthorities) return "more than " + std::to_string(kMaxFallbackAuthorities) + " authorities";
  return {};
}

}  // namespace

std::string FallbackFilePath() {
  std::error_code error;
  std::filesystem::path tool = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || tool.empty()) return {};
  return (tool.parent_path() / "tsa-fallback.txt").string();
}

FallbackList ReadFallbackAuthorities(const std::string& path, const std::string& primary) {
  FallbackList list;
  std::string text, error;
  std::error_code missing;
  if (path.empty() || !std::filesystem::exists(path, missing)) return list;
  if (!ReadWholeFile(path, text, error)) {
    list.skipped.push_back(path + " cannot be read (" + error + ")");
    return list;
  }
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trimmed(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    std::string why = Refusal(line, primary, list.authorities);
    if (why.empty()) {
      list.authorities.push_back(line);
    } else {
      list.skipped.push_back("line " + std::to_string(number) + ": " + why);
    }
  }
  return list;
}

}  // namespace zpk
