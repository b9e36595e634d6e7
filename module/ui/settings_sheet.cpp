#include "ui/settings_sheet.h"

#include "descriptor/descriptor_reader.h"
#include "packaging/tool_locations.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/messages.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"
#include "signing/digital_signature_page.h"
#include "signing/signature_password_dialog.h"
#include "ui/advanced_settings_page.h"
#include "ui/app_settings_page.h"
#include "ui/icon_preview_page.h"
#include "ui/ipa_deploy_page.h"
#include "ui/ipa_settings_page.h"

namespace zaro {
namespace {

constexpr unsigned kPublishCaption = 8086;
constexpr unsigned kDesktopTitle = 8087;
constexpr unsigned kIphonePackagerMissing = 8088;
constexpr unsigned kIphoneHelpLink = 8094;
constexpr unsigned kIphoneTitle = 8095;
constexpr unsigned kNoJavaRuntime = 8100;
constexpr unsigned kDesktopHelpLink = 8104;

// The page of each slot, in tab order. Pages this build does not have yet stay empty.
std::unique_ptr<PageState> MakePage(bool iphone, int index) {
  if (iphone) {
    switch (index) {
      case CSettingsPropSheet::kIpaGeneralPage: return std::make_unique<CIpaSettingsDlg>();
      case CSettingsPropSheet::kDeploymentPage: return std::make_unique<CFaiDeployDlg>();
      case CSettingsPropSheet::kIpaIconsPage: return std::make_unique<CIconPreviewDlg>();
      default: return nullptr;
    }
  }
  switch (index) {
    case CSettingsPropSheet::kGeneralPage: return std::make_unique<CAppSettingsDlg>();
    case CSettingsPropSheet::kSignaturePage: return std::make_unique<CDigitalSigDlg>();
    case CSettingsPropSheet::kIconsPage: return std::make_unique<CIconPreviewDlg>();
    case CSettingsPropSheet::kAdvancedPage: return std::make_unique<CAdvancedSettingsDlg>();
    default: return nullptr;
  }
}

}  // namespace

CSettingsPropSheet::CSettingsPropSheet(int initialPage, SheetServices services)
    : iphone_(SettingIsTrue(keys::kPubIpa)), initialPage_(initialPage), services_(std::move(services)) {
  if (!services_.package) services_.package = Package;
  if (!services_.javaRuntimeFolder) services_.javaRuntimeFolder = GetJavaRuntimeFolder;
  SetTitle(LoadMessage(iphone_ ? kIphoneTitle : kDesktopTitle));
  FormField page = MakeField("page", FieldKind::Choice, u"");
  page.editable = false;
  AddField(std::move(page));
  AddButton(MakeButton("OK", u"确定", true));
  AddButton(MakeButton("Cancel", u"取消"));
  AddButton(MakeButton("Publish", LoadMessage(kPublishCaption)));
  AddButton(MakeButton("Help", systemHelpCaption_));
  for (int index = 0; index < PageSlots(); ++index) pages_[static_cast<size_t>(index)] = MakePage(iphone_, index);
  RefreshPageField();
}

void CSettingsPropSheet::OnShow() {
  FindButton("Help")->label = systemHelpCaption_ == u"?" ? std::u16string(u"Aiuto") : systemHelpCaption_;
  FindButton("Publish")->label = LoadMessage(kPublishCaption);
  if (activePage_ >= 0) return;
  if (SetActivePage(initialPage_)) return;
  for (int index = 0; index < PageSlots(); ++index) {
    if (SetActivePage(index)) return;
  }
}

PageState* CSettingsPropSheet::Page(int index) const {
  if (index < 0 || index >= PageSlots()) return nullptr;
  return pages_[static_cast<size_t>(index)].get();
}

PageState* CSettingsPropSheet::OpenedPage(int index) const {
  PageState* page = Page(index);
  return page != nullptr && page->Opened() ? page : nullptr;
}

int CSettingsPropSheet::PageIndex(std::string_view name) const {
  for (int index = 0; index < PageSlots(); ++index) {
    if (const PageState* page = Page(index); page != nullptr && page->FormName() == name) return index;
  }
  return -1;
}

bool CSettingsPropSheet::SetActivePage(int index) {
  PageState* page = Page(index);
  if (page == nullptr) return false;
  activePage_ = index;
  page->Activate();
  RefreshPageField();
  return true;
}

void CSettingsPropSheet::SetPage(int index, std::unique_ptr<PageState> page) {
  if (index < 0 || index >= PageSlots()) return;
  pages_[static_cast<size_t>(index)] = std::move(page);
  if (index == activePage_) {
    // The page in front was replaced: the new one is filled as the old one was.
    if (PageState* replacement = Page(index)) {
      replacement->Activate();
    } else {
      activePage_ = -1;
    }
  }
  RefreshPageField();
}

void CSettingsPropSheet::RefreshPageField() {
  FormField* field = FindField("page");
  field->items.clear();
  for (int index = 0; index < PageSlots(); ++index) {
    if (const PageState* page = Page(index)) field->items.push_back(FromUtf8(page->FormName()));
  }
  const PageState* active = Page(activePage_);
  field->text = active != nullptr ? FromUtf8(active->FormName()) : std::u16string();
}

std::vector<std::string> CSettingsPropSheet::FieldNames() const {
  std::vector<std::string> names = FormState::FieldNames();
  for (int index = 0; index < PageSlots(); ++index) {
    const PageState* page = Page(index);
    if (page == nullptr) continue;
    for (const std::string& field : page->FieldNames()) names.push_back(page->FormName() + "." + field);
  }
  return names;
}

std::optional<std::u16string> CSettingsPropSheet::GetField(std::string_view name) const {
  const size_t dot = name.find('.');
  if (dot == std::string_view::npos) return FormState::GetField(name);
  const PageState* page = Page(PageIndex(name.substr(0, dot)));
  if (page == nullptr) return std::nullopt;
  return page->GetField(name.substr(dot + 1));
}

void CSettingsPropSheet::RevealField(std::string_view name) {
  const size_t dot = name.find('.');
  if (dot != std::string_view::npos) SetActivePage(PageIndex(name.substr(0, dot)));
}

bool CSettingsPropSheet::IsSecretField(std::string_view name) const {
  const size_t dot = name.find('.');
  if (dot == std::string_view::npos) return FormState::IsSecretField(name);
  const PageState* page = Page(PageIndex(name.substr(0, dot)));
  return page != nullptr && page->IsSecretField(name.substr(dot + 1));
}

bool CSettingsPropSheet::SetField(std::string_view name, std::u16string_view value) {
  const size_t dot = name.find('.');
  if (dot == std::string_view::npos) {
    if (name == "page" && PageIndex(ToUtf8(value)) < 0) return false;
    return FormState::SetField(name, value);
  }
  const int index = PageIndex(name.substr(0, dot));
  if (!SetActivePage(index)) return false;
  return Page(index)->SetField(name.substr(dot + 1), value);
}

bool CSettingsPropSheet::Press(std::string_view control) {
  const size_t dot = control.find('.');
  if (dot == std::string_view::npos) return FormState::Press(control);
  const int index = PageIndex(control.substr(0, dot));
  if (!SetActivePage(index)) return false;
  return Page(index)->Press(control.substr(dot + 1));
}

void CSettingsPropSheet::OnFieldChanged(std::string_view name) {
  if (name == "page") SetActivePage(PageIndex(ToUtf8(Text("page"))));
}

void CSettingsPropSheet::OnButton(std::string_view name) {
  if (name == "OK") {
    AcceptPages();
  } else if (name == "Cancel") {
    // Leaves com.zaro.quessa.exitok as the command set it, so nothing is saved.
    Close(kIdCancel);
  } else if (name == "Help") {
    OpenHelpLink(SettingIsTrue(keys::kPubIpa) ? kIphoneHelpLink : kDesktopHelpLink);
  } else if (name == "Publish") {
    Publish();
  }
}

int CSettingsPropSheet::ApplyDesktopPages() {
  int result = 0;
  if (PageState* signature = OpenedPage(kSignaturePage)) {
    signature->CommitFromSheet(false);  // with messages off it always stores what it has
    if (signature->Changed()) result = 1;
  }
  if (!CommitAdvancedPage()) return -1;
  if (PageState* general = OpenedPage(kGeneralPage)) {
    if (general->CommitFromSheet(true) != 0) return -1;
    if (general->Changed()) result = 1;
  }
  if (PageState* icons = OpenedPage(kIconsPage); icons != nullptr && icons->Changed()) result = 1;
  return result;
}

int CSettingsPropSheet::ApplyIphonePages() {
  int result = 0;
  if (PageState* deployment = OpenedPage(kDeploymentPage)) {
    deployment->CommitFromSheet(false);
    if (deployment->Changed()) result = 1;
  }
  if (PageState* general = OpenedPage(kIpaGeneralPage)) {
    if (general->CommitFromSheet(true) != 0) return -1;
    if (general->Changed()) result = 1;
  }
  if (PageState* icons = OpenedPage(kIpaIconsPage); icons != nullptr && icons->Changed()) result = 1;
  return result;
}

bool CSettingsPropSheet::CommitAdvancedPage() {
  PageState* advanced = OpenedPage(kAdvancedPage);
  if (advanced == nullptr) return true;
  if (advanced->CommitFromSheet(true) != 0) return false;
  // The Advanced page changes the descriptor document only and the General page's commit
  // saves it; when that page was never opened, its commit does not run, so the file is
  // saved here or the changes would be lost (packaging reads the file, not the document).
  if (OpenedPage(kGeneralPage) == nullptr) SaveDescriptor(MovieDescriptor(), MovieDescriptorPath());
  return true;
}

void CSettingsPropSheet::AcceptPages() {
  const int result = SettingIsTrue(keys::kPubIpa) ? ApplyIphonePages() : ApplyDesktopPages();
  if (result < 0) return;
  SetSetting(keys::kExitOk, result == 1 ? u"true" : u"false");
  Close(kIdOk);
}

bool CSettingsPropSheet::CheckJavaRuntime() {
  if (!services_.javaRuntimeFolder().empty()) return true;
  ShowCatalogueMessage(kNoJavaRuntime);
  return false;
}

bool CSettingsPropSheet::CheckIphonePackager() {
  if (platform::FileExists(GetIphonePackagerPath())) return true;
  ShowCatalogueMessage(kIphonePackagerMissing, kMbIconInformation);
  return false;
}

bool CSettingsPropSheet::CommitInFront(int index, int previousActive) {
  PageState* page = Page(index);
  if (page == nullptr) return true;
  SetActivePage(index);
  if (page->CommitFromSheet(true) != 0) return false;  // the refusing page stays in front
  if (previousActive != index) SetActivePage(previousActive);
  return true;
}

// The sheet stays open whatever happens; packaging results are reported by packaging.
void CSettingsPropSheet::Publish() {
  const bool iphone = SettingIsTrue(keys::kPubIpa);
  if (!CheckJavaRuntime()) return;
  if (iphone) {
    PublishIphone();
  } else {
    PublishDesktop();
  }
}

void CSettingsPropSheet::PublishIphone() {
  const int previousActive = activePage_;
  if (!CheckIphonePackager()) return;
  if (!CommitInFront(kDeploymentPage, previousActive)) return;
  if (PageState* general = OpenedPage(kIpaGeneralPage); general != nullptr && general->CommitFromSheet(true) != 0) {
    return;
  }
  services_.package(IphonePackage, true);
}

void CSettingsPropSheet::PublishDesktop() {
  const int previousActive = activePage_;
  if (!CommitInFront(kSignaturePage, previousActive)) return;
  if (!CommitAdvancedPage()) {
    SetActivePage(kAdvancedPage);
    return;
  }
  PageState* general = OpenedPage(kGeneralPage);
  if (general != nullptr && general->CommitFromSheet(true) != 0) return;

  std::u16string signingMode;
  ReadRegistryValue(u"DigitalSign", signingMode);
  const bool signing = signingMode == u"sign";
  if (signing) {
    if (GetSetting(keys::kCertPath).empty()) {
      SetActivePage(kSignaturePage);
      return;
    }
    if (GetSetting(keys::kCertPassword).empty()) {
      CSignaturePasswordDlg prompt;
      if (Ui().RunModal(prompt) != kIdOk) return;
    }
  }
  services_.package(DesktopPackage, true);

  // The installer is signed too: the first run may have forgotten the password, so the
  // pages store theirs again before it.
  if (!SettingIsTrue(keys::kPubExe) || !signing) return;
  if (PageState* signature = Page(kSignaturePage); signature != nullptr && signature->CommitFromSheet(true) != 0) {
    return;
  }
  if (general != nullptr && general->CommitFromSheet(true) != 0) return;
  services_.package(NativeInstaller, false);
}

int OpenSettingsSheet(int initialPage) {
  if (LoadDescriptor(false) != kParsed) return 0;
  CSettingsPropSheet sheet(initialPage);
  Ui().RunModal(sheet);
  return 1;
}

}  // namespace zaro
