// Runs the staged java.exe the way the module does: through the process runner, with the
// launcher and the archive in double quotes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "platform/process_runner.h"
#include "platform/scripted_ui.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

namespace fs = std::filesystem;

class JavaLauncher : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(root.empty()); }
  // A kit "archive": a native program, here a shell script.
  fs::path Archive(const std::string& name, const std::string& body) {
    const fs::path path = root / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }
  int Java(const std::u16string& arguments, std::string& output) {
    const std::u16string line = u"\"" + platform::ToWindowsForm(JAVA_LAUNCHER) + u"\" " + arguments;
    return CreateWinProcess(line, true, output, nullptr);
  }
  static std::u16string Quoted(const fs::path& path) { return u"\"" + platform::ToWindowsForm(path.string()) + u"\""; }

  testing::ScratchFolder scratch{"java-launcher"};
  const fs::path root = scratch.Path();
  testing::ScopedScriptedUi ui;
};

TEST_F(JavaLauncher, RunsTheArchiveWithItsArgumentsAndPassesItsExitCodeAndOutputThrough) {
  const fs::path tool = Archive("lib dir ZPK.jar", "for a in \"$@\"; do printf '[%s]' \"$a\"; done; echo oops >&2; exit 7");
  std::string output;
  EXPECT_EQ(Java(u"-jar " + Quoted(tool) + u" -package -storetype PKCS12 \"out file.zaro\"", output), 7);
  EXPECT_EQ(output, "[-package][-storetype][PKCS12][out file.zaro]oops\n");
}

TEST_F(JavaLauncher, TheToolReplacesTheLauncherSoSignalsReachItDirectly) {
  const fs::path tool = Archive("self.jar", "kill -TERM $$");
  std::string output;
  EXPECT_EQ(Java(u"-jar " + Quoted(tool), output), 128 + SIGTERM);
}

TEST_F(JavaLauncher, AMissingArchiveOrAnUnknownOptionIsAUsageError) {
  std::string output;
  const fs::path missing = root / "ZPK.jar";
  EXPECT_EQ(Java(u"-jar " + Quoted(missing) + u" -package", output), 2);
  EXPECT_EQ(output, "no such file " + missing.string() + "\r\nusage: java -jar ARCHIVE [ARGS...]\n");

  output.clear();
  EXPECT_EQ(Java(u"-cp x.jar", output), 2);
  EXPECT_NE(output.find("unknown option -cp"), std::string::npos);
  EXPECT_NE(output.find("\nusage:"), std::string::npos);

  output.clear();
  EXPECT_EQ(Java(u"-jar", output), 2);
  EXPECT_NE(output.find("\nusage:"), std::string::npos);
  EXPECT_TRUE(static_cast<ScriptedUi&>(Ui()).Events().empty());
}

}  // namespace
}  // namespace zaro
