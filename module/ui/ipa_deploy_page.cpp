#include "ui/ipa_deploy_page.h"

#include <algorithm>
#include <vector>

#include "descriptor/descriptor_reader.h"
#include "packaging/provisioning_profile.h"
#include "platform/files.h"
#include "packaging/path_utilities.h"
#include "platform/text.h"
#include "settings/messages.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"

namespace zaro {
namespace {

constexpr std::u16string_view kRecentCertificates = u"IpaCertPath";
constexpr std::u16string_view kLastCertificate = u"Last IPA Cert";
constexpr std::u16string_view kRecentProfiles = u"MobileProvisionFiles";
constexpr std::u16string_view kLastProfile = u"Last IPA Provision";
constexpr int kRecentLimit = 10;

constexpr unsigned kCertificateRequired = 8001;
constexpr unsigned kCertificateMissing = 8003;
constexpr unsigned kPasswordEmpty = 8005;
constexpr unsigned kApplicationIdInvalid = 8061;
constexpr unsigned kApplicationIdRule = 8062;
constexpr unsigned kHelpLink = 8094;
constexpr unsigned kProfileGone = 8097;
constexpr unsigned kProfileRequired = 8098;

// The deployment types in the order of their radio buttons, as stored in ipaopt.
constexpr std::string_view kDeploymentTypes[] = {"test", "debug", "adhoc", "store"};

// The first entry that begins with `text` without regard to ASCII case, or -1.
int FindEntry(const std::vector<std::u16string>& items, std::u16string_view text) {
  for (size_t index = 0; index < items.size(); ++index) {
    if (StartsWithNoCase(items[index], text)) return static_cast<int>(index);
  }
  return -1;
}

int ListWidth(const std::vector<std::u16string>& items) {
  int widest = 0;
  for (const std::u16string& item : items) widest = std::max(widest, Ui().MeasureTextWidth(item));
  return widest + Ui().MeasureTextWidth(u"0");
}

}  // namespace

CFaiDeployDlg::CFaiDeployDlg() {
  AddField(MakeField("signing", FieldKind::Label, u"iPhone 数字签名"));
  AddField(MakeField("usecert", FieldKind::Label, u"使用 iPhone 证书 (.p12)"));
  AddField(MakeField("certpath", FieldKind::Choice, u"证书:"));
  AddField(MakeField("password", FieldKind::Password, u"密码:"));
  AddField(MakeField("rempwd", FieldKind::Check, u"在此次会话期间记住密码", u"false"));
  AddField(MakeField("profile", FieldKind::Choice, u"供给配置文件:"));
  AddField(MakeField("appid", FieldKind::Text, u"应用程序 ID:"));
  AddField(MakeField("deploytype", FieldKind::Label, u"iPhone 部署类型"));
  AddField(MakeField("test", FieldKind::Radio, u"用于设备测试的快速发布", u"true", "deployment"));
  AddField(MakeField("debug", FieldKind::Radio, u"用于设备调试的快速发布", u"false", "deployment"));
  AddField(MakeField("adhoc", FieldKind::Radio, u"部署 – 临时", u"false", "deployment"));
  AddField(MakeField("store", FieldKind::Radio, u"部署 - Apple 应用程序库", u"false", "deployment"));
  AddButton(MakeButton("moreinfo", u"更多信息"));
  AddButton(MakeButton("browsecert", u"浏览..."));
  AddButton(MakeButton("browseprofile", u"浏览..."));
}

int CFaiDeployDlg::DeploymentIndex() const {
  for (size_t index = 0; index < std::size(kDeploymentTypes); ++index) {
    if (Checked(kDeploymentTypes[index])) return static_cast<int>(index);
  }
  return 0;
}

bool CFaiDeployDlg::SetField(std::string_view name, std::u16string_view value) {
  // A radio button is switched off only by switching another one on.
  const bool radio = std::find(std::begin(kDeploymentTypes), std::end(kDeploymentTypes), name) != std::end(kDeploymentTypes);
  if (radio && value == u"false") return Text(name) == u"false";
  return FormState::SetField(name, value);
}

void CFaiDeployDlg::LoadIpaDeployment() {
  const std::u16string option = GetSetting(keys::kIpaOption);
  int index = 0;
  for (size_t i = 0; i < std::size(kDeploymentTypes); ++i) {
    if (option == FromUtf8(kDeploymentTypes[i])) index = static_cast<int>(i);
  }
  for (size_t i = 0; i < std::size(kDeploymentTypes); ++i) SetChecked(kDeploymentTypes[i], static_cast<int>(i) == index);

  SetChecked("rempwd", false);
  SetText("password", u"");
  if (SettingIsTrue(keys::kIpaRememberPassword)) {
    SetChecked("rempwd", true);
    SetText("password", GetSetting(keys::kIpaCertPassword));
  }
  LoadRecentChoice("certpath", kRecentCertificates, keys::kIpaCertPath, kLastCertificate);
  LoadRecentChoice("profile", kRecentProfiles, keys::kIpaProvision, kLastProfile);
  appId_.Load(MovieDescriptor(), u"id");
  SetText("appid", appId_.Shown());
  FitListWidths();
}

void CFaiDeployDlg::LoadRecentChoice(std::string_view field, std::u16string_view recentList,
                                     std::u16string_view storedKey, std::u16string_view lastValue) {
  FormField* box = FindField(field);
  box->items.clear();
  box->text.clear();
  std::vector<std::u16string> recent;
  ReadRegistryList(recentList, recent);
  for (std::u16string& path : recent) {
    if (path.empty() || !platform::FileExists(path) || FindEntry(box->items, path) >= 0) continue;
    box->items.push_back(std::move(path));
  }
  // The stored path when it still names a file, else the last one committed on any document.
  const std::u16string stored = GetSetting(storedKey);
  if (!stored.empty() && platform::FileExists(stored)) {
    const std::u16string shown = WithBackslashes(stored);
    int index = FindEntry(box->items, shown);
    if (index < 0) {
      box->items.insert(box->items.begin(), shown);
      index = 0;
    }
    box->text = box->items[static_cast<size_t>(index)];
    return;
  }
  std::u16string last;
  ReadRegistryValue(lastValue, last);
  last = WithBackslashes(last);
  const int index = last.empty() ? -1 : FindEntry(box->items, last);
  if (index >= 0) {
    box->text = box->items[static_cast<size_t>(index)];
  } else if (!box->items.empty()) {
    box->text = box->items.front();
  }
}

void CFaiDeployDlg::FitListWidths() {
  certificateWidth_ = ListWidth(FindField("certpath")->items);
  profileWidth_ = ListWidth(FindField("profile")->items);
}

void CFaiDeployDlg::OnFieldChanged(std::string_view name) {
  if (name == "profile") {
    // Choosing an entry of the list (not typing a path) reads that profile.
    const FormField* box = FindField("profile");
    if (std::find(box->items.begin(), box->items.end(), box->text) != box->items.end()) ReadProfileIntoId(box->text);
    return;
  }
  for (std::string_view type : kDeploymentTypes) {
    if (name == type && Checked(type)) {
      SetSetting(keys::kIpaOption, FromUtf8(type));
      SetChanged();
    }
  }
}

void CFaiDeployDlg::OnButton(std::string_view name) {
  if (name == "moreinfo") {
    OpenHelpLink(kHelpLink);
  } else if (name == "browsecert") {
    BrowseCertificate();
  } else if (name == "browseprofile") {
    BrowseProfile();
  }
}

void CFaiDeployDlg::BrowseCertificate() {
  FileDialogRequest request;
  request.filter = u" (*.p12)|*.p12||";
  const std::optional<std::u16string> chosen = Ui().ChooseFile(request);
  if (!chosen) return;
  FormField* box = FindField("certpath");
  box->text = *chosen;
  if (FindEntry(box->items, *chosen) < 0) box->items.push_back(*chosen);
  FitListWidths();
}

void CFaiDeployDlg::BrowseProfile() {
  FileDialogRequest request;
  request.filter = u" (*.mobileprovision)|*.mobileprovision||";
  const std::optional<std::u16string> chosen = Ui().ChooseFile(request);
  if (!chosen) return;
  FormField* box = FindField("profile");
  box->text = *chosen;
  if (FindEntry(box->items, *chosen) < 0) {
    box->items.push_back(*chosen);
    ReadProfileIntoId(*chosen);
  }
  FitListWidths();
}

void CFaiDeployDlg::ReadProfileIntoId(const std::u16string& path) {
  std::u16string identifier;
  if (!ReadProfileApplicationId(path, identifier)) return;
  std::u16string appId = Text("appid");
  ApplyProfileApplicationId(identifier, appId);
  SetText("appid", appId);
}

int CFaiDeployDlg::Refuse(unsigned messageId, int result, std::u16string_view detail) {
  ShowMessage(LoadMessage(messageId) + std::u16string(detail));
  LoadIpaDeployment();
  return result;
}

int CFaiDeployDlg::RefuseEmpty(std::u16string_view storedKey, unsigned requiredId, unsigned missingId) {
  // A path stored without messages (the sheet's OK) that names no file is not shown, so the
  // field is empty: name that file rather than ask for one as if none had been chosen.
  const std::u16string stored = GetSetting(storedKey);
  if (!stored.empty() && !platform::FileExists(stored)) {
    return Refuse(missingId, kFileGone, u"\n" + WithBackslashes(stored));
  }
  return Refuse(requiredId, kMissing);
}

int CFaiDeployDlg::CommitCertificate(bool showMessages) {
  const std::u16string path = Text("certpath");
  if (path.empty()) {
    return showMessages ? RefuseEmpty(keys::kIpaCertPath, kCertificateRequired, kCertificateMissing) : kAccepted;
  }
  // Without messages a path that names no file is stored all the same; publishing checks
  // it again with messages on before anything runs.
  if (showMessages && !platform::FileExists(path)) return Refuse(kCertificateMissing, kFileGone);
  const std::u16string stored = WithSlashes(path);
  if (stored != GetSetting(keys::kIpaCertPath)) {
    SetSetting(keys::kIpaCertPath, stored);
    SetChanged();
  }
  WriteRegistryValue(kLastCertificate, stored);
  const std::vector<std::u16string>& entries = FindField("certpath")->items;
  if (!entries.empty()) WriteRegistryList(kRecentCertificates, kRecentLimit, entries);
  return kAccepted;
}

int CFaiDeployDlg::CommitProfile(bool showMessages) {
  ProfileListPage page;
  page.text = Text("profile");
  page.entries = FindField("profile")->items;
  page.reload = [this] { LoadIpaDeployment(); };
  page.markChanged = [this] { SetChanged(); };
  if (showMessages && page.text.empty()) return RefuseEmpty(keys::kIpaProvision, kProfileRequired, kProfileGone);
  return CommitProfilePath(page, showMessages);
}

void CFaiDeployDlg::StoreApplicationId(const std::u16string& appId) {
  DescriptorDocument& descriptor = MovieDescriptor();
  std::u16string current;
  if (GetElementText(descriptor, u"id", current) != 0 || current == appId) return;
  SetElementText(descriptor, u"id", appId);
  // Packaging parses the descriptor file again, so an ID changed on this page is saved
  // here too: the General page, which saves the file, may never have been opened.
  SaveDescriptor(descriptor, MovieDescriptorPath());
}

int CFaiDeployDlg::CommitIpaDeployment(bool showMessages) {
  if (const int result = CommitCertificate(showMessages); result != kAccepted) return result;
  SetSetting(keys::kIpaRememberPassword, Checked("rempwd") ? u"true" : u"false");
  const std::u16string password = Text("password");
  if (!password.empty()) {
    SetSetting(keys::kIpaCertPassword, password);
  } else if (showMessages) {
    return Refuse(kPasswordEmpty, kMissing);
  }
  if (const int result = CommitProfile(showMessages); result != kAccepted) return result;
  const std::u16string appId = Text("appid");
  if (!appId.empty()) {
    if (!appId_.KeepsStoredValue(appId)) StoreApplicationId(appId);
  } else if (showMessages) {
    return Refuse(kApplicationIdInvalid, kMissing, LoadMessage(kApplicationIdRule));
  }
  SetSetting(keys::kIpaOption, FromUtf8(kDeploymentTypes[static_cast<size_t>(DeploymentIndex())]));
  return kAccepted;
}

bool CheckStoredIphoneFiles() {
  const std::pair<std::u16string_view, unsigned> files[] = {{keys::kIpaCertPath, kCertificateMissing},
                                                            {keys::kIpaProvision, kProfileGone}};
  for (const auto& [key, messageId] : files) {
    const std::u16string path = GetSetting(key);
    if (path.empty() || platform::FileExists(path)) continue;
    ShowMessage(LoadMessage(messageId) + u"\n" + WithBackslashes(path));
    return false;
  }
  return true;
}

}  // namespace zaro
