// Runs the staged zrl.exe with the direct launcher command line the module builds.
#include <gtest/gtest.h>
#include <unistd.h>

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
  void SetUp() override {
    ASSERT_FALSE(scratch.Path().empty());
    fs::create_directories(root);
  }
  fs::path Write(const std::string& name, const std::string& content) {
    const fs::path path = root / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  // `"<kit>/bin/zrl.exe" "<descriptor>"` with " -profile P" when given, as the module builds it.
  int Launch(const std::u16string& descriptor, const std::u16string& profile, std::string& output) {
    std::u16string line = u"\"" + platform::ToWindowsForm(DEBUG_LAUNCHER) + u"\" \"" + descriptor;
    line += profile.empty() ? u"\"" : u"\" -profile " + profile;
    return CreateWinProcess(line, true, output, nullptr);
  }
  int Launch(const fs::path& descriptor, std::string& output) {
    return Launch(FromUtf8(descriptor.string()), u"", output);
  }

  testing::ScratchFolder scratch{"zrl"};
  const fs::path root = scratch.Path() / "work folder";
  testing::ScopedScriptedUi ui;
};

TEST_F(DebugLauncher, RunsATemplateDescriptorAndPrintsTheApplication) {
  const fs::path descriptor = Write("My Movie-app.xml", kTemplate);
  Write("My Movie.qmv", std::string("QMV\x01stage", 9));
  std::string output;
  // The module hands over Windows-form paths.
  EXPECT_EQ(Launch(platform::ToWindowsForm(descriptor.string()), u"extendedDesktop", output), 0);
  EXPECT_EQ(output, "id: My-Movie\nname: My Movie\ncontent: " + (root / "My Movie.qmv").string() +
                        "\nsystemChrome: standard\ntransparent: false\nvisible: true\nprofile: extendedDesktop\n");
}

TEST_F(DebugLauncher, PrintsSizesLocalisedNamesAndTheDefaultProfile) {
  const fs::path descriptor = Write("app.xml",
                                    "<application><id>com.example.viewer</id><name><text xml:lang=\"en\">Viewer"
                                    "</text><text xml:lang=\"fr\">Visionneuse</text></name><initialWindow>"
                                    "<content>movies/Intro.qmv</content><systemChrome>none</systemChrome>"
                                    "<transparent>true</transparent><width>640</width><height> 480 </height>"
                                    "</initialWindow></application>");
  fs::create_directories(root / "movies");
  Write("movies/Intro.qmv", "QMV\x02");
  std::string output;
  EXPECT_EQ(Launch(descriptor, output), 0);
  EXPECT_EQ(output, "id: com.example.viewer\nname: Viewer\ncontent: " + (root / "movies/Intro.qmv").string() +
                        "\nsystemChrome: none\ntransparent: true\nvisible: false\nwidth: 640\nheight: 480\n"
                        "profile: desktop\n");
}

const std::string kGood = "<application><id>a</id><initialWindow><content>Movie.qmv</content></initialWindow></application>";

TEST_F(DebugLauncher, UnusableDescriptorsEndWithAMessageAndExitCodeOne) {
  struct Case {
    std::string descriptor;
    std::string movie;  // written as Movie.qmv when not empty
    const char* message;
  };
  for (const Case& c : std::vector<Case>{
           {kGood, "", "does not exist"},
           {kGood, "PK\x03\x04", "no QMV header"},
           {kGood, "QM", "no QMV header"},
           {"<application><id>a</id><initialWindow>", "QMV", "cannot be parsed"},
           {"<application><id>a</id><initialWindow/></application>", "QMV", "no initialWindow content"},
           {"<application><initialWindow><content>Movie.qmv</content></initialWindow></application>", "QMV",
            "no application id"},
           {"<app><id>a</id></app>", "QMV", "no application root"},
           {"<application><id>a</id><initialWindow><content>..%2FMovie.qmv</content></initialWindow></application>",
            "QMV", "not a file beside the descriptor"},
           {"<application><id>a</id><initialWindow><content>/etc/passwd</content></initialWindow></application>",
            "QMV", "not a file beside the descriptor"}}) {
    SCOPED_TRACE(c.descriptor + " with " + c.movie);
    fs::remove(root / "Movie.qmv");
    const fs::path descriptor = Write("Movie-app.xml", c.descriptor);
    if (!c.movie.empty()) Write("Movie.qmv", c.movie);
    std::string output;
    EXPECT_EQ(Launch(descriptor, output), 1);
    EXPECT_NE(output.find(c.message), std::string::npos) << output;
    EXPECT_EQ(output.find("id: "), std::string::npos) << "nothing runs";
  }
}

TEST_F(DebugLauncher, ARelativeDescriptorPathFindsTheMovieBesideIt) {
  Write("Movie-app.xml", kGood);
  Write("Movie.qmv", "QMV\x01");
  const fs::path previous = fs::current_path();
  fs::current_path(root);
  std::string output;
  const int result = Launch(u"Movie-app.xml", u"", output);
  fs::current_path(previous);
  EXPECT_EQ(result, 0) << output;
  EXPECT_NE(output.find("content: Movie.qmv\n"), std::string::npos) << output;
}

TEST_F(DebugLauncher, NeverOpensExternalEntities) {
  const fs::path secret = Write("secret.txt", "TOP-SECRET");
  const fs::path descriptor =
      Write("Movie-app.xml", "<?xml version=\"1.0\"?><!DOCTYPE application [<!ENTITY s SYSTEM \"file://" +
                                 secret.string() + "\">]><application><id>a&s;</id><initialWindow><content>"
                                 "Movie.qmv</content></initialWindow></application>");
  Write("Movie.qmv", "QMV\x01");
  std::string output;
  Launch(descriptor, output);
  EXPECT_EQ(output.find("TOP-SECRET"), std::string::npos) << output;
}

TEST_F(DebugLauncher, ABadCommandLineIsAUsageError) {
  std::string output;
  EXPECT_EQ(CreateWinProcess(u"\"" + platform::ToWindowsForm(DEBUG_LAUNCHER) + u"\"", true, output, nullptr), 2);
  EXPECT_NE(output.find("usage: zrl.exe DESCRIPTOR [-profile PROFILE]"), std::string::npos);
  output.clear();
  EXPECT_EQ(Launch(u"x-app.xml\" -profile", u"", output), 2);
  output.clear();
  EXPECT_EQ(Launch(u"x-app.xml\" -debug \"", u"", output), 2);
  EXPECT_NE(output.find("unknown option -debug"), std::string::npos);
  output.clear();
  EXPECT_EQ(Launch(root / "missing-app.xml", output), 1);
  EXPECT_NE(output.find("cannot read the descriptor"), std::string::npos);
}

}  // namespace
}  // namespace zaro
