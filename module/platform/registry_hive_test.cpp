#include "platform/registry_hive.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/platform_test_support.h"
#include "platform/text.h"
#include "testing/scratch.h"

namespace zaro::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;

constexpr std::u16string_view kKey = u"Software\\Corvane\\Tessel 11\\ZARO Settings";

class RegistryHiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.empty());
    file_ = folder_ / "registry";
    ::setenv("TESSEL_REGISTRY_FILE", file_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("TESSEL_REGISTRY_FILE");
    std::error_code error;
    fs::permissions(folder_, fs::perms::owner_all, error);
  }

  void WriteHiveFile(std::string_view content) const {
    std::ofstream(file_, std::ios::binary) << content;
  }

  testing::ScratchFolder scratch_{"hive-test"};
  const fs::path folder_ = scratch_.Path();
  fs::path file_;
};

TEST_F(RegistryHiveTest, HiveFileFollowsOverrideThenConfigFolder) {
  EXPECT_EQ(RegistryHiveFile(), file_.string());
  testing::ScopedEnvironment environment(
      {{"TESSEL_REGISTRY_FILE", std::nullopt}, {"XDG_CONFIG_HOME", "/cfg/x"}, {"HOME", "/home/ann"}});
  EXPECT_EQ(RegistryHiveFile(), "/cfg/x/corvane/tessel-11/registry");
  ::setenv("XDG_CONFIG_HOME", "relative/cfg", 1);  // not an absolute folder: ignored
  EXPECT_EQ(RegistryHiveFile(), "/home/ann/.config/corvane/tessel-11/registry");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(RegistryHiveFile(), "/home/ann/.config/corvane/tessel-11/registry");
}

TEST_F(RegistryHiveTest, ValuesOfAnyTextSurviveTheFile) {
  const std::u16string awkward[] = {u"", u"tab\there%25 %%", u"line\nbreak\r\nand\rreturn",
                                    std::u16string(u"nul\0inside", 10), u"证书 \U0001F511 trailing space ",
                                    u"key\tlooking\nsz\tline", u"\\server\\share\\x.p12"};
  const auto name = [](size_t n) { return u"v" + FromUtf8(std::to_string(n)); };
  {
    auto key = RegistryKey::OpenOrCreate(kKey);
    ASSERT_TRUE(key);
    for (size_t n = 0; n < std::size(awkward); ++n) EXPECT_TRUE(key->WriteValue(name(n), awkward[n]));
    EXPECT_TRUE(key->WriteValue(u"", u"default value"));
    EXPECT_TRUE(key->WriteValue(u"name\nwith\tcontrols%", u"x"));
  }
  auto key = RegistryKey::OpenOrCreate(kKey);  // reloaded from the file
  ASSERT_TRUE(key);
  for (size_t n = 0; n < std::size(awkward); ++n) EXPECT_EQ(key->ReadValue(name(n)), awkward[n]) << n;
  EXPECT_EQ(key->ReadValue(u""), u"default value");
  EXPECT_EQ(key->ReadValue(u"name\nwith\tcontrols%"), u"x");
  EXPECT_FALSE(key->ReadValue(u"missing"));
}

TEST_F(RegistryHiveTest, EnumerationKeepsCreationOrder) {
  {
    auto key = RegistryKey::OpenOrCreate(kKey);
    ASSERT_TRUE(key);
    key->WriteValue(u"zeta", u"1");
    key->WriteValue(u"alpha", u"2");
    key->WriteValue(u"mid", u"3");
    key->WriteValue(u"ZETA", u"4");  // same name in other letter case: replaced in place
    ASSERT_TRUE(RegistryKey::OpenOrCreate(std::u16string(kKey) + u"\\Zulu"));
    ASSERT_TRUE(RegistryKey::OpenOrCreate(std::u16string(kKey) + u"\\Alpha\\Deep"));
  }
  auto key = RegistryKey::OpenOrCreate(kKey);
  ASSERT_TRUE(key);
  std::vector<std::pair<std::u16string, std::u16string>> values;
  for (size_t i = 0; auto value = key->EnumValue(i); ++i) values.emplace_back(value->name, value->data);
  const std::vector<std::pair<std::u16string, std::u16string>> expected = {
      {u"zeta", u"4"}, {u"alpha", u"2"}, {u"mid", u"3"}};
  EXPECT_EQ(values, expected);
  EXPECT_EQ(key->EnumSubkey(0), u"Zulu");
  EXPECT_EQ(key->EnumSubkey(1), u"Alpha");
  EXPECT_FALSE(key->EnumSubkey(2));
  auto parent = RegistryKey::OpenOrCreate(u"software\\corvane\\tessel 11");
  ASSERT_TRUE(parent);
  EXPECT_EQ(parent->EnumSubkey(0), u"ZARO Settings");
  EXPECT_FALSE(parent->EnumSubkey(1));
}

TEST_F(RegistryHiveTest, KeysOpenTogetherShareOneView) {
  {
    auto first = RegistryKey::OpenOrCreate(u"A");
    auto second = RegistryKey::OpenOrCreate(u"B");
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->WriteValue(u"one", u"1"));
    EXPECT_TRUE(second->WriteValue(u"two", u"2"));
    auto again = RegistryKey::OpenOrCreate(u"A");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->ReadValue(u"one"), u"1");
  }  // every key closed
  EXPECT_EQ(RegistryKey::OpenOrCreate(u"B")->ReadValue(u"two"), u"2");
  EXPECT_EQ(RegistryKey::OpenOrCreate(u"A")->ReadValue(u"one"), u"1");
}

TEST_F(RegistryHiveTest, RefusesBadPathsAndUnusablePlaces) {
  for (const char16_t* bad : {u"", u"A\\\\B", u"A\\", u"\\A"})
    EXPECT_FALSE(RegistryKey::OpenOrCreate(bad)) << ToUtf8(bad);

  // A hive whose folder cannot exist (its parent is a file).
  std::ofstream(folder_ / "plain") << "x";
  ::setenv("TESSEL_REGISTRY_FILE", (folder_ / "plain" / "registry").c_str(), 1);
  EXPECT_FALSE(RegistryKey::OpenOrCreate(kKey));

  // A hive that cannot be read is left where it is, not replaced.
  fs::create_directory(folder_ / "dir-hive");
  ::setenv("TESSEL_REGISTRY_FILE", (folder_ / "dir-hive").c_str(), 1);
  EXPECT_FALSE(RegistryKey::OpenOrCreate(kKey));
  EXPECT_TRUE(fs::is_directory(folder_ / "dir-hive"));
  EXPECT_FALSE(fs::exists(folder_ / "dir-hive.corrupt"));
}

// A writer killed between writing its temporary file and renaming it leaves the file
// behind; the next process that takes the lock removes it and keeps everything else.
TEST_F(RegistryHiveTest, TemporaryFilesOfKilledWritersAreSweptUnderTheLock) {
  ASSERT_TRUE(RegistryKey::OpenOrCreate(kKey)->WriteValue(u"Kept", u"yes"));
  const pid_t writer = ::fork();
  if (writer == 0) {
    // Stands for a write cut short: a temporary file named as the writer names it.
    std::ofstream(file_.string() + ".tmp-" + std::to_string(::getpid()) + "-5eed", std::ios::binary) << "half";
    ::raise(SIGKILL);
  }
  ASSERT_GT(writer, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(writer, &status, 0), writer);
  ASSERT_TRUE(WIFSIGNALED(status));
  std::ofstream(folder_ / "registry.tmp-1-old") << "older";
  std::ofstream(folder_ / "registry-notes.txt") << "not the hive's";
  auto leftovers = [&] {
    return std::count_if(fs::directory_iterator(folder_), fs::directory_iterator(), [](const auto& entry) {
      return entry.path().filename().string().rfind("registry.tmp-", 0) == 0;
    });
  };
  ASSERT_EQ(leftovers(), 2);

  EXPECT_EQ(RegistryKey::OpenOrCreate(kKey)->ReadValue(u"Kept"), u"yes");
  EXPECT_EQ(leftovers(), 0);
  EXPECT_TRUE(fs::exists(folder_ / "registry-notes.txt"));
  EXPECT_TRUE(fs::exists(file_));
}

// A file that does not parse is renamed aside, never overwritten; the hive reads as empty and takes writes again.
TEST_F(RegistryHiveTest, UnparsableHiveIsSetAsideAndReadsAsEmpty) {
  const std::string cases[] = {
      "this is not a hive\n\x01\x02",
      "tessel-registry 1\nkey\tA\n",                               // cut off: no closing line
      "tessel-registry 2\nend\n",                                // unknown format
      "tessel-registry 1\nsz\ta\tb\nend\n",                      // value before any key
      "tessel-registry 1\nkey\tA\\B\nend\n",                     // subkey before its parent
      "tessel-registry 1\nkey\tA\nkey\ta\nend\n",                // the same key twice
      "tessel-registry 1\nkey\tA\nsz\tv\t1\nsz\tV\t2\nend\n",    // the same value twice
      "tessel-registry 1\nkey\tA\nsz\tv\t%4\nend\n",             // broken escape
      "tessel-registry 1\nkey\tA\nsz\tv\t\xff\nend\n",           // not UTF-8
      "tessel-registry 1\nkey\tA\nsz\tv\nend\n",                 // missing field
      "tessel-registry 1\nkey\tA\nend\nkey\tB\n",                // records after the end
  };
  for (const auto& content : cases) {
    SCOPED_TRACE(content);
    std::error_code error;
    fs::remove(folder_ / "registry.corrupt", error);
    WriteHiveFile(content);
    {
      auto key = RegistryKey::OpenOrCreate(u"A");
      ASSERT_TRUE(key);
      EXPECT_FALSE(key->ReadValue(u"v"));
      EXPECT_FALSE(key->EnumValue(0));
      EXPECT_TRUE(key->WriteValue(u"w", u"new"));
    }
    EXPECT_EQ(ReadText(folder_ / "registry.corrupt"), content);
    EXPECT_EQ(RegistryKey::OpenOrCreate(u"A")->ReadValue(u"w"), u"new");
  }
  // A second broken hive does not replace the first one set aside.
  WriteHiveFile("broken");
  EXPECT_FALSE(RegistryKey::OpenOrCreate(u"A")->ReadValue(u"w"));
  EXPECT_EQ(ReadText(folder_ / "registry.corrupt"), cases[std::size(cases) - 1]);
  EXPECT_EQ(ReadText(folder_ / "registry.corrupt.2"), "broken");
  // The well-formed counterpart reads back.
  WriteHiveFile("tessel-registry 1\nkey\tA\nsz\tv\tline%0Anext\nend\n");
  EXPECT_EQ(RegistryKey::OpenOrCreate(u"A")->ReadValue(u"v"), u"line\nnext");
}

}  // namespace
}  // namespace zaro::platform
