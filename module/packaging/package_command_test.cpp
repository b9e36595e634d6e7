#include "packaging/package_command.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "host/script_bridge.h"
#include "packaging/packaging_test_support.h"
#include "platform/command_line.h"
#include "settings/messages.h"
#include "testing/fake_host.h"

namespace zaro {
namespace {

using namespace packaging_testing;

constexpr char16_t kUnusableDestination[] = u"创建文件时出错。\n\n无法写入到目标目录。";

TEST(ChangeExtension, ReplacesOnlyTheFileNamesExtension) {
  EXPECT_EQ(ChangeExtension(u"C:\\out\\app", u".zaro"), u"C:\\out\\app.zaro");
  EXPECT_EQ(ChangeExtension(u"C:\\out\\game.zaro", u".ipa"), u"C:\\out\\game.ipa");
  EXPECT_EQ(ChangeExtension(u"C:/out/a.b.zaroi", u"exe"), u"C:/out/a.b.exe") << "a dot is put in front";
  // A dot in a folder name is no extension: the package stays in the chosen folder.
  EXPECT_EQ(ChangeExtension(u"C:\\dir.old\\out", u".zaro"), u"C:\\dir.old\\out.zaro");
  EXPECT_EQ(ChangeExtension(u"C:/dir.old/out", u".zaro"), u"C:/dir.old/out.zaro");
  EXPECT_EQ(ChangeExtension(u"", u".zaro"), u"");
  EXPECT_EQ(ChangeExtension(u"C:\\out\\app.zaro", u""), u"C:\\out\\app.zaro");
}

TEST(DecodeSpaceEscapes, TurnsEscapedSpacesBackAndDropsOtherPercents) {
  EXPECT_EQ(DecodeSpaceEscapes(u"icons/app%2016.png"), u"icons/app 16.png");
  EXPECT_EQ(DecodeSpaceEscapes(u"a%41b%"), u"a41b");
  EXPECT_EQ(DecodeSpaceEscapes(u"%20%2"), u" 2");
}

TEST(QuoteArgument, TheToolReadsEveryValueBackExactly) {
  const std::u16string values[] = {u"plain",        u"pa\"ss\\",        u"C:\\my dir\\",  u"a\\\\\"b",
                                   u"",             u"\\\\server\\share\\", u"x\\y z",    u"\"\""};
  for (const std::u16string& value : values) {
    const std::u16string line = u"\"/bin/tool\" " + QuoteArgument(value) + u" next";
    const std::vector<std::u16string> tokens = platform::SplitCommandLine(line);
    ASSERT_EQ(tokens.size(), 3u) << ToUtf8(line);
    EXPECT_EQ(tokens[1], value) << ToUtf8(line);
    EXPECT_EQ(tokens[2], u"next");
  }
  EXPECT_EQ(QuoteArgument(u"C:\\a\\b"), u"\"C:\\a\\b\"") << "backslashes before other characters stay single";
  EXPECT_EQ(QuoteArgument(u"pa\"ss\\"), u"\"pa\\\"ss\\\\\"");
}

TEST_F(PackagingTest, UsableOutputPathNeedsTheFileOrItsFolder) {
  EXPECT_TRUE(IsUsableOutputPath(Folder() + u"Hello.qmv"));
  EXPECT_TRUE(IsUsableOutputPath(Folder() + u"new.zaro"));
  EXPECT_FALSE(IsUsableOutputPath(Folder() + u"Missing/new.zaro"));
  EXPECT_TRUE(IsUsableOutputPath(FromUtf8(movieFolder_.string()) + u"\\new.zaro")) << "backslash separator";
  EXPECT_FALSE(IsUsableOutputPath(u"no-such-file-here.zaro")) << "a bare name has no folder";
}

// The whole command line of each kind of package, from the settings each case sets on top
// of the fixture's (signed with the certificate, no time stamp, no destination). The
// output file is named inside the movie folder unless it starts with "/".
TEST_F(PackagingTest, CommandLines) {
  const std::string cert = (root_ / "cert.p12").string();
  const auto signing = [](const std::string& keystore, const std::string& password, const std::string& tsa) {
    return std::vector<std::string>{"-package", "-storetype", "PKCS12", "-keystore", keystore, "-storepass",
                                    password,   "-tsa",       tsa};
  };
  const std::vector<std::string> signedNoStamp = signing(cert, "secret", "none");
  std::vector<std::string> native = signedNoStamp;
  native.insert(native.end(), {"-target", "native"});
  const auto prepare = [] { WriteRegistryValue(u"DigitalSign", u"prepare"); };
  const auto named = [&](const std::string& name) {
    prepare();
    std::string descriptor = Descriptor("");
    WriteText(movieFolder_ / "Hello-app.xml", descriptor.replace(descriptor.find("<name>Demo</name>"), 17, name));
  };
  const auto iphone = [](const char16_t* option) {
    SetSetting(keys::kIpaOption, option);
    SetSetting(keys::kIpaCertPath, u"C:/certs/phone.p12");
    SetSetting(keys::kIpaCertPassword, u"phonepw");
    SetSetting(keys::kIpaProvision, u"C:/profiles/dev.mobileprovision");
  };
  const auto iphoneOptions = [](const std::string& target) {
    return std::vector<std::string>{"-package", "-target", target, "-provisioning-profile",
                                    "C:/profiles/dev.mobileprovision", "-storetype", "PKCS12", "-keystore",
                                    "C:/certs/phone.p12", "-storepass", "phonepw"};
  };
  const fs::path spaced = root_ / "my movies";
  std::string windowsForm = spaced.string() + "/";
  std::replace(windowsForm.begin(), windowsForm.end(), '/', '\\');
  fs::create_directories(root_ / "dir.old");
  const struct {
    const char* what;
    std::function<void()> set;
    PackageTarget target;
    std::vector<std::string> options;  // between the tool's jar and the output file
    std::string output;
    std::u16string message;
  } cases[] = {
      {"prepare mode: an unsigned intermediate", prepare, DesktopPackage, {"-prepare"}, "Demo.zaroi",
       u"已创建 ZAROI 文件。"},
      {"signed with a time stamp", [] { SetSetting(keys::kTimestamp, u"true"); }, DesktopPackage,
       signing(cert, "secret", "https://timestamp.corvane.example/tsa"), "Demo.zaro", u"已创建 ZARO 文件。"},
      {"the native installer, signed in prepare mode too", prepare, NativeInstaller, native, "Demo.exe",
       u"Windows 安装文件已创建。"},
      {"a bare destination lies in the movie folder", [] { SetSetting(keys::kZaroDestination, u"out"); },
       DesktopPackage, signedNoStamp, "out.zaro", u"已创建 ZARO 文件。"},
      {"a dot in the destination's folder is no extension",
       [&] { SetSetting(keys::kZaroDestination, FromUtf8((root_ / "dir.old" / "out").string())); }, DesktopPackage,
       signedNoStamp, (root_ / "dir.old" / "out.zaro").string(), u"已创建 ZARO 文件。"},
      {"a localised name names the file by its first text",
       [&] { named("<name>\n <text xml:lang=\"en\">Hello World</text><text xml:lang=\"fr\">Bonjour</text></name>"); },
       DesktopPackage, {"-prepare"}, "Hello World.zaroi", u"已创建 ZAROI 文件。"},
      {"an empty first text: the movie's name", [&] { named("<name><text xml:lang=\"en\"> </text></name>"); },
       DesktopPackage, {"-prepare"}, "Hello.zaroi", u"已创建 ZAROI 文件。"},
      {"quotes, spaces and trailing backslashes reach the tool intact",
       [&] {
         UseMovieFolder(FromUtf8(windowsForm), spaced);
         SetSetting(keys::kCertPassword, u"pa\"ss\\");
         SetSetting(keys::kCertPath, u"C:\\certs\\\"quoted\" -storepass evil\\");
       },
       DesktopPackage, signing("C:\\certs\\\"quoted\" -storepass evil\\", "pa\"ss\\", "none"), "Demo.zaro",
       u"已创建 ZARO 文件。"},
      {"the iPhone packager takes no time-stamp option",
       [&] {
         iphone(u"adhoc");
         SetSetting(keys::kTimestamp, u"true");
         SetSetting(keys::kIpaDestination, FromUtf8((root_ / "game.zaro").string()));
       },
       IphonePackage, iphoneOptions("ipa-ad-hoc"), (root_ / "game.ipa").string(), u"iPhone 文件已创建。"},
      {"an iPhone package for testing without a destination", [&] { iphone(u"Store"); }, IphonePackage,
       iphoneOptions("ipa-test"), "Demo.ipa", u"iPhone 文件已创建。"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    c.set();
    const std::string folder = FolderUtf8();
    std::vector<std::string> expected = {"-jar", ToUtf8(GetSetting(keys::kLaunchPath)) +
                                                     (c.target == IphonePackage ? "MPK/lib/mpk.jar" : "ZSK2.0/lib/ZPK.jar")};
    expected.insert(expected.end(), c.options.begin(), c.options.end());
    expected.insert(expected.end(), {c.output[0] == '/' ? c.output : folder + c.output, folder + "Hello-app.xml",
                                     "-C", folder, "Hello.qmv"});
    const size_t shown = Messages().size();
    EXPECT_EQ(Package(c.target, false), 1);
    EXPECT_EQ(ToolArgs(ToolRuns()), expected);
    ASSERT_EQ(Messages().size(), shown + 1);
    EXPECT_EQ(Messages().back().text, c.message);
    EXPECT_EQ(Messages().back().style, 64u);
  }
}

TEST_F(PackagingTest, PasswordsAreForgottenAfterTheRunUnlessRemembered) {
  EXPECT_EQ(Package(DesktopPackage, false), 1);
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"");
  SetSetting(keys::kCertPassword, u"secret");
  SetSetting(keys::kRememberPassword, u"true");
  EXPECT_EQ(Package(DesktopPackage, false), 1);
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"secret");

  SetSetting(keys::kIpaCertPath, u"C:/certs/phone.p12");
  SetSetting(keys::kIpaCertPassword, u"phonepw");
  SetSetting(keys::kIpaDestination, FromUtf8((root_ / "game.zaro").string()));
  EXPECT_EQ(Package(IphonePackage, false), 0);
  EXPECT_EQ(Messages().back().text, u"必须选择一个供给配置文件。");
  EXPECT_EQ(ToolRuns(), 2);
  EXPECT_EQ(GetSetting(keys::kIpaCertPassword), u"phonepw") << "an early return forgets nothing";
  SetSetting(keys::kIpaProvision, u"C:/profiles/dev.mobileprovision");
  EXPECT_EQ(Package(IphonePackage, false), 1);
  EXPECT_EQ(GetSetting(keys::kIpaCertPassword), u"");
}

TEST_F(PackagingTest, AnUnusableDestinationRunsNothing) {
  SetSetting(keys::kZaroDestination, FromUtf8((root_ / "Missing" / "out.zaro").string()));
  EXPECT_EQ(Package(DesktopPackage, false), 0);
  EXPECT_EQ(ToolRuns(), 0);
  EXPECT_EQ(Messages().back().text, kUnusableDestination);
  EXPECT_EQ(Messages().back().style, 48u);
}

// The arguments after the movie: each included item as "-C ROOT NAME", named inside the
// movie folder where it lies there, else by its full path ("." and ".." resolved), and
// items found only in the working folder get that folder as their root.
TEST_F(PackagingTest, IncludedItemsAreNamedRelativeToTheirFolder) {
  fs::create_directories(movieFolder_ / "assets");
  fs::create_directories(root_ / "shared dir");
  WriteText(movieFolder_ / "sub" / "data.txt", "x");
  WriteText(root_ / "outside" / "b.txt", "y");
  WriteText(root_ / "work" / "notes.txt", "n");
  WriteText(root_ / "work" / "nested" / "deep.txt", "d");
  const std::string movie = FolderUtf8(), outside = (root_ / "outside").string() + "/";
  const struct {
    std::vector<std::u16string> items;  // the included-item settings, in order
    std::vector<std::string> expected;
  } cases[] = {
      {{u"assets", u"", u"sub/data.txt", FromUtf8((root_ / "shared dir").string() + "/")},
       {"-C", movie, "assets", "-C", movie, "sub/data.txt", "-C", root_.string() + "/", "shared dir"}},
      {{u"./assets", u"sub/../sub//data.txt", u"../outside/b.txt",
        FromUtf8((root_ / "outside" / "." / ".." / "movie" / "sub").string())},
       {"-C", movie, "assets", "-C", movie, "sub/data.txt", "-C", outside, "b.txt", "-C", movie, "sub"}},
      {{u"notes.txt", u"nested/deep.txt"},
       {"-C", (root_ / "work").string() + "/", "notes.txt", "-C", (root_ / "work" / "nested").string() + "/",
        "deep.txt"}},
  };
  const fs::path previous = fs::current_path();
  fs::current_path(root_ / "work");
  int run = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(run);
    SetSetting(keys::kIncludedCount, FromUtf8(std::to_string(c.items.size())));
    for (size_t i = 0; i < c.items.size(); ++i) SetSetting(IncludedItemKey(static_cast<long>(i)), c.items[i]);
    SetSetting(IncludedItemKey(static_cast<long>(c.items.size())), u"beyond-the-count");
    SetSetting(keys::kCertPassword, u"secret");
    EXPECT_EQ(Package(DesktopPackage, false), 1);
    const std::vector<std::string> args = ToolArgs(++run);
    const int at = IndexOf(args, "Hello.qmv");
    EXPECT_GE(at, 0);
    if (at >= 0) {
      EXPECT_EQ(std::vector<std::string>(args.begin() + at + 1, args.end()), c.expected);
    }
    EXPECT_TRUE(missingIncludedFiles.empty());
  }
  fs::current_path(previous);
}

TEST_F(PackagingTest, TwelveMissingItemsListElevenThenAsk) {
  SetSetting(keys::kIncludedCount, u"12");
  std::u16string list;
  for (int i = 0; i < 12; ++i) {
    const std::u16string item = u"gone" + FromUtf8(std::to_string(i));
    SetSetting(IncludedItemKey(i), item);
    if (i < 11) list += item + u"\n";
  }
  ui_->QueueButton(kIdCancel);
  EXPECT_EQ(Package(DesktopPackage, false), 0);
  EXPECT_EQ(ToolRuns(), 0);
  EXPECT_EQ(missingIncludedFiles.size(), 12u);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text,
            u"以下文件和/或文件夹不存在。\n" + list + u"...\n将不包括缺少的文件。是否要继续？");
  EXPECT_EQ(Messages()[0].style, 49u);
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"secret") << "an early return forgets nothing";

  ui_->QueueButton(kIdOk);
  EXPECT_EQ(Package(DesktopPackage, false), 1);
  EXPECT_EQ(ToolArgs().back(), "Hello.qmv") << "the missing items are left out";
}

TEST_F(PackagingTest, IconsAreCheckedAndHandedOverInOrderOnce) {
  const std::string icons =
      "  <icon><image16x16>icons/app%2016.png</image16x16><image128x128> icons/big.png </image128x128></icon>\n"
      "  <fileTypes><fileType><name>doc</name><extension>dc</extension>"
      "<icon><image16x16>icons/doc.png</image16x16><image128x128>icons/big.png</image128x128></icon>"
      "</fileType></fileTypes>\n";
  UseMovieFolder(Folder(), movieFolder_, icons);
  WriteText(movieFolder_ / "icons" / "app 16.png", "png");
  WriteText(movieFolder_ / "icons" / "big.png", "png");
  EXPECT_EQ(Package(DesktopPackage, false), 0);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, u"缺少图标文件。\nicons/doc.png");
  EXPECT_EQ(ToolRuns(), 0);

  WriteText(movieFolder_ / "icons" / "doc.png", "png");
  EXPECT_EQ(Package(DesktopPackage, false), 1);
  const std::vector<std::string> args = ToolArgs();
  const int movie = IndexOf(args, "Hello.qmv");
  ASSERT_GE(movie, 0);
  EXPECT_EQ(std::vector<std::string>(args.begin() + movie + 1, args.end()),
            (std::vector<std::string>{"icons/big.png", "icons/app 16.png", "icons/doc.png"}));
}

TEST(IphonePackagerOptions, SegmentsMeetWithTheirOwnSpaces) {
  EXPECT_EQ(IphonePackagerOptions(u"adhoc", u"C:/p/dev.mobileprovision", u"C:/k/phone.p12", u"pw"),
            u" -package -target ipa-ad-hoc -provisioning-profile \"C:/p/dev.mobileprovision\"  -storetype PKCS12"
            u" -keystore \"C:/k/phone.p12\" -storepass \"pw\" ");
  EXPECT_EQ(IphonePackagerOptions(u"Store", u"p", u"k", u"s").substr(0, 26), u" -package -target ipa-test");
  EXPECT_EQ(IphonePackagerOptions(u"store", u"p", u"k", u"s").substr(0, 31), u" -package -target ipa-app-store");
  EXPECT_EQ(IphonePackagerOptions(u"debug", u"p", u"k", u"s").substr(0, 27), u" -package -target ipa-debug");
  EXPECT_EQ(IphonePackagerOptions(u"", u"p", u"k", u"s").substr(0, 26), u" -package -target ipa-test");
}

TEST_F(PackagingTest, IphoneTimestampFailureRunsTheSameCommandAgain) {
  SetSetting(keys::kIpaProvision, u"C:/profiles/dev.mobileprovision");
  SetSetting(keys::kIpaCertPath, u"C:/certs/phone.p12");
  SetSetting(keys::kIpaCertPassword, u"phonepw");
  SetSetting(keys::kIpaRememberPassword, u"true");
  ToolAnswers(10, "the time-stamp server cannot be reached", 1);
  ui_->QueueForm("CTimestampRetryDlg", {FormStep{{}, "DisableTimestamp", 0, {}}});
  EXPECT_EQ(Package(IphonePackage, false), 1);
  ASSERT_EQ(ToolRuns(), 2);
  EXPECT_EQ(ToolArgs(2), ToolArgs(1));
  EXPECT_EQ(Messages().back().text, u"iPhone 文件已创建。");
  EXPECT_EQ(GetSetting(keys::kIpaCertPassword), u"phonepw") << "remembered";
}

TEST_F(PackagingTest, IphoneIconCheckComesBeforeTheProfileCheck) {
  UseMovieFolder(Folder(), movieFolder_, "<icon><image57x57>icons/57.png</image57x57></icon>");
  EXPECT_EQ(Package(IphonePackage, false), 0);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, u"缺少图标文件。\nicons/57.png");
}

TEST_F(PackagingTest, EarlyStopsBeforeTheTool) {
  EXPECT_EQ(Package(DesktopPackage, true), 0) << "no host: the export fails";
  EXPECT_EQ(Messages().back().text, u"导出 QMV 文件时出错。请在编译器错误面板中查看错误。");
  EXPECT_EQ(Messages().back().style, 64u);

  WriteText(movieFolder_ / "Hello-app.xml",
            "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>x</id></application>");
  EXPECT_EQ(Package(DesktopPackage, false), 0);
  EXPECT_EQ(Messages().back().text, u"缺少应用程序名称。");

  fs::remove(movieFolder_ / "Hello.qmv");
  EXPECT_EQ(Package(DesktopPackage, false), 0);
  EXPECT_EQ(Messages().back().text, LoadMessage(8011));
  EXPECT_EQ(ToolRuns(), 0);
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"secret");
}

TEST_F(PackagingTest, DebugExportPermitsDebuggingOnlyForTheExport) {
  testing::FakeHost host;
  host.Install();
  host.answers[u"tx.getDocumentDOM().getDebugForQmv();"] = u"false";
  SetSetting(keys::kIpaOption, u"debug");
  EXPECT_EQ(Package(DesktopPackage, true), 0) << "the host exports nothing";
  ASSERT_EQ(host.scripts.size(), 4u);
  EXPECT_NE(host.scripts[1].find(u"setDebugForQmv(true"), std::u16string::npos);
  EXPECT_NE(host.scripts[2].find(u"exportQMV("), std::u16string::npos);
  EXPECT_NE(host.scripts[3].find(u"setDebugForQmv(false"), std::u16string::npos)
      << "switched off again although the export failed";
  EXPECT_EQ(Messages().back().text, LoadMessage(8105));

  host.scripts.clear();
  host.answers[u"tx.getDocumentDOM().getDebugForQmv();"] = u"true";
  Package(DesktopPackage, true);
  ASSERT_EQ(host.scripts.size(), 2u) << "a movie that permits debugging is left as it is";
}

TEST_F(PackagingTest, CancelKillsTheToolAndReportsNothing) {
  WriteText(toolDir_ / "sleep", "30");
  ToolAnswers(3, "should never be reported");
  ui_->QueueForm("CProgressDlg", {FormStep{{}, "", 500, {}}, FormStep{{}, "Cancel", 0, {}}});
  EXPECT_EQ(Package(DesktopPackage, false), 1);
  EXPECT_EQ(ToolRuns(), 1);
  EXPECT_TRUE(Messages().empty()) << "a cancelled run shows no box";
  const pid_t tool = std::stoi(ReadText(toolDir_ / "pid"));
  EXPECT_EQ(::kill(tool, 0), -1);
  EXPECT_EQ(errno, ESRCH) << "the tool is gone once Package returns";
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"");
}

}  // namespace
}  // namespace zaro
