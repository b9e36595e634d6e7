#include <gtest/gtest.h>

#include <tuple>

#include "arguments.h"
#include "input_files.h"

namespace zpk {
namespace {

TEST(Arguments, PackageCommandOfTheModuleWithWindowsSeparators) {
  Command command;
  Outcome parsed = ParseCommandLine(
      {"-package", "-storetype", "PKCS12", "-keystore", "C:\\certs\\me.p12", "-storepass", "pa\"ss", "-tsa", "none",
       "-target", "native", "C:\\out\\Movie.exe", "C:\\movie\\Movie-app.xml", "-C", "C:\\movie\\", "Movie.qmv",
       "icons\\a.png", "-C", "D:\\shared\\", "assets"},
      command);
  ASSERT_TRUE(parsed.ok()) << parsed.text;
  const PackageArgs& p = command.package;
  EXPECT_EQ(command.mode, Mode::Package);
  EXPECT_TRUE(p.native);
  EXPECT_EQ(std::tie(p.signing.keystore, p.signing.storePass, p.signing.tsa, p.output, p.descriptor),
            std::make_tuple("C:/certs/me.p12", "pa\"ss", "none", "C:/out/Movie.exe", "C:/movie/Movie-app.xml"));
  ASSERT_EQ(p.files.size(), 2u);
  EXPECT_EQ(std::tie(p.files[0].folder, p.files[0].names, p.files[1].folder, p.files[1].names),
            std::make_tuple("C:/movie/", std::vector<std::string>{"Movie.qmv", "icons/a.png"}, "D:/shared/",
                            std::vector<std::string>{"assets"}));
}

TEST(Arguments, PrepareNeedsNoKeystoreAndSignTakesTwoFiles) {
  Command prepare;
  ASSERT_TRUE(ParseCommandLine({"-prepare", "o.zaroi", "d.xml", "-C", "m", "Movie.qmv"}, prepare).ok());
  EXPECT_EQ(prepare.mode, Mode::Prepare);
  EXPECT_TRUE(prepare.package.prepare);
  Command sign;
  ASSERT_TRUE(ParseCommandLine({"-sign", "-storetype", "pkcs12", "-keystore", "k.p12", "-storepass", "p", "in.zaroi",
                                "out.zaro"},
                               sign)
                  .ok());
  EXPECT_EQ(sign.sign.intermediate, "in.zaroi");
  EXPECT_EQ(sign.sign.signing.tsa, kDefaultTsaUrl);
}

TEST(Arguments, UsageErrorsExitWithCode2AndTheUsageText) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"-frobnicate"},
           {"-package", "-keystore", "k.p12", "-storepass", "p", "-tsa", "none", "out.zaro"},
           {"-package", "-storetype", "JKS", "-keystore", "k", "-storepass", "p", "o", "d", "f"},
           {"-prepare", "o.zaroi", "d.xml", "-C", "m"},
           {"-prepare", "o.zaroi", "d.xml", "-C"},
           {"-certificate", "-cn", "A", "4096-RSA", "f.p12", "pw"},
           {"-certificate", "-ou", "A", "2048-RSA", "f.p12", "pw"},
           {"-verify"}}) {
    Command command;
    Outcome parsed = ParseCommandLine(args, command);
    EXPECT_EQ(parsed.code, 2);
    EXPECT_NE(parsed.text.find("usage:"), std::string::npos);
  }
}

TEST(Arguments, MissingFileTextKeepsTheWholeName) {
  const Outcome missing = NoSuchFile("icons/a.png");
  EXPECT_EQ(missing.code, 2);
  const size_t p = missing.text.find("no such file "), q = missing.text.find("\nusage:");
  ASSERT_EQ(p, 0u);
  ASSERT_NE(q, std::string::npos);
  // A reader takes the name from p + 13 with length q - p - 14.
  EXPECT_EQ(missing.text.substr(p + 13, q - p - 14), "icons/a.png");
}

TEST(Arguments, EntryNamesNeverLeaveTheirFolder) {
  std::string name;
  ASSERT_TRUE(NormalizeEntryName("./assets//sub/", name));
  EXPECT_EQ(name, "assets/sub");
  for (const char* refused : {"../secret.txt", "a/../../b", "/etc/passwd", "C:/Windows/x", "..", ".", "a/\x01"})
    EXPECT_FALSE(NormalizeEntryName(refused, name)) << refused;
  EXPECT_FALSE(NormalizeEntryName(std::string("bad\xff\xfename"), name));
  EXPECT_TRUE(NormalizeEntryName("图标/a.png", name));
}

}  // namespace
}  // namespace zpk
