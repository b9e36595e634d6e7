#include "host/command_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/scripted_ui.h"
#include "settings/settings_store.h"
#include "testing/fake_host.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

class PrepareCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() / ("prepare-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "My Work");
    host.Install();
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::u16string Url(const std::string& name) {
    std::u16string url = u"file:///" + platform::ToWindowsForm((folder / name).string());
    for (char16_t& c : url) c = c == u'\\' ? u'/' : c;
    std::u16string escaped;
    for (char16_t c : url) escaped += c == u' ' ? std::u16string(u"%20") : std::u16string(1, c);
    return escaped;
  }
  bool Prepare(std::optional<std::u16string> document, std::optional<std::u16string> movie,
               std::optional<std::u16string> version) {
    return PrepareCommand(1, 2, host.Value(document), host.Value(movie), host.Value(version));
  }

  std::filesystem::path folder;
  testing::FakeHost host;
  testing::ScopedScriptedUi ui;
};

TEST_F(PrepareCommandTest, FillsThePathsAndTheCommandSettings) {
  host.data[u"qmv.folder.path"] = u"C:/elsewhere/";
  ASSERT_TRUE(Prepare(Url("My Work/Hello.tsd"), Url("My Work/Hello.qmv"), u"2.0"));
  const CommandPaths& paths = CurrentCommandPaths();
  const std::u16string folderText = platform::ToWindowsForm((folder / "My Work").string());
  std::u16string slashFolder = folderText + u"\\";
  for (char16_t& c : slashFolder) c = c == u'\\' ? u'/' : c;
  EXPECT_EQ(paths.movieFolder, slashFolder);
  EXPECT_EQ(paths.movieBaseName, u"Hello");
  EXPECT_EQ(paths.moviePath, folderText + u"\\Hello.qmv");
  EXPECT_EQ(paths.documentPath, slashFolder + u"Hello.tsd");
  EXPECT_EQ(paths.kitName, u"ZSK2.0");
  EXPECT_EQ(paths.descriptorPath, slashFolder + u"Hello-app.xml");
  EXPECT_EQ(paths.launchFolder.back(), u'/');
  EXPECT_EQ(GetSetting(keys::kMovieFolder), slashFolder) << "the command's folder replaces the stored one";
  EXPECT_EQ(GetSetting(keys::kKitName), u"ZSK2.0");
  EXPECT_EQ(GetSetting(keys::kLaunchPath), paths.launchFolder);
  EXPECT_TRUE(ui->Events().empty());

  ASSERT_TRUE(Prepare(Url("My Work/Hello.tsd"), Url("My Work/Hello.qmv"), std::nullopt));
  EXPECT_EQ(CurrentCommandPaths().kitName, u"ZSK1.0");
}

TEST_F(PrepareCommandTest, RefusesMissingAndOverlongArguments) {
  EXPECT_FALSE(Prepare(std::nullopt, Url("My Work/Hello.qmv"), u"2.0"));
  EXPECT_FALSE(Prepare(Url("My Work/Hello.tsd"), std::nullopt, u"2.0"));
  const std::u16string base = Url("My Work/");
  const auto ofLength = [&](size_t length) { return base + std::u16string(length - base.size() - 4, u'a') + u".qmv"; };
  EXPECT_FALSE(Prepare(Url("My Work/Hello.tsd"), ofLength(261), u"2.0"));
  EXPECT_TRUE(Prepare(Url("My Work/Hello.tsd"), ofLength(259), u"2.0"));
  EXPECT_TRUE(ui->Events().empty()) << "refusals show nothing";
}

TEST_F(PrepareCommandTest, AMissingMovieFolderShowsTheInformationMessage) {
  EXPECT_FALSE(Prepare(Url("Gone/Hello.tsd"), Url("Gone/Hello.qmv"), u"2.0"));
  ASSERT_EQ(ui->Events().size(), 1u);
  EXPECT_EQ(ui->Events()[0].text, u"用于发布 qmv 文件的目标文件夹不存在。");
  EXPECT_EQ(ui->Events()[0].style, 64u);
}

}  // namespace
}  // namespace zaro
