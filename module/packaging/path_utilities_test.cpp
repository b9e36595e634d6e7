#include "packaging/path_utilities.h"

#include <gtest/gtest.h>

namespace zaro {
namespace {

// The common forms are checked where they are used (command paths, pages, package command); these are the odd ones.
TEST(PathUtilities, UrlsPathPartsAndForms) {
  EXPECT_EQ(UrlToFilePath(u"file:///C|/My%20Movies/a%41.qmv"), u"C:\\My Movies\\a41.qmv");
  EXPECT_EQ(UrlToFilePath(u"file://localhost/D:/x/y.qmv"), u"D:\\x\\y.qmv");
  EXPECT_EQ(UrlToFilePath(u"FILE:///C:/a"), u"C:\\a");
  EXPECT_EQ(UrlToFilePath(u"file:C:/a"), u"C:\\a");
  EXPECT_EQ(UrlToFilePath(u"file:/C:/a"), u"file:\\C:\\a");
  EXPECT_EQ(UrlToFilePath(u"http://host/a.qmv"), u"host\\a.qmv");
  EXPECT_EQ(UrlToFilePath(u""), u"");
  EXPECT_EQ(UrlToFilePath(u"a%2"), u"a2") << "a cut escape keeps its characters";

  EXPECT_EQ(GetDirectoryPart(u"movie.qmv"), u"movie.qmv");
  EXPECT_EQ(GetBaseName(u"C:\\a.b\\movie"), u"C:\\a.b\\movie");
  EXPECT_EQ(GetBaseName(u"C:\\dir\\.qmv"), u"C:\\dir\\.qmv");
  EXPECT_EQ(GetBaseName(u"movie.qmv"), u"movie.qmv");
  EXPECT_EQ(GetBaseName(u"C:\\dir\\my.movie.qmv"), u"my.movie");

  EXPECT_EQ(BlanksEscaped(u"icons/app 16 x.png"), u"icons/app%2016%20x.png");
  EXPECT_EQ(BlanksUnescaped(BlanksEscaped(u" a  b ")), u" a  b ");
  EXPECT_EQ(BlanksUnescaped(u"100%"), u"100%") << "a lone percent stays";

  EXPECT_EQ(RelativeToFolder(u"\\m\\icons\\a.png", u"\\m\\"), u"icons\\a.png");
  EXPECT_EQ(RelativeToFolder(u"\\x\\a.png", u"\\m\\"), u"\\x\\a.png");
  EXPECT_EQ(RelativeToFolder(u"\\x\\a.png", u""), u"\\x\\a.png");
  EXPECT_EQ(RelativeToFolder(u"\\m\\", u"\\m\\"), u"");
}

}  // namespace
}  // namespace zaro
