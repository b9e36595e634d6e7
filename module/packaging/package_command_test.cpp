#include "packaging/package_command.h"

#include <cerrno>
#include <csignal>

#include "host/script_bridge.h"
#include "packaging/packaging_test_support.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "settings/messages.h"
#include "testing/fake_host.h"

namespace zaro::packaging_testing {
namespace {

TEST(PackagingText, ExtensionsSpaceEscapesAndQuoting) {
  EXPECT_EQ(ChangeExtension(u"C:/out/a.b.zaroi", u"exe"), u"C:/out/a.b.exe") << "a dot is put in front";
  EXPECT_EQ(ChangeExtension(u"C:\\dir.old\\out", u".zaro"), u"C:\\dir.old\\out.zaro") << "a dot in a folder";
  EXPECT_EQ(std::tuple(ChangeExtension(u"", u".zaro"), ChangeExtension(u"C:\\out\\app.zaro", u"")),
            std::tuple(u"", u"C:\\out\\app.zaro"));

  EXPECT_EQ(std::tuple(DecodeSpaceEscapes(u"a%41b%"), DecodeSpaceEscapes(u"%20%2")), std::tuple(u"a41b", u" 2"));

  // The tool reads every quoted value back exactly.
  for (const std::u16string value : {u"plain", u"pa\"ss\\", u"C:\\my dir\\", u"a\\\\\"b", u"", u"\\\\server\\share\\",
                                     u"x\\y z", u"\"\""}) {
    EXPECT_EQ(platform::SplitCommandLine(u"\"/bin/tool\" " + QuoteArgument(value) + u" next"),
              (std::vector<std::u16string>{u"/bin/tool", value, u"next"}));
  }

  EXPECT_EQ(IphonePackagerOptions(u"adhoc", u"C:/p/dev.mobileprovision", u"C:/k/phone.p12", u"pw"),
            u" -package -target ipa-ad-hoc -provisioning-profile \"C:/p/dev.mobileprovision\"  -storetype PKCS12"
            u" -keystore \"C:/k/phone.p12\" -storepass \"pw\" ");
  EXPECT_EQ(IphonePackagerOptions(u"store", u"p", u"k", u"s").substr(0, 31), u" -package -target ipa-app-store");
  EXPECT_EQ(IphonePackagerOptions(u"debug", u"p", u"k", u"s").substr(0, 27), u" -package -target ipa-debug");
  EXPECT_EQ(IphonePackagerOptions(u"", u"p", u"k", u"s").substr(0, 26), u" -package -target ipa-test");
}

void UseIphone(const char16_t* deployment = u"adhoc", bool withProfile = true) {
  SetSetting(keys::kIpaOption, deployment);
  SetSetting(keys::kIpaCertPath, u"C:/certs/phone.p12");
  SetSetting(keys::kIpaCertPassword, u"phonepw");
  SetSetting(keys::kIpaProvision, withProfile ? u"C:/profiles/dev.mobileprovision" : u"");
}

// Each package from a case's settings on top of the fixture's (signed with the certificate, no time stamp, no
// destination) and the one box shown after it. A made package gets the tool's whole command line, the output named in
// the movie folder unless it starts with "/"; a stop before the tool runs nothing and keeps the password.
TEST_F(PackagingTest, PackageRunsTheToolOrStopsBeforeIt) {
  // A destination is usable when the file or its folder exists (a missing folder and a bare name are cases below).
  EXPECT_TRUE(IsUsableOutputPath(Folder() + u"Hello.qmv"));
  EXPECT_TRUE(IsUsableOutputPath(FromUtf8(movieFolder_.string()) + u"\\new.zaro")) << "backslash separator";
  const auto signing = [](const std::string& keystore, const std::string& password) {
    return std::vector<std::string>{"-package", "-storetype", "PKCS12", "-keystore", keystore,
                                    "-storepass", password,   "-tsa",   "none"};
  };
  const auto iphone = [](const char* target) {
    return std::vector<std::string>{"-package",   "-target", target,     "-provisioning-profile",
                                    "C:/profiles/dev.mobileprovision", "-storetype", "PKCS12", "-keystore",
                                    "C:/certs/phone.p12", "-storepass", "phonepw"};
  };
  const std::vector<std::string> signedNoStamp = signing((root_ / "cert.p12").string(), "secret");
  const auto named = [&](const std::string& name) {
    WriteRegistryValue(u"DigitalSign", u"prepare");
    std::string descriptor = Descriptor("");
    WriteText(movieFolder_ / "Hello-app.xml", descriptor.replace(descriptor.find("<name>Demo</name>"), 17, name));
  };
  const auto icons = [this] {
    UseMovieFolder(Folder(), movieFolder_,
                   "<icon><image16x16>icons/app%2016.png</image16x16><image128x128> icons/big.png </image128x128>"
                   "</icon><fileTypes><fileType><name>doc</name><extension>dc</extension><icon><image16x16>"
                   "icons/doc.png</image16x16><image128x128>icons/big.png</image128x128></icon></fileType></fileTypes>");
    for (const char* icon : {"app 16.png", "big.png", "doc.png"}) WriteText(movieFolder_ / "icons" / icon, "png");
  };
  // Each included item as "-C ROOT NAME", named in the movie folder where it lies there, else by its full path ("."
  // and ".." resolved); items found only in the working folder get that folder as their root.
  const auto items = [](std::vector<std::u16string> values) {
    return [values] {
      SetSetting(keys::kIncludedCount, FromUtf8(std::to_string(values.size())));
      for (size_t i = 0; i < values.size(); ++i) SetSetting(IncludedItemKey(static_cast<long>(i)), values[i]);
      SetSetting(IncludedItemKey(static_cast<long>(values.size())), u"beyond-the-count");
    };
  };
  for (const char* folder : {"dir.old", "movies/assets", "shared dir"}) fs::create_directories(root_ / folder);
  for (const char* file : {"movies/sub/data.txt", "outside/b.txt", "work/notes.txt", "work/nested/deep.txt"})
    WriteText(root_ / file, "x");
  const std::string movie = ToUtf8(Folder()), work = (root_ / "work").string() + "/";
  std::vector<std::u16string> gone;
  for (int i = 0; i < 12; ++i) gone.push_back(u"gone" + FromUtf8(std::to_string(i)));
  const std::u16string zaroMade = u"已创建 ZARO 文件。";
  const std::string nameless =
      R"(<application xmlns="http://ns.corvane.example/zaro/application/2.0"><id>x</id></application>)";
  const struct {
    const char* what;
    std::function<void()> set;
    PackageTarget target;
    std::vector<std::string> options;  // between the tool's jar and the output file
    std::string output;                // "": the tool must not run
    std::u16string message;
    unsigned style = 64;
    std::vector<std::string> afterTheMovie = {};
  } cases[] = {
      {"a bare destination lies in the movie folder", [] { SetSetting(keys::kZaroDestination, u"out"); },
       DesktopPackage, signedNoStamp, "out.zaro", zaroMade},
      {"a dot in the destination's folder is no extension",
       [&] { SetSetting(keys::kZaroDestination, FromUtf8((root_ / "dir.old" / "out").string())); }, DesktopPackage,
       signedNoStamp, (root_ / "dir.old" / "out.zaro").string(), zaroMade},
      {"a localised name names the file by its first text",
       [&] { named("<name>\n <text xml:lang=\"en\">Hello World</text><text xml:lang=\"fr\">Bonjour</text></name>"); },
       DesktopPackage, {"-prepare"}, "Hello World.zaroi", u"已创建 ZAROI 文件。"},
      {"an empty first text: the movie's name", [&] { named("<name><text xml:lang=\"en\"> </text></name>"); },
       DesktopPackage, {"-prepare"}, "Hello.zaroi", u"已创建 ZAROI 文件。"},
      {"quotes, spaces and trailing backslashes reach the tool intact",
       [&] {
         UseMovieFolder(platform::ToWindowsForm((root_ / "my movies").string() + "/"), root_ / "my movies");
         SetSetting(keys::kCertPassword, u"pa\"ss\\");
         SetSetting(keys::kCertPath, u"C:\\certs\\\"quoted\" -storepass evil\\");
       },
       DesktopPackage, signing("C:\\certs\\\"quoted\" -storepass evil\\", "pa\"ss\\"), "Demo.zaro", zaroMade},
      {"the iPhone packager takes no time-stamp option",
       [&] {
         UseIphone();
         SetSetting(keys::kTimestamp, u"true");
         SetSetting(keys::kIpaDestination, FromUtf8((root_ / "game.zaro").string()));
       },
       IphonePackage, iphone("ipa-ad-hoc"), (root_ / "game.ipa").string(), u"iPhone 文件已创建。"},
      {"an iPhone test package without a destination", [] { UseIphone(u"Store"); }, IphonePackage, iphone("ipa-test"),
       "Demo.ipa", u"iPhone 文件已创建。"},
      {"each icon is handed over once, in the descriptor's order", icons, DesktopPackage, signedNoStamp,
       "Demo.zaro", zaroMade, 64, {"icons/big.png", "icons/app 16.png", "icons/doc.png"}},
      {"a descriptor without a name", [&] { WriteText(movieFolder_ / "Hello-app.xml", nameless); }, DesktopPackage, {},
       "", u"缺少应用程序名称。"},
      {"included items", items({u"assets", u"", u"sub/data.txt", FromUtf8((root_ / "shared dir").string() + "/")}),
       DesktopPackage, signedNoStamp, "Demo.zaro", zaroMade, 64,
       {"-C", movie, "assets", "-C", movie, "sub/data.txt", "-C", root_.string() + "/", "shared dir"}},
      {"included items with dot segments",
       items({u"./assets", u"sub/../sub//data.txt", u"../outside/b.txt",
              FromUtf8((root_ / "outside" / "." / ".." / "movies" / "sub").string())}),
       DesktopPackage, signedNoStamp, "Demo.zaro", zaroMade, 64,
       {"-C", movie, "assets", "-C", movie, "sub/data.txt", "-C", (root_ / "outside").string() + "/", "b.txt", "-C",
        movie, "sub"}},
      {"included items in the working folder", items({u"notes.txt", u"nested/deep.txt"}), DesktopPackage,
       signedNoStamp, "Demo.zaro", zaroMade, 64, {"-C", work, "notes.txt", "-C", work + "nested/", "deep.txt"}},
      {"no movie", [this] { fs::remove(movieFolder_ / "Hello.qmv"); }, DesktopPackage, {}, "", LoadMessage(8011)},
      {"a destination in a missing folder",
       [&] { SetSetting(keys::kZaroDestination, FromUtf8((root_ / "Missing" / "out.zaro").string())); },
       DesktopPackage, {}, "", u"创建文件时出错。\n\n无法写入到目标目录。", 48},
      {"the iPhone icon check comes before the profile check",
       [this] {
         UseIphone(u"adhoc", false);
         UseMovieFolder(Folder(), movieFolder_, "<icon><image57x57>icons/57.png</image57x57></icon>");
       },
       IphonePackage, {}, "", u"缺少图标文件。\nicons/57.png", 48},
      {"an iPhone package without a profile", [] { UseIphone(u"adhoc", false); }, IphonePackage, {}, "",
       u"必须选择一个供给配置文件。", 48},
      {"twelve missing items list eleven, and Cancel stops",
       [&, set = items(gone)] {
         ui_->QueueButton(kIdCancel);
         set();
       },
       DesktopPackage, {}, "", u"以下文件和/或文件夹不存在。\ngone0\ngone1\ngone2\ngone3\ngone4\ngone5\ngone6\ngone7\ngone8\n"
       u"gone9\ngone10\n...\n将不包括缺少的文件。是否要继续？", 49},
  };
  const fs::path previous = fs::current_path();
  fs::current_path(root_ / "work");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    c.set();
    const std::string folder = ToUtf8(Folder());
    const size_t shown = Messages().size();
    EXPECT_EQ(Package(c.target, false), c.output.empty() ? 0 : 1);
    ASSERT_EQ(ToolRuns(), c.output.empty() ? 0 : 1);
    if (c.output.empty()) {
      EXPECT_EQ(GetSetting(c.target == IphonePackage ? keys::kIpaCertPassword : keys::kCertPassword),
                c.target == IphonePackage ? u"phonepw" : u"secret");
    } else {
      std::vector<std::string> expected = {"-jar", ToUtf8(GetSetting(keys::kLaunchPath)) +
                                                       (c.target == IphonePackage ? "MPK/lib/mpk.jar" : "ZSK2.0/lib/ZPK.jar")};
      expected.insert(expected.end(), c.options.begin(), c.options.end());
      expected.insert(expected.end(), {c.output[0] == '/' ? c.output : folder + c.output, folder + "Hello-app.xml",
                                       "-C", folder, "Hello.qmv"});
      expected.insert(expected.end(), c.afterTheMovie.begin(), c.afterTheMovie.end());
      EXPECT_EQ(ToolArgs(), expected);
      EXPECT_TRUE(missingIncludedFiles.empty());
    }
    ASSERT_EQ(Messages().size(), shown + 1);
    EXPECT_EQ(std::pair(Messages().back().text, Messages().back().style), std::pair(c.message, c.style));
  }
  EXPECT_EQ(missingIncludedFiles.size(), 12u);
  ui_->QueueButton(kIdOk);
  EXPECT_EQ(Package(DesktopPackage, false), 1);
  EXPECT_EQ(ToolArgs().back(), "Hello.qmv") << "the missing items are left out";
  fs::current_path(previous);
}

TEST_F(PackagingTest, PasswordsAreForgottenAfterTheRunUnlessRemembered) {
  WriteText(toolDir_ / "sleep", "30");
  ToolAnswers(3, "should never be reported");
  ui_->QueueForm("CProgressDlg", {FormStep{{}, "", 500, {}}, FormStep{{}, "Cancel", 0, {}}});
  EXPECT_EQ(Package(DesktopPackage, false), 1);
  EXPECT_TRUE(Messages().empty()) << "a cancelled run shows no box";
  EXPECT_TRUE(::kill(std::stoi(ReadText(toolDir_ / "pid")), 0) == -1 && errno == ESRCH) << "the tool is gone on return";
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"");
  fs::remove(toolDir_ / "sleep");
  ToolAnswers(0, "");
  SetSetting(keys::kCertPassword, u"secret");
  SetSetting(keys::kRememberPassword, u"true");
  EXPECT_EQ(Package(DesktopPackage, false), 1);
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"secret");
  UseIphone();
  EXPECT_EQ(Package(IphonePackage, false), 1);
  EXPECT_EQ(GetSetting(keys::kIpaCertPassword), u"");

  // A time-stamp failure of the iPhone packager runs the same command again.
  UseIphone();
  SetSetting(keys::kIpaRememberPassword, u"true");
  ToolAnswers(10, "the time-stamp server cannot be reached", 4);
  ui_->QueueForm("CTimestampRetryDlg", {FormStep{{}, "DisableTimestamp", 0, {}}});
  EXPECT_EQ(Package(IphonePackage, false), 1);
  ASSERT_EQ(ToolRuns(), 5);
  EXPECT_EQ(ToolArgs(5), ToolArgs(4));
  EXPECT_EQ(Messages().back().text, u"iPhone 文件已创建。");
  EXPECT_EQ(GetSetting(keys::kIpaCertPassword), u"phonepw") << "remembered";
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
  EXPECT_EQ(GetSetting(keys::kCertPassword), u"secret") << "a failed export forgets nothing";

  host.scripts.clear();
  host.answers[u"tx.getDocumentDOM().getDebugForQmv();"] = u"true";
  Package(DesktopPackage, true);
  ASSERT_EQ(host.scripts.size(), 2u) << "a movie that permits debugging is left as it is";
}

}  // namespace
}  // namespace zaro::packaging_testing
