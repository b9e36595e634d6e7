#include "settings/messages.h"

#include <dlfcn.h>

#include <memory>

#include <gtest/gtest.h>

#include "platform/scripted_ui.h"
#include "settings/settings_store.h"
#include "testing/scratch.h"

namespace zaro {
namespace {

// ---- The module's own catalogue ----------------------------------------------------------

TEST(MessageCatalogueTest, HoldsEveryIdentifierExcept8027And8085) {
  for (unsigned id = 7999; id <= 8109; ++id) {
    const bool defined = id >= 8000 && id <= 8108 && id != 8027 && id != 8085;
    EXPECT_EQ(LoadCatalogueText(id).empty(), !defined) << id;
  }
  // Texts come back whole, trailing space and line breaks included.
  EXPECT_EQ(LoadCatalogueText(8038),
            u"application.initialWindow.minSize 大于 application.initialWindow.maxSize ");
  EXPECT_EQ(LoadCatalogueText(8060), u"创建 ZARO 文件时出错。\n\n");
}

// ---- LoadMessage and the kit's message module --------------------------------------------

class LoadMessageTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (module_) ::dlclose(module_);
    RemoveSetting(keys::kKitName);
  }
  void LoadKitModule() {
    module_ = ::dlopen(ZARO_TEST_MESSAGE_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << ::dlerror();
  }
  void* module_ = nullptr;
};

TEST_F(LoadMessageTest, WithoutAKitModuleTheOwnCatalogueAnswers) {
  for (const std::u16string_view kit : {u"", u"ZSK2.0", u"ZS"}) {
    SetSetting(keys::kKitName, kit);
    for (unsigned id = 7990; id <= 8120; ++id) EXPECT_EQ(LoadMessage(id), LoadCatalogueText(id)) << id;
  }
}

TEST_F(LoadMessageTest, ALoadedModuleOfTheKitsNameAnswersFirst) {
  LoadKitModule();
  SetSetting(keys::kKitName, u"ZSK2.0");
  EXPECT_EQ(LoadMessage(8010), u"Kit title");
  EXPECT_EQ(LoadMessage(8001), u"kit 8001");
  EXPECT_EQ(LoadMessage(8003), u"");  // the module has no such text
  EXPECT_EQ(LoadMessage(9000), std::u16string(600, u'x') + u"end");
  EXPECT_EQ(LoadMessage(9001), std::u16string(255, u'y'));

  // Another kit version names another module, which is not loaded.
  SetSetting(keys::kKitName, u"ZSK1.5");
  EXPECT_EQ(LoadMessage(8010), u"Corvane Tessel KV5");
  EXPECT_EQ(LoadMessage(8003), u"指定的证书不存在。");
}

TEST_F(LoadMessageTest, AModuleLoadedOrUnloadedLaterIsSeenAtTheNextLookUp) {
  SetSetting(keys::kKitName, u"ZSK2.0");
  EXPECT_EQ(LoadMessage(8010), u"Corvane Tessel KV5") << "not loaded yet";
  EXPECT_EQ(LoadMessage(8010), u"Corvane Tessel KV5") << "the answer kept";
  LoadKitModule();
  EXPECT_EQ(LoadMessage(8010), u"Kit title");
  EXPECT_EQ(LoadMessage(8001), u"kit 8001");
  ::dlclose(module_);
  module_ = nullptr;
  EXPECT_EQ(LoadMessage(8010), u"Corvane Tessel KV5") << "unloaded again";
}

// ---- Message boxes -----------------------------------------------------------------------

class ShowMessageTest : public ::testing::Test {
 protected:
  testing::ScopedScriptedUi ui_;
};

TEST_F(ShowMessageTest, BoxesCarryTheTitleAndTheCallersStyle) {
  EXPECT_EQ(ShowMessage(u"detail"), kIdOk);
  EXPECT_EQ(ShowCatalogueMessage(8103, kMbIconInformation), kIdOk);
  ui_->QueueButton(kIdYes);
  EXPECT_EQ(ShowCatalogueMessage(8008, kMbYesNo | kMbIconQuestion), kIdYes);
  EXPECT_EQ(ShowCatalogueMessage(8027), kIdOk);  // no text, still a box

  const auto& events = ui_->Events();
  ASSERT_EQ(events.size(), 4u);
  for (const auto& event : events) {
    EXPECT_EQ(event.kind, "message");
    EXPECT_EQ(event.title, u"Corvane Tessel KV5");
  }
  EXPECT_EQ(events[0].text, u"detail");
  EXPECT_EQ(events[0].style, 48u);
  EXPECT_EQ(events[1].text, u"用于发布 qmv 文件的目标文件夹不存在。");
  EXPECT_EQ(events[1].style, 64u);
  EXPECT_EQ(events[2].text, u"证书文件存在。是否覆盖它？");
  EXPECT_EQ(events[2].style, 36u);
  EXPECT_EQ(events[3].text, u"");
  EXPECT_EQ(ui_->Failures(), 0);
}

}  // namespace
}  // namespace zaro
