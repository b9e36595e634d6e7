#pragma once
// CSettingsPropSheet, the settings property sheet: the pages of the publish target, OK, Cancel, Publish (in the
// place of Apply) and Help. The sheet holds no settings of its own; it orders the pages'
// commits, decides whether the document settings are kept (com.zaro.quessa.exitok) and
// starts packaging.
//
// Form name "Settings", title message 8087 (desktop) or 8095 (iPhone).
// Pages, by index (a slot whose page is not part of this build stays empty):
//   desktop  0 "General" 常规   1 "Signature" 签名   2 "Icons" 图标   3 "Advanced" 高级
//   iPhone   0 "General" 常规   1 "Deployment" 部署  2 "Icons" 图标
// Fields:
//   page             Choice  the active page's name; its items are the pages present, in
//                            tab order. Setting it brings that page to the front.
//   <Page>.<field>   every field of every page present, e.g. "Signature.certpath".
// Buttons: OK, Cancel, Publish (caption message 8086), Help, and every page button as
//   <Page>.<button>, e.g. "Signature.browse".
// Setting a page's field or pressing one of its buttons brings that page to the front
// first, as clicking its tab would, so the page counts as opened. Reading never does, but
// RevealField (an answers file's "expect" step) brings the page to the front the same way.
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "packaging/package_command.h"
#include "ui/form_state.h"

namespace zaro {

// What the sheet reaches outside itself; an empty member means the real operation.
struct SheetServices {
  std::function<int(PackageTarget, bool)> package;    // Package
  std::function<std::u16string()> javaRuntimeFolder;  // GetJavaRuntimeFolder
};

class CSettingsPropSheet : public FormState {
 public:
  static constexpr int kGeneralPage = 0;
  static constexpr int kSignaturePage = 1;
  static constexpr int kIconsPage = 2;
  static constexpr int kAdvancedPage = 3;
  static constexpr int kIpaGeneralPage = 0;
  static constexpr int kDeploymentPage = 1;
  static constexpr int kIpaIconsPage = 2;
  static constexpr int kMaxPages = 4;

  // Reads com.zaro.quessa.pubipa for the title and the page set. The initial page is
  // brought to the front when the sheet is shown (the first page present when that slot
  // is empty).
  explicit CSettingsPropSheet(int initialPage = 0, SheetServices services = {});

  std::string FormName() const override { return "Settings"; }
  // The sheet's window is created: Help and Publish captions, the initial page filled.
  void OnShow() override;

  bool IsIphone() const { return iphone_; }
  // 4 on desktop, 3 on iPhone.
  int PageSlots() const { return iphone_ ? 3 : 4; }
  // The page in a slot, or null when the slot is empty or out of range.
  PageState* Page(int index) const;
  // The index of the page in front; -1 before the sheet is shown or without pages.
  int ActivePage() const { return activePage_; }
  // Brings a page to the front (filling it the first time); false for an empty slot.
  bool SetActivePage(int index);
  // Puts a page into a slot, replacing what was there (also null to empty it).
  void SetPage(int index, std::unique_ptr<PageState> page);
  // The window system's caption of the Help button; "?" is shown as "Aiuto".
  void SetSystemHelpCaption(std::u16string caption) { systemHelpCaption_ = std::move(caption); }

  std::vector<std::string> FieldNames() const override;
  std::optional<std::u16string> GetField(std::string_view name) const override;
  bool SetField(std::string_view name, std::u16string_view value) override;
  bool Press(std::string_view control) override;
  // A page's field is read with its page in front (filled), as the author would see it.
  void RevealField(std::string_view name) override;
  bool IsSecretField(std::string_view name) const override;

  // The commits of the OK button: 0 nothing to keep, 1 a page changed document settings,
  // -1 a page refused its values (it has shown why) and the sheet stays open.
  int ApplyDesktopPages();
  int ApplyIphonePages();
  // False after message 8100 when there is no Java runtime folder.
  bool CheckJavaRuntime();
  // False after message 8088 when the iPhone packager is not installed.
  bool CheckIphonePackager();

 protected:
  void OnButton(std::string_view name) override;
  void OnFieldChanged(std::string_view name) override;

 private:
  PageState* OpenedPage(int index) const;
  // The slot of the page named `name`, or -1.
  int PageIndex(std::string_view name) const;
  void RefreshPageField();
  // The Advanced page's commit, when it was opened; false when it refused.
  bool CommitAdvancedPage();
  void AcceptPages();
  void Publish();
  void PublishIphone();
  void PublishDesktop();
  // Brings `index` to the front and commits it with messages on; on success puts the page
  // that was in front before back. True when accepted (or when the slot is empty).
  bool CommitInFront(int index, int previousActive);

  bool iphone_ = false;
  int initialPage_ = 0;
  int activePage_ = -1;
  std::u16string systemHelpCaption_ = u"帮助";
  SheetServices services_;
  std::array<std::unique_ptr<PageState>, kMaxPages> pages_;
};

// Runs the settings sheet modally after making sure the movie's descriptor is parsed.
// 0 when the descriptor could not be parsed (message 8031 was shown) and no sheet was
// shown; 1 once the sheet was closed.
int OpenSettingsSheet(int initialPage);

}  // namespace zaro
