#include "platform/command_line.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace zaro::platform {
namespace {

using Tokens = std::vector<std::u16string>;

TEST(SplitCommandLine, SplitsAsTheStartedProgramWouldReadItsArguments) {
  const std::pair<std::u16string, Tokens> cases[] = {
      // Quoted paths with spaces stay whole.
      {u"\"C:/Host/ZSK2.0/bin/zrl.exe\" \"C:/work/My Movie-app.xml\" -profile mobileDevice",
       {u"C:/Host/ZSK2.0/bin/zrl.exe", u"C:/work/My Movie-app.xml", u"-profile", u"mobileDevice"}},
      {u"\"C:\\Program Files\\jre\\bin\\java.exe\" -jar \"C:\\My Kit\\lib\\ZPK.jar\" -package",
       {u"C:\\Program Files\\jre\\bin\\java.exe", u"-jar", u"C:\\My Kit\\lib\\ZPK.jar", u"-package"}},
      {u"tool -C \"a b\"/c", {u"tool", u"-C", u"a b/c"}},  // a quote opening inside a token
      // Backslashes escape only a following quote.
      {u"tool a\\\"b \"c \\\"d\\\" e\"", {u"tool", u"a\"b", u"c \"d\" e"}},
      {u"tool \"C:\\dir\\\\\" next", {u"tool", u"C:\\dir\\", u"next"}},  // 2n and a quote: n, and it closes
      {u"tool \\\\\\\"x", {u"tool", u"\\\"x"}},                          // 2n+1: n and a literal quote
      // Not before a quote: kept as written, trailing ones included.
      {u"tool C:\\a\\\\b\\ \\\\server\\share", {u"tool", u"C:\\a\\\\b\\", u"\\\\server\\share"}},
      {u"tool \"a\"\"b\"", {u"tool", u"a\"b"}},
      // The program token has no escapes.
      {u"\"C:\\a b\\\"x y", {u"C:\\a b\\x", u"y"}},
      {u"C:\\tools\\run.exe", {u"C:\\tools\\run.exe"}},
      // Blanks separate, and empty quotes are tokens.
      {u"  tool\t-certificate  -cn  x  ", {u"tool", u"-certificate", u"-cn", u"x"}},
      {u"tool \"\" end", {u"tool", u"", u"end"}},
      {u"", {}},
      {u" \t ", {}},
  };
  for (const auto& [line, tokens] : cases) EXPECT_EQ(SplitCommandLine(line), tokens) << ToUtf8(line);
}

}  // namespace
}  // namespace zaro::platform
