#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/platform_test_support.h"
#include "testing/scratch.h"

namespace zaro::platform {
namespace {

namespace fs = std::filesystem;
using fs::perms;

class Files : public ::testing::Test {
 protected:
  std::u16string Windows(const std::string& name) { return ToWindowsForm((root / name).string()); }
  testing::ScratchFolder scratch{"files"};
  const fs::path root = scratch.Path();
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

  fs::create_directories(root / "taken");
  EXPECT_FALSE(ReplaceFileAtomically(Windows("taken"), "x")) << "a folder cannot be replaced by a file";
  EXPECT_FALSE(ReplaceFileAtomically(Windows("missing/doc.xml"), "x"));
  EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 2) << "no temporary file is left";
}

// A replaced file keeps the mode its owner gave it; a new one gets the usual mode.
TEST_F(Files, ReplacedFilesKeepTheirModeAndNewOnesGetTheUsualOne) {
  ASSERT_TRUE(ReplaceFileAtomically(Windows("script.sh"), "#!/bin/sh\n"));
  fs::permissions(root / "script.sh", perms::owner_all | perms::group_read | perms::group_exec);
  ASSERT_TRUE(ReplaceFileAtomically(Windows("script.sh"), "#!/bin/sh\necho new\n"));
  EXPECT_EQ(fs::status(root / "script.sh").permissions(), perms::owner_all | perms::group_read | perms::group_exec);

  const mode_t old = ::umask(022);
  const bool written = ReplaceFileAtomically(Windows("fresh.txt"), "x");
  ::umask(old);
  ASSERT_TRUE(written);
  EXPECT_EQ(fs::status(root / "fresh.txt").permissions(),
            perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
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
  testing::ScopedEnvironment environment({{"TESSEL_COMMON_APPDATA", "/srv/data/"}});
  EXPECT_EQ(CommonAppDataFolder().value_or(u"?"), u"\\srv\\data");
  ::unsetenv("TESSEL_COMMON_APPDATA");
  const std::u16string program = ExecutablePath();
  ASSERT_FALSE(program.empty());
  const std::u16string folder = CommonAppDataFolder().value_or(u"?");
  EXPECT_EQ(folder.substr(folder.rfind(u'\\')), u"\\ProgramData");
}

}  // namespace
}  // namespace zaro::platform
