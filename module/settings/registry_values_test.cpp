#include "settings/registry_values.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/registry_hive.h"
#include "platform/text.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

namespace fs = std::filesystem;
using platform::RegistryKey;
using ::testing::ElementsAre;
using Pairs = std::vector<std::pair<std::u16string, std::u16string>>;

class RegistryValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.empty());
    ::setenv("TESSEL_REGISTRY_FILE", (folder_ / "registry").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("TESSEL_REGISTRY_FILE");
  }

  static std::u16string ListKey(std::u16string_view subkey) {
    return std::u16string(kSettingsKey) + u"\\" + std::u16string(subkey);
  }
  // The stored values of a list as (name, content), in enumeration order.
  static Pairs Stored(std::u16string_view subkey) {
    Pairs values;
    auto key = RegistryKey::OpenOrCreate(ListKey(subkey));
    for (size_t i = 0; key; ++i) {
      auto value = key->EnumValue(i);
      if (!value) break;
      values.emplace_back(value->name, value->data);
    }
    return values;
  }
  static void StoreRaw(std::u16string_view keyPath, std::u16string_view name, std::u16string_view data) {
    auto key = RegistryKey::OpenOrCreate(keyPath);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteValue(name, data));
  }
  static std::u16string FileName(size_t index) { return u"file" + FromUtf8(std::to_string(index + 1)); }

  testing::ScratchFolder scratch_{"regvalues-test"};
  const fs::path folder_ = scratch_.Path();
};

// ---- The merge rule of WriteRegistryList -------------------------------------------------

struct MergeCase {
  const char* what;
  std::vector<std::u16string> stored;               // raw values file1, file2, ... before the merges
  std::vector<std::vector<std::u16string>> merges;  // one WriteRegistryList(limit 10) each
  std::vector<std::u16string> expected;             // file1, file2, ... afterwards
};

std::vector<std::u16string> Paths(const std::string& prefix, int from, int to) {
  std::vector<std::u16string> paths;
  for (int i = from; i <= to; ++i) paths.push_back(FromUtf8(prefix + std::to_string(i)));
  return paths;
}
std::vector<std::u16string> Join(std::vector<std::u16string> a, const std::vector<std::u16string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(RegistryValuesTest, MergeRule) {
  const std::vector<std::u16string> ten = Paths("/c/old", 1, 10);
  const std::u16string fits(259, u'q');
  const MergeCase cases[] = {
      {"new paths are appended; stored ones anywhere are neither rewritten nor moved; case counts",
       {}, {{u"A", u"B"}, {u"B", u"C"}, {u"C", u"A", u"a"}}, {u"A", u"B", u"C", u"a"}},
      {"a full list is overwritten from file1, and every merge numbers from file1 again",
       ten, {{u"X"}, {u"Y", u"Z"}}, Join({u"Y", u"Z"}, Paths("/c/old", 3, 10))},
      {"two new paths into a full list take file1 and file2",
       ten, {{u"/c/old4", u"X1", u"X2"}}, Join({u"X1", u"X2"}, Paths("/c/old", 3, 10))},
      {"the walk stops once past the limit: the eleventh is file11, the twelfth dropped",
       ten, {Paths("/n/", 1, 12)}, Paths("/n/", 1, 11)},
      {"the same from an empty list", {}, {Paths("/i/", 1, 12)}, Paths("/i/", 1, 11)},
      {"paths too long to be read back are skipped", {}, {{u"A", std::u16string(260, u'p'), u"B"}, {fits}},
       {u"A", u"B", fits}},
      {"only the values a read would see count: an overlong value ends the enumeration",
       {u"A", std::u16string(300, u'L'), u"C"}, {{u"C", u"D"}}, {u"A", u"C", u"D"}},
  };
  for (const MergeCase& c : cases) {
    SCOPED_TRACE(c.what);
    ::setenv("TESSEL_REGISTRY_FILE", (folder_ / ("registry-" + std::to_string(&c - cases))).c_str(), 1);
    for (size_t i = 0; i < c.stored.size(); ++i) StoreRaw(ListKey(u"CertPath"), FileName(i), c.stored[i]);
    for (const auto& merge : c.merges) WriteRegistryList(u"CertPath", 10, merge);
    Pairs expected;
    for (size_t i = 0; i < c.expected.size(); ++i) expected.emplace_back(FileName(i), c.expected[i]);
    EXPECT_EQ(Stored(u"CertPath"), expected);
    std::vector<std::u16string> read;
    ReadRegistryList(u"CertPath", read);
    EXPECT_EQ(read, c.expected);
  }
}

// ---- Reading lists -----------------------------------------------------------------------

TEST_F(RegistryValuesTest, ListReadAppendsInEnumerationOrderUpToAnOverlongValue) {
  std::vector<std::u16string> read = {u"kept"};
  ReadRegistryList(u"CertPath", read);  // nothing stored yet
  EXPECT_THAT(read, ElementsAre(u"kept"));

  StoreRaw(ListKey(u"CertPath"), u"file2", u"second-created");
  StoreRaw(ListKey(u"CertPath"), u"file1", u"first-name");
  StoreRaw(ListKey(u"CertPath"), u"file3", std::u16string(259, u'x'));
  StoreRaw(ListKey(u"CertPath"), u"file4", std::u16string(260, u'y'));
  StoreRaw(ListKey(u"CertPath"), u"file5", u"hidden");
  ReadRegistryList(u"CertPath", read);
  EXPECT_THAT(read, ElementsAre(u"kept", u"second-created", u"first-name", std::u16string(259, u'x')));

  StoreRaw(ListKey(u"IpaCertPath"), u"file1", u"a");
  StoreRaw(ListKey(u"IpaCertPath"), std::u16string(260, u'n'), u"b");  // overlong name
  StoreRaw(ListKey(u"IpaCertPath"), u"file3", u"c");
  std::vector<std::u16string> ipa;
  ReadRegistryList(u"IpaCertPath", ipa);
  EXPECT_THAT(ipa, ElementsAre(u"a"));
}

// ---- Single values -----------------------------------------------------------------------

// Reads take up to 511 characters and leave the output alone otherwise; writes take up to
// 1023 and refuse longer texts rather than cut them.
TEST_F(RegistryValuesTest, SingleValuesWithinTheirBuffers) {
  std::u16string out = u"caller's";
  ReadRegistryValue(u"DigitalSign", out);
  EXPECT_EQ(out, u"caller's");
  WriteRegistryValue(u"DigitalSign", u"prepare");
  ReadRegistryValue(u"digitalsign", out);  // names ignore letter case, as on Windows
  EXPECT_EQ(out, u"prepare");

  WriteRegistryValue(u"Last Selected Cert", std::u16string(511, u'a'));
  ReadRegistryValue(u"Last Selected Cert", out);
  EXPECT_EQ(out, std::u16string(511, u'a'));
  WriteRegistryValue(u"Last Selected Cert", std::u16string(512, u'b'));
  ReadRegistryValue(u"Last Selected Cert", out);
  EXPECT_EQ(out, std::u16string(511, u'a'));

  WriteRegistryValue(u"Last IPA Cert", u"/k/a.p12");
  WriteRegistryValue(u"Last IPA Cert", std::u16string(1024, u'z'));
  EXPECT_EQ(RegistryKey::OpenOrCreate(kSettingsKey)->ReadValue(u"Last IPA Cert"), u"/k/a.p12");
  WriteRegistryValue(u"Last IPA Cert", std::u16string(1023, u'z'));
  EXPECT_EQ(RegistryKey::OpenOrCreate(kSettingsKey)->ReadValue(u"Last IPA Cert"), std::u16string(1023, u'z'));
}

TEST_F(RegistryValuesTest, UnusableHiveMakesReadsKeepAndWritesDoNothing) {
  std::ofstream(folder_ / "file") << "x";
  ::setenv("TESSEL_REGISTRY_FILE", (folder_ / "file" / "registry").c_str(), 1);
  WriteRegistryValue(u"DigitalSign", u"sign");
  WriteRegistryList(u"CertPath", 10, {u"A"});
  std::u16string mode = u"kept";
  ReadRegistryValue(u"DigitalSign", mode);
  EXPECT_EQ(mode, u"kept");
  std::vector<std::u16string> list;
  ReadRegistryList(u"CertPath", list);
  EXPECT_TRUE(list.empty());
}

// ---- Two hosts side by side --------------------------------------------------------------

TEST_F(RegistryValuesTest, ConcurrentMergesFromTwoProcessesLoseNoPath) {
  constexpr int kPaths = 25;
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = ::fork();
    ASSERT_GE(children[child], 0);
    if (children[child] == 0) {
      for (int i = 0; i < kPaths; ++i) {
        WriteRegistryList(u"CertPath", 1000, {FromUtf8("/p" + std::to_string(child) + "/" + std::to_string(i))});
        WriteRegistryValue(FromUtf8("v" + std::to_string(child) + "-" + std::to_string(i)), u"x");
      }
      ::_exit(0);
    }
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const Pairs stored = Stored(u"CertPath");
  ASSERT_EQ(stored.size(), 2u * kPaths);
  std::set<std::u16string> names;
  std::set<std::u16string> paths;
  for (const auto& [name, path] : stored) {
    names.insert(name);
    paths.insert(path);
  }
  EXPECT_EQ(names.size(), 2u * kPaths);  // every merge numbered after the other's
  EXPECT_EQ(paths.size(), 2u * kPaths);
  EXPECT_EQ(*names.begin(), u"file1");
  for (int child = 0; child < 2; ++child) {
    for (int i = 0; i < kPaths; ++i) {
      std::u16string value;
      ReadRegistryValue(FromUtf8("v" + std::to_string(child) + "-" + std::to_string(i)), value);
      EXPECT_EQ(value, u"x");
    }
  }
}

}  // namespace
}  // namespace zaro
