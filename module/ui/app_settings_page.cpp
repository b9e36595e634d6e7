#include "ui/app_settings_page.h"

#include <algorithm>
#include <array>

#include "descriptor/application_id.h"
#include "descriptor/descriptor_document.h"
#include "descriptor/descriptor_reader.h"
#include "packaging/path_utilities.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/messages.h"
#include "settings/settings_store.h"
#include "ui/included_files.h"

namespace zaro {
namespace {

constexpr unsigned kWindowStyleTexts[] = {8028, 8029, 8030};
constexpr std::u16string_view kWindowTypes[] = {u"standard", u"opaque", u"transparent"};
constexpr unsigned kZaroFiles = 8079;
constexpr unsigned kInvalidIdMessage = 8061;
constexpr unsigned kIdRuleMessage = 8062;
// The output file field's stored value is cut to this many characters.
constexpr size_t kMaxDestination = 256;

// The four profile boxes: field name, caption. The descriptor lists them in the order of
// kProfileWriteOrder.
struct Profile {
  const char* field;
  std::u16string_view caption;
};
constexpr std::array<Profile, 4> kProfiles = {{{"desktop", u"桌面"},
                                               {"mobileDevice", u"移动设备"},
                                               {"extendedDesktop", u"扩展桌面"},
                                               {"extendedMobileDevice", u"扩展移动设备"}}};
constexpr std::array<std::u16string_view, 4> kProfileWriteOrder = {u"desktop ", u"extendedDesktop ", u"mobileDevice ",
                                                                   u"extendedMobileDevice"};

std::u16string TextOf(const char* field) { return FromUtf8(field); }

}  // namespace

std::u16string WindowStyleText(int index) {
  if (index < 0 || index > 2) index = 0;
  return LoadMessage(kWindowStyleTexts[index]);
}

std::u16string ShownOutputFile(std::u16string_view destination, std::u16string_view baseName) {
  if (destination.empty()) return std::u16string(baseName) + u".zaro";
  std::u16string value(destination);
  const size_t separator = destination.find_last_of(u"/\\");
  if (separator != std::u16string_view::npos) {
    const std::u16string_view folder = destination.substr(0, separator);
    // A destination whose folder is gone falls back to the movie's name.
    if (!platform::PathExists(destination) && !platform::PathExists(folder)) value = baseName;
  }
  const std::u16string lower = LowerAscii(value);
  if (lower.find(u".zaro") == std::u16string::npos) value += u".zaro";  // ".zaroi" contains it too
  return WithBackslashes(std::move(value));
}

CAppSettingsDlg::CAppSettingsDlg() {
  AddField(MakeField("destination", FieldKind::Text, u"输出文件:"));
  AddField(MakeField("installer", FieldKind::Check, u"Windows 安装程序 (.exe)", u"false"));
  AddField(MakeField("filename", FieldKind::Text, u"文件名:"));
  AddField(MakeField("appname", FieldKind::Text, u"应用程序名称:"));
  AddField(MakeField("version", FieldKind::Text, u"版本:"));
  AddField(MakeField("appid", FieldKind::Text, u"应用程序 ID:"));
  AddField(MakeField("idhint", FieldKind::Label, u"例如: com.yourdomain.appname"));
  AddField(MakeField("description", FieldKind::Text, u"描述:"));
  AddField(MakeField("copyright", FieldKind::Text, u"版权所有:"));
  FormField style = MakeField("windowstyle", FieldKind::Choice, u"窗口样式:");
  style.editable = false;
  AddField(std::move(style));
  for (const Profile& profile : kProfiles) {
    AddField(MakeField(profile.field, FieldKind::Check, std::u16string(profile.caption), u"true"));
  }
  AddField(MakeField("included", FieldKind::List, u"包括的文件"));
  AddButton(MakeButton("browse", u"浏览..."));
  AddButton(MakeButton("addfile", u"添加文件"));
  AddButton(MakeButton("remove", u"删除"));
  AddButton(MakeButton("addfolder", u"添加文件夹"));
  SetEnabled("remove", false);
}

void CAppSettingsDlg::OnInitPage() {
  DescriptorDocument& document = MovieDescriptor();
  if (!document.parser) InitDescriptorParser(document);
  descriptorPath_ = MovieDescriptorPath();

  FormField* style = FindField("windowstyle");
  style->items.clear();
  for (int index = 0; index < 3; ++index) style->items.push_back(WindowStyleText(index));
  for (const Profile& profile : kProfiles) SetChecked(profile.field, true);

  // A descriptor of runtime 1.0 or 1.1 gets the sample's namespace (saved with the commit).
  std::string sampleNamespace;
  std::string documentNamespace;
  if (ReadSampleNamespace(sampleNamespace) == 0 &&
      GetElementAttribute(document, u"application", u"xmlns", documentNamespace) == 0 &&
      (documentNamespace.find("1.0") != std::string::npos || documentNamespace.find("1.1") != std::string::npos)) {
    SetElementAttribute(document, u"application", u"xmlns", FromUtf8(sampleNamespace));
  }

  ShowElements();
  ShowWindowStyle();
  ShowOutputFile();
  SetChecked("installer", SettingIsTrue(keys::kPubExe));
  ShowProfiles();
  ShowIncluded();
}

void CAppSettingsDlg::ShowElement(std::string_view field, std::u16string_view tag) {
  std::u16string text;
  GetElementText(MovieDescriptor(), tag, text);  // a missing element leaves the field empty
  text = CutToLimit(text, kMaxElementText);
  SetText(field, text);
  shown_[std::string(field)] = std::move(text);
}

void CAppSettingsDlg::ShowElements() {
  DescriptorDocument& document = MovieDescriptor();
  ShowElement("filename", u"filename");
  localisedName_ = HasChildElement(document, u"name", u"text");
  if (localisedName_) {
    SetText("appname", u"");
    shown_["appname"].clear();
  } else {
    ShowElement("appname", u"name");
  }
  SetEnabled("appname", !localisedName_);
  ShowElement("appid", u"id");
  ShowElement("version", u"version");
  localisedDescription_ = HasChildElement(document, u"description", u"text");
  if (localisedDescription_) {
    SetText("description", u"");
    shown_["description"].clear();
  } else {
    ShowElement("description", u"description");
    // The edit shows each line feed as a carriage return and a line feed.
    std::u16string& text = shown_["description"];
    text = ReplaceAll(text, u"\n", u"\r\n");
    SetText("description", text);
  }
  SetEnabled("description", !localisedDescription_);
  ShowElement("copyright", u"copyright");
}

void CAppSettingsDlg::ShowWindowStyle() {
  DescriptorDocument& document = MovieDescriptor();
  std::u16string chrome;
  std::u16string transparent;
  int index = 0;
  if (GetElementText(document, u"systemChrome", chrome) == 0 &&
      GetElementText(document, u"transparent", transparent) == 0) {
    if (Trimmed(chrome) == u"none") index = Trimmed(transparent) == u"true" ? 2 : Trimmed(transparent) == u"false" ? 1 : 0;
  } else {
    const std::u16string type = GetSetting(keys::kWindowType);
    index = type == u"opaque" ? 1 : type == u"transparent" ? 2 : 0;
  }
  SetText("windowstyle", WindowStyleText(index));
}

void CAppSettingsDlg::ShowOutputFile() {
  SetText("destination", ShownOutputFile(GetSetting(keys::kZaroDestination), GetSetting(keys::kMovieBaseName)));
}

void CAppSettingsDlg::ShowProfiles() {
  std::u16string profiles;
  if (GetElementText(MovieDescriptor(), u"supportedProfiles", profiles) != 0) return;
  profiles = Trimmed(profiles);
  for (const Profile& profile : kProfiles) {
    if (profiles.find(TextOf(profile.field)) == std::u16string::npos) SetChecked(profile.field, false);
  }
}

void CAppSettingsDlg::ShowIncluded() {
  FormField* list = FindField("included");
  list->items = LoadIncludedEntries();
  list->text.clear();
  UpdateRemoveButton();
}

bool CAppSettingsDlg::Edited(std::string_view field) const {
  const auto it = shown_.find(field);
  return it == shown_.end() || it->second != Text(field);
}

void CAppSettingsDlg::WriteElement(std::string_view field, std::u16string_view tag) {
  if (!Edited(field)) return;
  const std::u16string text = Text(field);
  if (text.empty()) return;
  SetElementText(MovieDescriptor(), tag, text);
}

int CAppSettingsDlg::Commit() {
  DescriptorDocument& document = MovieDescriptor();
  const std::u16string id = Text("appid");
  if (!IsValidApplicationId(id)) {
    ShowMessage(LoadMessage(kInvalidIdMessage) + LoadMessage(kIdRuleMessage), kMbIconExclamation);
    return kInvalidId;
  }
  if (Edited("appid")) SetElementText(document, u"id", id);
  WriteElement("filename", u"filename");
  if (!localisedName_) WriteElement("appname", u"name");
  WriteElement("version", u"version");
  if (!localisedDescription_ && Edited("description")) {
    // Written with the line feeds the descriptor uses, whatever the edit showed.
    const std::u16string text = ReplaceAll(Text("description"), u"\r\n", u"\n");
    if (text.empty()) {
      ClearElementText(document, u"description");
    } else {
      SetElementText(document, u"description", text);
    }
  }
  if (Edited("copyright")) {
    if (Text("copyright").empty()) {
      ClearElementText(document, u"copyright");
    } else {
      SetElementText(document, u"copyright", Text("copyright"));
    }
  }

  const std::u16string destination = Text("destination");
  if (!destination.empty()) {
    const std::u16string stored = WithSlashes(CutToLimit(destination, kMaxDestination));
    if (stored != GetSetting(keys::kZaroDestination)) {
      SetSetting(keys::kZaroDestination, stored);
      SetChanged();
    }
  }

  const FormField* style = FindField("windowstyle");
  const auto selected = std::find(style->items.begin(), style->items.end(), style->text);
  const long index = selected == style->items.end() ? 0 : selected - style->items.begin();
  const std::u16string_view type = index == 1 || index == 2 ? kWindowTypes[index] : kWindowTypes[0];
  SetSetting(keys::kWindowType, type);
  const bool custom = type != u"standard";
  SetChildElementIfReady(document, u"initialWindow", u"systemChrome", custom ? u"none" : u"standard");
  SetChildElementIfReady(document, u"initialWindow", u"transparent", type == u"transparent" ? u"true" : u"false");

  const std::u16string installer = Checked("installer") ? u"true" : u"false";
  if (GetSetting(keys::kPubExe) != installer) {
    SetSetting(keys::kPubExe, installer);
    SetChanged();
  }

  CommitProfiles();
  CommitIncluded();
  SaveDescriptor(document, descriptorPath_);
  // What is now in the descriptor is what the fields show.
  for (auto& [field, text] : shown_) text = Text(field);
  return kAccepted;
}

void CAppSettingsDlg::CommitProfiles() {
  std::u16string profiles;
  int checked = 0;
  // The profiles are written in a fixed order of their own, not the boxes' order.
  for (std::u16string_view entry : kProfileWriteOrder) {
    const std::u16string name = Trimmed(entry);
    if (!Checked(ToUtf8(name))) continue;
    profiles += entry;
    ++checked;
  }
  if (checked == 0 || checked == static_cast<int>(kProfiles.size())) {
    RemoveChildElement(MovieDescriptor(), u"application", u"supportedProfiles");
  } else {
    SetChildElementText(MovieDescriptor(), u"application", u"supportedProfiles", profiles);
  }
}

void CAppSettingsDlg::CommitIncluded() { StoreIncludedEntries(FindField("included")->items); }

void CAppSettingsDlg::OnButton(std::string_view name) {
  if (name == "browse") {
    if (const auto chosen = ChooseOutputFile(u"zaro", kZaroFiles)) SetText("destination", *chosen);
  } else if (name == "addfile" || name == "addfolder" || name == "remove") {
    OnIncludedButton(name);
  }
}

void CAppSettingsDlg::OnFieldChanged(std::string_view name) {
  if (name == "included") UpdateRemoveButton();
}

void CAppSettingsDlg::OnIncludedButton(std::string_view name) {
  FormField& list = *FindField("included");
  const bool changed = name == "addfile" ? AddChosenFile(list)
                       : name == "addfolder" ? AddChosenFolder(list)
                                             : RemoveSelectedEntry(list);
  if (changed) SetChanged();
  UpdateRemoveButton();
}

void CAppSettingsDlg::UpdateRemoveButton() {
  const FormField* list = FindField("included");
  SetEnabled("remove", IsExtraIncludedEntry(list->items, list->text));
}

}  // namespace zaro
