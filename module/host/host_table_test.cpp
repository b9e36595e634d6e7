#include <gtest/gtest.h>

#include "host/commands.h"
#include "host/host_table.h"
#include "testing/fake_host.h"

namespace zaro {
namespace {

int CopiedEntries(std::uint32_t size) {
  HostEntry source[60];
  for (int i = 0; i < 60; ++i) source[i] = reinterpret_cast<HostEntry>(static_cast<std::uintptr_t>(0x1000 + i));
  CopyHostTable(source, size);
  int copied = 0;
  for (int i = 0; i < kHostEnvironmentEntries; ++i) {
    const HostEntry entry = HostTable().entries[i];
    if (entry == nullptr) continue;
    EXPECT_EQ(entry, source[i]) << "entry " << i;
    EXPECT_EQ(i, copied) << "entries are copied from the start without gaps";
    ++copied;
  }
  return copied;
}

TEST(HostTableCopy, CopiesEveryEntryThatStartsBeforeTheSize) {
  constexpr auto kWidth = static_cast<std::uint32_t>(sizeof(HostEntry));
  EXPECT_EQ(CopiedEntries(0), 0);
  EXPECT_EQ(CopiedEntries(kWidth), 1);
  EXPECT_EQ(CopiedEntries(2 * kWidth), 2);
  EXPECT_EQ(CopiedEntries(kWidth + kWidth / 2), 2) << "an entry in which the size ends is copied whole";
  EXPECT_EQ(CopiedEntries(1000), kHostEnvironmentEntries);
  EXPECT_EQ(CopiedEntries(100000), kHostEnvironmentEntries) << "a longer table is cut at entry 48";
  CopyHostTable(nullptr, 0);
}

TEST(CommandRegistration, DefinesTheFourCommandsInOrderAndSurvivesAFailure) {
  testing::FakeHost host;
  host.failDefine = u"TestMovie";
  host.Install();
  RegisterCommands();
  const std::vector<std::pair<std::u16string, std::uint32_t>> expected = {
      {u"Publish", 3}, {u"DebugMovie", 4}, {u"OpenSettingDialog", 3}};
  EXPECT_EQ(host.defined, expected);
}

TEST(CommandRegistration, ATableWithoutDefineCommandDefinesNothing) {
  testing::FakeHost host;
  host.Install(static_cast<std::uint32_t>(sizeof(HostEntry)));  // only the library object
  RegisterCommands();
  EXPECT_TRUE(host.defined.empty());
  host.Install(static_cast<std::uint32_t>(2 * sizeof(HostEntry)));  // entries 0 and 1
  RegisterCommands();
  EXPECT_EQ(host.defined.size(), 4u);
  EXPECT_EQ(HostTable().entries[kExecuteScriptEntry], nullptr);
}

}  // namespace
}  // namespace zaro
