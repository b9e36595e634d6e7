// Runs the staged zrl.exe with the direct launcher command line the module builds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "platform/process_runner.h"
#include "platform/scripted_ui.h"
#include "platform/text.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

namespace fs = std::filesystem;
using platform::ToWindowsForm;

// The descriptor the module's template writer makes for the base name "My Movie".
constexpr char kTemplate[] =
    "\xEF\xBB\xBF<?xml version =\"1.0\" encoding=\"utf-8\" ?><application "
    "xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>My-Movie</id><version>1.0</version>"
    "<filename>My Movie</filename><description></description><!-- To localize the name, use the following "
    "format.<name><text xml:lang=\"en\">English App name goes here</text></name>--><name>My Movie</name>"
    "<copyright></copyright><initialWindow><content>My&#37;20Movie.qmv</content><systemChrome>standard"
    "</systemChrome><transparent>false</transparent><visible>true</visible><fullScreen>false</fullScreen>"
    "<aspectRatio>portrait</aspectRatio><renderMode>auto</renderMode></initialWindow><icon></icon>"
    "<customUpdateUI>false</customUpdateUI><allowBrowserInvocation>false</allowBrowserInvocation></application>";

class DebugLauncher : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(scratch.Path().empty()); }
  fs::path Write(const std::string& name, const std::string& content) {
    fs::create_directories((root / name).parent_path());
    std::ofstream(root / name, std::ios::binary) << content;
    return root / name;
  }
  std::pair<int, std::string> Launch(const std::u16string& arguments) {
    std::string output;
    int code = CreateWinProcess(zrl + arguments, true, output, nullptr);
    return {code, output};
  }
  // The module's arguments: ` "<descriptor>"` with " -profile P" when given.
  static std::u16string Arguments(const std::u16string& descriptor, const std::u16string& profile = u"") {
    return u" \"" + descriptor + (profile.empty() ? u"\"" : u"\" -profile " + profile);
  }

  const std::u16string zrl = u"\"" + ToWindowsForm(DEBUG_LAUNCHER) + u"\"";
  testing::ScratchFolder scratch{"zrl"};
  const fs::path root = scratch.Path() / "work folder";
  testing::ScopedScriptedUi ui;
};

TEST_F(DebugLauncher, PrintsTheApplicationOfAnyDescriptorItCanRead) {
  Write("My Movie.qmv", std::string("QMV\x01stage", 9));
  Write("movies/Intro.qmv", "QMV\x02");
  // The module hands over Windows-form paths.
  const std::string shown = "id: My-Movie\nname: My Movie\ncontent: " + (root / "My Movie.qmv").string() +
                            "\nsystemChrome: standard\ntransparent: false\nvisible: true\nprofile: extendedDesktop\n";
  EXPECT_EQ(Launch(Arguments(ToWindowsForm(Write("My Movie-app.xml", kTemplate).string()), u"extendedDesktop")),
            std::pair(0, shown));
  const fs::path viewer = Write("app.xml", "<application><id>com.example.viewer</id><name><text xml:lang=\"en\">Viewer"
                                           "</text><text xml:lang=\"fr\">Visionneuse</text></name><initialWindow>"
                                           "<content>movies/Intro.qmv</content><systemChrome>none</systemChrome>"
                                           "<transparent>true</transparent><width>640</width><height> 480 </height>"
                                           "</initialWindow></application>");
  EXPECT_EQ(Launch(Arguments(FromUtf8(viewer.string()))),
            std::pair(0, "id: com.example.viewer\nname: Viewer\ncontent: " + (root / "movies/Intro.qmv").string() +
                             "\nsystemChrome: none\ntransparent: true\nvisible: false\nwidth: 640\nheight: 480\n"
                             "profile: desktop\n"));

}

// Descriptors that cannot run end with exit code 1, command lines that make no sense with 2;
// a relative descriptor path (run from the work folder) finds the movie beside it.
TEST_F(DebugLauncher, UnusableDescriptorsAndBadCommandLinesEndWithAMessage) {
  auto app = [](const std::string& inner) { return "<application>" + inner + "</application>"; };
  const std::string window = "<initialWindow><content>Movie.qmv</content></initialWindow>";
  const std::string good = app("<id>a</id>" + window);
  const std::u16string descriptor = Arguments(FromUtf8((root / "Movie-app.xml").string()));
  const char* usage = "usage: zrl.exe DESCRIPTOR [-profile PROFILE]";
  const std::string entity = "<?xml version=\"1.0\"?><!DOCTYPE application [<!ENTITY s SYSTEM \"file://" +
                             Write("secret.txt", "TOP-SECRET").string() + "\">]>" + app("<id>a&s;</id>" + window);
  // The descriptor, the movie (written as Movie.qmv when not empty), the message, the exit code and the arguments.
  using Case = std::tuple<std::string, std::string, const char*, int, std::u16string>;
  const fs::path previous = fs::current_path();
  fs::current_path(root);
  for (const auto& [text, movie, message, exitCode, arguments] : std::vector<Case>{
           {good, "", "does not exist", 1, descriptor},
           {good, "PK\x03\x04", "no QMV header", 1, descriptor},
           {good, "QM", "no QMV header", 1, descriptor},
           {"<application><id>a</id><initialWindow>", "QMV", "cannot be parsed", 1, descriptor},
           {app("<id>a</id><initialWindow/>"), "QMV", "no initialWindow content", 1, descriptor},
           {app(window), "QMV", "no application id", 1, descriptor},
           {"<app><id>a</id></app>", "QMV", "no application root", 1, descriptor},
           {app("<id>a</id><initialWindow><content>..%2FMovie.qmv</content></initialWindow>"), "QMV",
            "not a file beside the descriptor", 1, descriptor},
           {app("<id>a</id><initialWindow><content>/etc/passwd</content></initialWindow>"), "QMV",
            "not a file beside the descriptor", 1, descriptor},
           {good, "QMV", "cannot read the descriptor", 1, Arguments(FromUtf8((root / "missing-app.xml").string()))},
           {good, "QMV", usage, 2, u""},
           {good, "QMV", usage, 2, u" \"x-app.xml\" -profile"},
           {good, "QMV", "unknown option -debug", 2, u" \"x-app.xml\" -debug \"\""},
           {entity, "QMV", "unable to open external entity", 1, descriptor},  // never opened
           {good, "QMV\x01", "content: Movie.qmv\n", 0, Arguments(u"Movie-app.xml")}}) {
    fs::remove(root / "Movie.qmv");
    Write("Movie-app.xml", text);
    if (!movie.empty()) Write("Movie.qmv", movie);
    const auto [code, output] = Launch(arguments);
    EXPECT_EQ(code, exitCode) << text << " with " << movie << ": " << output;
    EXPECT_NE(output.find(message), std::string::npos) << output;
    EXPECT_EQ(output.find("id: ") == std::string::npos, exitCode != 0) << "only a good descriptor runs";
    EXPECT_EQ(output.find("TOP-SECRET"), std::string::npos);
  }
  fs::current_path(previous);
}

}  // namespace
}  // namespace zaro
