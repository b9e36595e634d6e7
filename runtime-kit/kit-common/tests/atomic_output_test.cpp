// Atomic output as the packaging tool uses it: a run stopped by a signal half-way leaves no
// temporary file, a run after one that was killed outright sweeps what that one left, and
// outputs get the usual modes.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "test_support.h"

namespace zpk {
namespace {

using namespace zpk::testing;

class AtomicOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeMovieFolder(movie(), MakeDescriptor());
    WriteTestKeystore(dir_ / "k.p12", "pw", "Interrupted", 1024);
  }
  std::string movie() const { return dir_ / "movie"; }
  std::vector<std::string> PackageArgs(const std::string& output, bool native = false) const {
    std::vector<std::string> args = {"-package", "-keystore", dir_ / "k.p12", "-storepass", "pw", "-tsa", "none"};
    if (native) args.insert(args.end(), {"-target", "native"});
    args.insert(args.end(), {output, movie() + "/Movie-app.xml", "-C", movie(), "Movie.qmv", "data.bin"});
    return args;
  }
  // Names in the output folder other than the movie folder, the keystore and the package.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const std::string& name : ListFolder(dir_.path()))
      if (name != "movie" && name != "k.p12" && name != "out.zaro") names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
  }
  TempFolder dir_;
};

pid_t Start(const std::vector<std::string>& args) {
  pid_t child = fork();
  if (child == 0) {
    std::vector<char*> argv = {const_cast<char*>(ZPK_TOOL_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

// True once the archive writer has begun to fill its temporary file (".NAME.zpk-...").
bool WriterTemporaryPresent(const std::string& folder) {
  for (const std::string& name : ListFolder(folder)) {
    struct stat st {};
    if (name.find(".zpk-") != std::string::npos && stat((folder + "/" + name).c_str(), &st) == 0 && st.st_size > 0)
      return true;
  }
  return false;
}

TEST_F(AtomicOutput, StopSignalsRemoveEveryTemporaryFile) {
  WriteFile(movie() + "/data.bin", MakeBytes(size_t{48} << 20, false, 7));
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    pid_t tool = Start(PackageArgs(dir_ / "out.zaro"));
    ASSERT_GT(tool, 0);
    bool seen = false;
    for (int i = 0; i < 6000 && !seen; ++i) {
      seen = WriterTemporaryPresent(dir_.path());
      if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(seen) << "the tool never reached the archive writing";
    kill(tool, signal);
    int status = 0;
    ASSERT_EQ(waitpid(tool, &status, 0), tool);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_FALSE(Exists(dir_ / "out.zaro"));
  }
}

TEST_F(AtomicOutput, ARunSweepsTemporariesOfWritersThatAreGone) {
  WriteFile(movie() + "/data.bin", "small");
  pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
  const std::string dead = std::to_string(gone);
  const std::string alive = std::to_string(getpid());
  WriteFile(dir_ / (".out.zaro.zpk-" + dead + "-a1b2c3"), "");
  WriteFile(dir_ / (".out.zaro.zpk-" + dead + "-a1b2c3.x9y8z7"), "partial package");
  WriteFile(dir_ / (".other.zaro.zpk-" + dead + "-d4e5f6"), "");
  WriteFile(dir_ / (".out.zaro.zpk-" + alive + "-g7h8i9"), "a writer still at work");
  WriteFile(dir_ / ".notes.txt", "not the tool's");

  ToolRun run = RunTool(PackageArgs(dir_ / "out.zaro"));
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(Leftovers(), (std::vector<std::string>{".notes.txt", ".out.zaro.zpk-" + alive + "-g7h8i9"}));
}

// New files get the usual mode for the user's umask, the installer is executable.
TEST_F(AtomicOutput, OutputsGetTheUsualModes) {
  WriteFile(movie() + "/data.bin", "small");
  mode_t old = umask(022);
  ToolRun package = RunTool(PackageArgs(dir_ / "out.zaro"));
  ToolRun installer = RunTool(PackageArgs(dir_ / "Movie.exe", true));
  umask(old);
  ASSERT_EQ(package.code, 0) << package.output;
  ASSERT_EQ(installer.code, 0) << installer.output;
  EXPECT_EQ(std::filesystem::status(dir_ / "out.zaro").permissions(), std::filesystem::perms(0644));
  EXPECT_EQ(std::filesystem::status(dir_ / "Movie.exe").permissions(), std::filesystem::perms(0755));
}

}  // namespace
}  // namespace zpk
