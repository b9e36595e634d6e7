#include "platform/command_line.h"

namespace zaro::platform {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view line) {
  std::vector<std::u16string> tokens;
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size()) return tokens;

  // The program: quotes group, nothing escapes.
  std::u16string program;
  bool quoted = false;
  for (; i < line.size(); ++i) {
    const char16_t c = line[i];
    if (c == u'"') {
      quoted = !quoted;
    } else if (IsBlank(c) && !quoted) {
      break;
    } else {
      program += c;
    }
  }
  tokens.push_back(std::move(program));

  while (true) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) break;
    std::u16string token;
    quoted = false;
    while (i < line.size()) {
      size_t backslashes = 0;
      while (i < line.size() && line[i] == u'\\') {
        ++backslashes;
        ++i;
      }
      if (i < line.size() && line[i] == u'"') {
        token.append(backslashes / 2, u'\\');
        if (backslashes % 2 == 1) {
          token += u'"';
          ++i;
        } else if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          token += u'"';  // "" inside quotes
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
        continue;
      }
      token.append(backslashes, u'\\');
      if (i == line.size()) break;
      if (IsBlank(line[i]) && !quoted) break;
      token += line[i++];
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

}  // namespace zaro::platform
