// The tool stopped by a signal half-way leaves no temporary file, and a run after one that
// was killed outright sweeps what that one left.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "test_support.h"

namespace zpk {
namespace {

using namespace zpk::testing;

const std::string kIcons = "<image16x16>icons/i16.png</image16x16><image32x32>icons/i32.png</image32x32>";

class Interruption : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeMovieFolder(movie(), MakeDescriptor(kIcons));
    PkeyPtr key = MakeRsaKey(1024);
    X509Ptr cert = MakeCertificate(key.get(), "Interrupted", -1, 30);
    WriteKeystore(dir_ / "k.p12", "pw", key.get(), cert.get());
  }
  std::string movie() const { return dir_ / "movie"; }
  std::vector<std::string> PackageArgs(const std::string& output) const {
    return {"-package", "-storetype", "PKCS12", "-keystore", dir_ / "k.p12", "-storepass", "pw", "-tsa", "none",
            output, movie() + "/Movie-app.xml", "-C", movie(), "Movie.qmv", "icons", "data.bin"};
  }
  // Names in the output folder other than the movie folder and the keystore.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const std::string& name : ListFolder(dir_.path()))
      if (name != "movie" && name != "k.p12" && name != "out.zaro") names.push_back(name);
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

// True once the archive writer has begun to fill the temporary file (".NAME.zpk-...").
bool WriterTemporaryPresent(const std::string& folder) {
  for (const std::string& name : ListFolder(folder)) {
    struct stat st {};
    if (name.find(".zpk-") != std::string::npos && stat((folder + "/" + name).c_str(), &st) == 0 && st.st_size > 0)
      return true;
  }
  return false;
}

TEST_F(Interruption, StopSignalsRemoveEveryTemporaryFile) {
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

TEST_F(Interruption, ARunSweepsTemporariesOfWritersThatAreGone) {
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
  std::vector<std::string> left = Leftovers();
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".notes.txt", ".out.zaro.zpk-" + alive + "-g7h8i9"}));
}

// New files get the usual mode for the user's umask, the installer is executable.
TEST_F(Interruption, OutputsGetTheUsualModes) {
  WriteFile(movie() + "/data.bin", "small");
  mode_t old = umask(022);
  ToolRun package = RunTool(PackageArgs(dir_ / "out.zaro"));
  std::vector<std::string> args = PackageArgs(dir_ / "Movie.exe");
  args.insert(args.begin() + 9, {"-target", "native"});
  ToolRun installer = RunTool(args);
  umask(old);
  ASSERT_EQ(package.code, 0) << package.output;
  ASSERT_EQ(installer.code, 0) << installer.output;
  struct stat st {};
  ASSERT_EQ(stat((dir_ / "out.zaro").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ASSERT_EQ(stat((dir_ / "Movie.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
}

// The native installer stopped at several points of a large install: by a stop signal it
// takes itself back; killed outright, running it again finishes, and its uninstaller then
// leaves the prefix as it was. Nothing outside the prefix changes either way.
TEST_F(Interruption, AnInstallStoppedAnywhereIsTakenBackOrFinishedByARerun) {
  MakeMovieFolder(movie(), MakeDescriptor(kIcons, "", "<installFolder>Corvane/Big</installFolder><fileTypes><fileType>"
                                                      "<name>big</name><extension>big</extension><contentType>"
                                                      "application/x-zaro-big</contentType><icon>" + kIcons +
                                                      "</icon></fileType></fileTypes>"));
  WriteFile(movie() + "/data.bin", MakeBytes(size_t{96} << 20, false, 3));
  std::vector<std::string> args = PackageArgs(dir_ / "Big.exe");
  args.insert(args.begin() + 9, {"-target", "native"});
  ASSERT_EQ(RunTool(args).code, 0);
  const std::string prefix = dir_ / "scratch/prefix";
  ASSERT_EQ(RunShell("mkdir -p '" + prefix + "/share' '" + dir_ / "tmp" + "'").code, 0);
  WriteFile(dir_ / "scratch/beside.txt", "outside the prefix");
  const std::string before = TreeListing(dir_ / "scratch");
  const std::string install = "TMPDIR='" + dir_ / "tmp" + "' setsid sh '" + dir_ / "Big.exe" + "' '" + prefix + "'";
  const std::string uninstall = "sh '" + prefix + "/Corvane/Big/.zaro-install/uninstall.sh'";

  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunShell(install).code, 0);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(RunShell(uninstall).code, 0);
  ASSERT_EQ(TreeListing(dir_ / "scratch"), before);

  for (const char* signal : {"TERM", "KILL"}) {
    for (double at : {0.15, 0.35, 0.55, 0.7, 0.85, 0.95}) {
      SCOPED_TRACE(std::string(signal) + " at " + std::to_string(at));
      ToolRun stopped = RunShell(install + " >/dev/null 2>&1 & pid=$!; sleep " + std::to_string(at * seconds) +
                                 "; kill -" + signal + " -$pid 2>/dev/null; wait $pid; echo $?");
      const bool finished = stopped.output == "0\n";
      if (std::string(signal) == "TERM") {
        EXPECT_TRUE(finished || stopped.output == "143\n") << stopped.output;
        if (!finished) {
          EXPECT_EQ(TreeListing(dir_ / "scratch"), before) << "taken back";
        }
        EXPECT_EQ(ListFolder(dir_ / "tmp"), std::vector<std::string>{});
      } else {
        ToolRun again = RunShell(install + " 2>&1");
        EXPECT_EQ(again.code, 0) << again.output;
        RunShell("rm -rf '" + dir_ / "tmp" + "' && mkdir '" + dir_ / "tmp" + "'");
      }
      if (Exists(prefix + "/Corvane/Big/.zaro-install/uninstall.sh")) {
        ToolRun removed = RunShell(uninstall + " 2>&1");
        EXPECT_EQ(removed.code, 0) << removed.output;
      }
      EXPECT_EQ(TreeListing(dir_ / "scratch"), before);
    }
  }
}

// Killed while its record was being renamed into place: the record's temporary name is
// left beside the journal, and the next run must take it back with everything else.
TEST_F(Interruption, AnInstallKilledWhileWritingItsRecordIsFinishedByARerun) {
  WriteFile(movie() + "/Movie-app.xml", MakeDescriptor("", "", "<installFolder>Corvane/Big</installFolder>"));
  WriteFile(movie() + "/data.bin", "small");
  std::vector<std::string> args = PackageArgs(dir_ / "Big.exe");
  args.insert(args.begin() + 9, {"-target", "native"});
  ASSERT_EQ(RunTool(args).code, 0);
  const std::string prefix = dir_ / "scratch/prefix";
  const std::string stand_in = dir_ / "bin";
  ASSERT_EQ(RunShell("mkdir -p '" + prefix + "' '" + stand_in + "'").code, 0);
  WriteFile(stand_in + "/mv", "#!/bin/sh\ncase \"$2\" in */.record.zaro-new) kill -KILL 0;; esac\n"
                             "exec /bin/mv \"$@\"\n");
  ASSERT_EQ(RunShell("chmod 755 '" + stand_in + "/mv'").code, 0);
  const std::string before = TreeListing(dir_ / "scratch");
  const std::string install = "setsid sh '" + dir_ / "Big.exe" + "' '" + prefix + "' 2>&1";

  EXPECT_NE(RunShell("PATH='" + stand_in + "':$PATH " + install).code, 0);
  ASSERT_TRUE(Exists(prefix + "/Corvane/Big/.zaro-install/.record.zaro-new")) << TreeListing(dir_ / "scratch");
  const ToolRun again = RunShell(install);
  EXPECT_EQ(again.code, 0) << again.output;
  ASSERT_EQ(RunShell("sh '" + prefix + "/Corvane/Big/.zaro-install/uninstall.sh'").code, 0);
  EXPECT_EQ(TreeListing(dir_ / "scratch"), before);
}

}  // namespace
}  // namespace zpk
