#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace zaro::platform {
namespace {

using Tokens = std::vector<std::u16string>;

TEST(SplitCommandLine, QuotedPathsWithSpacesStayWhole) {
  EXPECT_EQ(SplitCommandLine(u"\"C:/Host/ZSK2.0/bin/zrl.exe\" \"C:/work/My Movie-app.xml\" -profile mobileDevice"),
            (Tokens{u"C:/Host/ZSK2.0/bin/zrl.exe", u"C:/work/My Movie-app.xml", u"-profile", u"mobileDevice"}));
  EXPECT_EQ(SplitCommandLine(u"\"C:\\Program Files\\jre\\bin\\java.exe\" -jar \"C:\\My Kit\\lib\\ZPK.jar\" -package"),
            (Tokens{u"C:\\Program Files\\jre\\bin\\java.exe", u"-jar", u"C:\\My Kit\\lib\\ZPK.jar", u"-package"}));
  // Quotes may open in the middle of a token.
  EXPECT_EQ(SplitCommandLine(u"tool -C \"a b\"/c"), (Tokens{u"tool", u"-C", u"a b/c"}));
}

TEST(SplitCommandLine, BackslashesEscapeOnlyAFollowingQuote) {
  EXPECT_EQ(SplitCommandLine(u"tool a\\\"b \"c \\\"d\\\" e\""), (Tokens{u"tool", u"a\"b", u"c \"d\" e"}));
  // 2n backslashes before a quote: n backslashes, and the quote closes.
  EXPECT_EQ(SplitCommandLine(u"tool \"C:\\dir\\\\\" next"), (Tokens{u"tool", u"C:\\dir\\", u"next"}));
  // 2n+1: n backslashes and a literal quote.
  EXPECT_EQ(SplitCommandLine(u"tool \\\\\\\"x"), (Tokens{u"tool", u"\\\"x"}));
  // Not before a quote: kept as written, trailing ones included.
  EXPECT_EQ(SplitCommandLine(u"tool C:\\a\\\\b\\ \\\\server\\share"),
            (Tokens{u"tool", u"C:\\a\\\\b\\", u"\\\\server\\share"}));
  EXPECT_EQ(SplitCommandLine(u"tool \"a\"\"b\""), (Tokens{u"tool", u"a\"b"}));
}

TEST(SplitCommandLine, TheProgramTokenHasNoEscapes) {
  EXPECT_EQ(SplitCommandLine(u"\"C:\\a b\\\"x y"), (Tokens{u"C:\\a b\\x", u"y"}));
  EXPECT_EQ(SplitCommandLine(u"C:\\tools\\run.exe"), (Tokens{u"C:\\tools\\run.exe"}));
}

TEST(SplitCommandLine, BlanksSeparateAndEmptyQuotesAreTokens) {
  EXPECT_EQ(SplitCommandLine(u"  tool\t-certificate  -cn  x  "), (Tokens{u"tool", u"-certificate", u"-cn", u"x"}));
  EXPECT_EQ(SplitCommandLine(u"tool \"\" end"), (Tokens{u"tool", u"", u"end"}));
  EXPECT_TRUE(SplitCommandLine(u"").empty());
  EXPECT_TRUE(SplitCommandLine(u" \t ").empty());
}

}  // namespace
}  // namespace zaro::platform
