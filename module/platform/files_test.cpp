#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace zaro::platform {
namespace {

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    root = std::filesystem::temp_directory_path() / ("files-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
  }
  void TearDown() override { std::filesystem::remove_all(root); }
  std::u16string Windows(const std::string& name) { return ToWindowsForm((root / name).string()); }
  std::filesystem::path root;
};

TEST_F(Files, WindowsFormPathsMapToThePosixTree) {
  EXPECT_EQ(ToPosixPath(u"\\home\\ann\\work\\Hello.qmv"), "/home/ann/work/Hello.qmv");
  EXPECT_EQ(ToPosixPath(u"/a/b\\c"), "/a/b/c");
  EXPECT_EQ(ToPosixPath(u"\\tmp\\录像.qmv"), "/tmp/录像.qmv");
  ASSERT_TRUE(ReplaceFileAtomically(Windows("a.txt"), "one"));
  EXPECT_TRUE(FileExists(Windows("a.txt")));
  EXPECT_FALSE(FolderExists(Windows("a.txt")));
  EXPECT_TRUE(FolderExists(ToWindowsForm(root.string()) + u"\\"));
  EXPECT_FALSE(PathExists(u""));
}

TEST_F(Files, AtomicReplacementKeepsTheOldFileOnFailureAndLeavesNoTemporary) {
  ASSERT_TRUE(ReplaceFileAtomically(Windows("doc.xml"), "first"));
  ASSERT_TRUE(ReplaceFileAtomically(Windows("doc.xml"), "second"));
  EXPECT_EQ(ReadFileBytes(Windows("doc.xml")).value_or(""), "second");

  std::filesystem::create_directories(root / "taken");
  EXPECT_FALSE(ReplaceFileAtomically(Windows("taken"), "x")) << "a folder cannot be replaced by a file";
  EXPECT_FALSE(ReplaceFileAtomically(Windows("missing/doc.xml"), "x"));
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(root)) ++entries;
  EXPECT_EQ(entries, 2) << "no temporary file is left behind";
}

// A replaced file keeps the mode its owner gave it; a new one gets the usual mode.
TEST_F(Files, ReplacedFilesKeepTheirModeAndNewOnesGetTheUsualOne) {
  ASSERT_TRUE(ReplaceFileAtomically(Windows("script.sh"), "#!/bin/sh\n"));
  std::filesystem::permissions(root / "script.sh", std::filesystem::perms::owner_all |
                                                       std::filesystem::perms::group_read |
                                                       std::filesystem::perms::group_exec);
  ASSERT_TRUE(ReplaceFileAtomically(Windows("script.sh"), "#!/bin/sh\necho new\n"));
  EXPECT_EQ(std::filesystem::status(root / "script.sh").permissions(),
            std::filesystem::perms::owner_all | std::filesystem::perms::group_read | std::filesystem::perms::group_exec);

  const mode_t old = ::umask(022);
  const bool written = ReplaceFileAtomically(Windows("fresh.txt"), "x");
  ::umask(old);
  ASSERT_TRUE(written);
  EXPECT_EQ(std::filesystem::status(root / "fresh.txt").permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read | std::filesystem::perms::others_read);
}

TEST_F(Files, CopyFoldersAndDeletion) {
  ASSERT_TRUE(ReplaceFileAtomically(Windows("src.bin"), std::string("a\0b", 3)));
  ASSERT_TRUE(ReplaceFileAtomically(Windows("dst.bin"), "old"));
  EXPECT_TRUE(CopyFileOverwrite(Windows("src.bin"), Windows("dst.bin")));
  EXPECT_EQ(ReadFileBytes(Windows("dst.bin")).value_or(""), std::string("a\0b", 3));
  EXPECT_FALSE(CopyFileOverwrite(Windows("none.bin"), Windows("dst.bin")));

  EXPECT_TRUE(CreateFolder(Windows("one")));
  EXPECT_TRUE(CreateFolder(Windows("one"))) << "an existing folder counts as made";
  EXPECT_FALSE(CreateFolder(Windows("x/y")));
  EXPECT_TRUE(DeleteFileAt(Windows("dst.bin")));
  EXPECT_FALSE(FileExists(Windows("dst.bin")));
}

TEST_F(Files, CommonApplicationDataFolderHonoursTheOverride) {
  const char* old = std::getenv("TESSEL_COMMON_APPDATA");
  const std::string saved = old ? old : "";
  ::setenv("TESSEL_COMMON_APPDATA", "/srv/data/", 1);
  EXPECT_EQ(CommonAppDataFolder().value_or(u"?"), u"\\srv\\data");
  ::unsetenv("TESSEL_COMMON_APPDATA");
  const std::u16string program = ExecutablePath();
  ASSERT_FALSE(program.empty());
  const std::u16string folder = CommonAppDataFolder().value_or(u"?");
  EXPECT_EQ(folder.substr(folder.rfind(u'\\')), u"\\ProgramData");
  if (old) ::setenv("TESSEL_COMMON_APPDATA", saved.c_str(), 1);
}

}  // namespace
}  // namespace zaro::platform
