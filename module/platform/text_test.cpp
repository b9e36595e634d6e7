#include "platform/text.h"

#include <gtest/gtest.h>

namespace zaro {
namespace {

TEST(TextHelpers, ReplacingTrimmingAndCuttingKeepWhatTheyShould) {
  // ReplaceAll does not rescan what it inserted.
  EXPECT_EQ(ReplaceAll(u"a b  c", u" ", u"%20"), u"a%20b%20%20c");
  EXPECT_EQ(ReplaceAll(u"aaa", u"a", u"aa"), u"aaaaaa");
  EXPECT_EQ(ReplaceAll(u"abc", u"", u"x"), u"abc");
  EXPECT_EQ(ReplaceAll(u"\r\n\r\n", u"\r\n", u"\n"), u"\n\n");
  // Trimmed takes blanks and line breaks from both ends.
  EXPECT_EQ(Trimmed(u"\n\t desktop mobileDevice \r\n"), u"desktop mobileDevice");
  EXPECT_EQ(Trimmed(u" \t\n "), u"");
  EXPECT_EQ(Trimmed(u"中文"), u"中文");
  // CutToLimit never splits a surrogate pair.
  EXPECT_EQ(CutToLimit(u"abcdef", 4), u"abcd");
  EXPECT_EQ(CutToLimit(u"ab", 4), u"ab");
  const std::u16string pair = u"a\U0001F600b";  // a, two units, b
  EXPECT_EQ(CutToLimit(pair, 2), u"a");
  EXPECT_EQ(CutToLimit(pair, 3), u"a\U0001F600");
}

TEST(TextHelpers, CaseFoldingTouchesAsciiLettersOnlyAndUtf8RoundTrips) {
  EXPECT_TRUE(StartsWithNoCase(u"FILE:///x", u"file:///"));
  EXPECT_TRUE(StartsWithNoCase(u"file:///x", u"FILE:"));
  EXPECT_FALSE(StartsWithNoCase(u"fil", u"file"));
  EXPECT_EQ(LowerAscii(u"Out.ZARO 图标"), u"out.zaro 图标");
  const std::u16string text = u"a\u00e9\u4e2d\U0001F600";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(u"\u4e2d"), "\xe4\xb8\xad");
  EXPECT_EQ(FromUtf8("\xff" "a"), u"\uFFFDa");
  EXPECT_EQ(LeadingNumber(u"12abc"), 12);
  EXPECT_EQ(LeadingNumber(u"x1"), 0);
}

}  // namespace
}  // namespace zaro
