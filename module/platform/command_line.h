#pragma once
// Splitting a Windows command line into its program and arguments.
#include <string>
#include <string_view>
#include <vector>

namespace zaro::platform {

// Splits `commandLine` the way a Windows program's start-up code does:
// - blanks and tabs separate tokens outside double quotes;
// - the first token (the program) ends at the first blank outside quotes, and each double
//   quote in it only switches quoting on or off (backslashes are plain characters there);
// - in later tokens, 2n backslashes before a quote give n backslashes and the quote switches
//   quoting; 2n+1 backslashes before a quote give n backslashes and a literal quote;
//   backslashes before anything else stay as they are; inside quotes, "" gives one quote.
// A command line of blanks only gives no tokens.
std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

}  // namespace zaro::platform
