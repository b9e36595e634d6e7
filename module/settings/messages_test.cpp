#include "settings/messages.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <tuple>

#include "settings/settings_store.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

TEST(MessageCatalogueTest, HoldsEveryIdentifierExcept8027And8085) {
  for (unsigned id = 7999; id <= 8109; ++id) {
    EXPECT_EQ(LoadCatalogueText(id).empty(), id < 8000 || id > 8108 || id == 8027 || id == 8085) << id;
  }
  // Texts come back whole, trailing space and line breaks included.
  EXPECT_EQ(LoadCatalogueText(8038), u"application.initialWindow.minSize 大于 application.initialWindow.maxSize ");
  EXPECT_EQ(LoadCatalogueText(8060), u"创建 ZARO 文件时出错。\n\n");
}

TEST(LoadMessageTest, AKitModuleAnswersFirstFromTheLookUpAfterItWasLoaded) {
  // Without a loaded module of the kit's name the own catalogue answers.
  for (const std::u16string_view kit : {u"", u"ZS", u"ZSK2.0"}) {
    SetSetting(keys::kKitName, kit);
    for (unsigned id = 7990; id <= 8120; ++id) EXPECT_EQ(LoadMessage(id), LoadCatalogueText(id)) << id;
  }
  EXPECT_EQ(LoadMessage(8010), u"Corvane Tessel KV5") << "the answer kept";
  void* module = ::dlopen(ZARO_TEST_MESSAGE_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << ::dlerror();
  // The module has no text 8003; 9000 outgrows the first buffers and 9001 fills the first.
  std::vector<std::u16string> texts;
  for (unsigned id : {8010, 8001, 8003, 9000, 9001}) texts.push_back(LoadMessage(id));
  EXPECT_EQ(texts, (std::vector<std::u16string>{u"Kit title", u"kit 8001", u"", std::u16string(600, u'x') + u"end",
                                                std::u16string(255, u'y')}));
  // Another kit version names another module, which is not loaded.
  SetSetting(keys::kKitName, u"ZSK1.5");
  EXPECT_EQ(LoadMessage(8010), u"Corvane Tessel KV5");
  EXPECT_EQ(LoadMessage(8003), u"指定的证书不存在。");
  SetSetting(keys::kKitName, u"ZSK2.0");
  ::dlclose(module);
  EXPECT_EQ(LoadMessage(8010), u"Corvane Tessel KV5") << "unloaded again";
  RemoveSetting(keys::kKitName);
}

TEST(ShowMessageTest, BoxesCarryTheTitleAndTheCallersStyle) {
  testing::ScopedScriptedUi ui;
  EXPECT_EQ(ShowMessage(u"detail"), kIdOk);
  EXPECT_EQ(ShowCatalogueMessage(8103, kMbIconInformation), kIdOk);
  ui->QueueButton(kIdYes);
  EXPECT_EQ(ShowCatalogueMessage(8008, kMbYesNo | kMbIconQuestion), kIdYes);
  EXPECT_EQ(ShowCatalogueMessage(8027), kIdOk);  // no text, still a box
  using Box = std::tuple<std::string, std::u16string, std::u16string, unsigned>;  // kind, title, text, style
  std::vector<Box> shown;
  for (const UiEvent& event : ui->Events()) shown.emplace_back(event.kind, event.title, event.text, event.style);
  const std::u16string title = u"Corvane Tessel KV5";
  EXPECT_EQ(shown, (std::vector<Box>{{"message", title, u"detail", 48},
                                     {"message", title, u"用于发布 qmv 文件的目标文件夹不存在。", 64},
                                     {"message", title, u"证书文件存在。是否覆盖它？", 36},
                                     {"message", title, u"", 48}}));
  EXPECT_EQ(ui->Failures(), 0);
}

}  // namespace
}  // namespace zaro
