// Reproducible packages: under SOURCE_DATE_EPOCH the same inputs give the same bytes,
// whatever the order the file system lists them in and whatever the file times.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace zpk {
namespace {

using testing::MakeBytes;
using testing::ReadFile;
using testing::RunShell;
using testing::TempFolder;
using testing::WriteFile;

// Two copies of a movie folder with the same contents, made in opposite orders and with
// different file times.
class ReproduciblePackages : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteTestKeystore(dir_ / "k.p12");
    std::vector<std::string> names = {"a.txt", "b.png", "c/d.txt", "c/e.txt", "f.bin", "g.txt"};
    for (const char* copy : {"one", "two"}) {
      const std::string movie = dir_ / copy;
      testing::MakeMovieFolder(movie, testing::MakeDescriptor());
      for (const std::string& name : names) {
        std::filesystem::create_directories(std::filesystem::path(movie + "/assets/" + name).parent_path());
        WriteFile(movie + "/assets/" + name, MakeBytes(name == "f.bin" ? 5u << 20 : 3000, true, name[0]));
      }
      std::reverse(names.begin(), names.end());
    }
    RunShell("touch -d 2001-02-03 " + dir_ / "two" + "/assets/* " + dir_ / "two" + "/Movie.qmv");
  }
  void TearDown() override { unsetenv("SOURCE_DATE_EPOCH"); }

  std::string Make(const std::string& copy, const std::string& kind) {
    const std::string movie = dir_ / copy;
    const std::string output = dir_ / (copy + "." + kind);
    std::vector<std::string> args = {"-package", "-storetype", "PKCS12", "-keystore", dir_ / "k.p12", "-storepass",
                                     "secret", "-tsa", "none"};
    if (kind == "zaroi") args = {"-prepare"};
    if (kind == "bin") args.insert(args.end(), {"-target", "native"});
    args.insert(args.end(), {output, movie + "/Movie-app.xml", "-C", movie, "Movie.qmv", "assets"});
    const testing::ToolRun run = testing::RunTool(args);
    EXPECT_EQ(run.code, 0) << run.output;
    return ReadFile(output);
  }

  TempFolder dir_;
};

TEST_F(ReproduciblePackages, SourceDateEpochGivesTheSameBytesWhateverTheFileTimesAndOrder) {
  setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
  for (const char* kind : {"zaro", "zaroi", "bin"}) {
    const std::string one = Make("one", kind);
    EXPECT_FALSE(one.empty());
    EXPECT_TRUE(one == Make("two", kind)) << kind;
  }
  // Every entry carries that time, in UTC.
  const std::string listed = RunShell("TZ=UTC zipinfo -T '" + dir_ / "two.zaro" + "'").output;
  EXPECT_EQ(listed.find("20010203"), std::string::npos) << listed;
  EXPECT_NE(listed.find("20231114.221320"), std::string::npos) << listed;
}

TEST_F(ReproduciblePackages, WithoutItEntriesKeepTheirFilesTimes) {
  Make("two", "zaro");
  const std::string listed = RunShell("zipinfo -T '" + dir_ / "two.zaro" + "' assets/a.txt").output;
  EXPECT_NE(listed.find("20010203"), std::string::npos) << listed;
}

}  // namespace
}  // namespace zpk
