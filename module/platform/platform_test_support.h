#pragma once
// What the platform tests share: reading a whole file, and environment variables set for one test only.
#include <stdlib.h>

#include <filesystem>
#include <initializer_list>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace zaro::testing {

// The file's bytes; "" when it cannot be read.
inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// Sets the variables (one without a value is removed) and puts the old values back at the end.
class ScopedEnvironment {
 public:
  using Value = std::pair<std::string, std::optional<std::string>>;
  explicit ScopedEnvironment(std::initializer_list<Value> values) {
    for (const auto& [name, value] : values) {
      const char* old = ::getenv(name.c_str());
      saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
      Put(name, value);
    }
  }
  ~ScopedEnvironment() {
    for (auto entry = saved_.rbegin(); entry != saved_.rend(); ++entry) Put(entry->first, entry->second);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  static void Put(const std::string& name, const std::optional<std::string>& value) {
    if (value) ::setenv(name.c_str(), value->c_str(), 1);
    else ::unsetenv(name.c_str());
  }

 private:
  std::vector<Value> saved_;
};

}  // namespace zaro::testing
