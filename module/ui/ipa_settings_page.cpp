#include "ui/ipa_settings_page.h"

#include <algorithm>
#include <vector>

#include "descriptor/descriptor_reader.h"
#include "packaging/path_utilities.h"
#include "platform/text.h"
#include "settings/messages.h"
#include "settings/settings_store.h"
#include "ui/included_files.h"

namespace zaro {
namespace {

constexpr unsigned kPortrait = 8092;
constexpr unsigned kLandscape = 8093;
constexpr unsigned kRenderAuto = 8096;
constexpr unsigned kIpaFiles = 8101;

constexpr std::u16string_view kWindow = u"initialWindow";

size_t SelectedIndex(const FormField& field) {
  const auto it = std::find(field.items.begin(), field.items.end(), field.text);
  return it == field.items.end() ? 0 : static_cast<size_t>(it - field.items.begin());
}

std::u16string LowerElementText(std::u16string_view tag) {
  std::u16string text;
  GetElementText(MovieDescriptor(), tag, text);
  return LowerAscii(text);
}

}  // namespace

CIpaSettingsDlg::CIpaSettingsDlg() {
  AddField(MakeField("destination", FieldKind::Text, u"输出文件:"));
  AddField(MakeField("appname", FieldKind::Text, u"应用程序名称:"));
  AddField(MakeField("version", FieldKind::Text, u"版本:"));
  AddField(MakeField("aspectratio", FieldKind::Choice, u"高宽比:")).editable = false;
  AddField(MakeField("fullscreen", FieldKind::Check, u"全屏", u"false"));
  AddField(MakeField("autoorients", FieldKind::Check, u"自动方向", u"false"));
  AddField(MakeField("rendering", FieldKind::Choice, u"呈现:")).editable = false;
  AddField(MakeField("included", FieldKind::List, u"包括的文件:"));
  AddButton(MakeButton("browse", u"浏览..."));
  AddButton(MakeButton("addfile", u"添加文件"));
  AddButton(MakeButton("remove", u"删除"));
  AddButton(MakeButton("addfolder", u"添加文件夹"));
  SetEnabled("remove", false);
}

void CIpaSettingsDlg::LoadIpaGeneral() {
  FormField* aspect = FindField("aspectratio");
  aspect->items = {LoadMessage(kPortrait), LoadMessage(kLandscape)};
  aspect->text = aspect->items.front();
  FindField("rendering")->items = {LoadMessage(kRenderAuto), u"CPU", u"GPU"};

  descriptorPath_ = MovieDescriptorPath();
  DescriptorDocument& descriptor = MovieDescriptor();
  std::string sampleNamespace;
  std::string currentNamespace;
  if (ReadSampleNamespace(sampleNamespace) == 0 &&
      GetElementAttribute(descriptor, u"application", u"xmlns", currentNamespace) == 0 &&
      sampleNamespace != currentNamespace) {
    SetElementAttribute(descriptor, u"application", u"xmlns", FromUtf8(sampleNamespace));
  }

  const std::u16string destination = GetSetting(keys::kIpaDestination);
  SetText("destination", destination.empty() ? GetSetting(keys::kMovieBaseName) + u".ipa" : destination);

  // A name with one text per language is edited elsewhere; this field leaves it alone.
  const bool localisedName = HasChildElement(descriptor, u"name", u"text");
  if (localisedName) {
    SetText("appname", u"");
  } else {
    name_.Load(descriptor, u"name");
    SetText("appname", name_.Shown());
  }
  SetEnabled("appname", !localisedName);
  version_.Load(descriptor, u"version");
  SetText("version", version_.Shown());

  SetChecked("fullscreen", LowerElementText(u"fullScreen") == u"true");
  SetChecked("autoorients", LowerElementText(u"autoOrients") == u"true");
  if (LowerElementText(u"aspectRatio") == u"landscape") aspect->text = aspect->items[1];
  const std::u16string renderMode = LowerElementText(u"renderMode");
  FormField* rendering = FindField("rendering");
  rendering->text = rendering->items[renderMode == u"gpu" ? 2 : renderMode == u"cpu" ? 1 : 0];

  FormField* included = FindField("included");
  included->items = LoadIncludedEntries();
  included->text.clear();
  RefreshListExtent();
}

// The list's extent follows its widest entry; the remove button is enabled only while an
// extra entry is selected.
void CIpaSettingsDlg::RefreshListExtent() {
  const FormField* included = FindField("included");
  listExtent_ = WidestEntry(included->items);
  SetEnabled("remove", IsExtraIncludedEntry(included->items, included->text));
}

void CIpaSettingsDlg::OnButton(std::string_view name) {
  if (name == "browse") {
    if (const auto chosen = ChooseOutputFile(u"ipa", kIpaFiles)) SetText("destination", *chosen);
    return;
  }
  FormField& list = *FindField("included");
  const bool changed = name == "addfile"     ? AddChosenFile(list)
                       : name == "addfolder" ? AddChosenFolder(list)
                       : name == "remove"    ? RemoveSelectedEntry(list)
                                             : false;
  if (changed) SetChanged();
  RefreshListExtent();
}

void CIpaSettingsDlg::OnFieldChanged(std::string_view name) {
  if (name == "included") RefreshListExtent();
}

int CIpaSettingsDlg::CommitIpaGeneral() {
  DescriptorDocument& descriptor = MovieDescriptor();
  const FormField* aspect = FindField("aspectratio");
  const size_t rendering = SelectedIndex(*FindField("rendering"));
  SetChildElementText(descriptor, kWindow, u"aspectRatio", SelectedIndex(*aspect) == 1 ? u"landscape" : u"portrait");
  SetChildElementText(descriptor, kWindow, u"fullScreen", Checked("fullscreen") ? u"true" : u"false");
  SetChildElementText(descriptor, kWindow, u"autoOrients", Checked("autoorients") ? u"true" : u"false");
  SetChildElementText(descriptor, kWindow, u"renderMode", rendering == 2 ? u"gpu" : rendering == 1 ? u"cpu" : u"auto");

  const std::u16string name = Text("appname");
  if (!name.empty() && !HasChildElement(descriptor, u"name", u"text") && !name_.KeepsStoredValue(name)) {
    SetElementText(descriptor, u"name", name);
  }
  const std::u16string version = Text("version");
  if (!version.empty() && !version_.KeepsStoredValue(version)) SetElementText(descriptor, u"version", version);

  const std::u16string destination = Text("destination");
  if (!destination.empty() && destination != GetSetting(keys::kIpaDestination)) {
    SetSetting(keys::kIpaDestination, destination);
    SetChanged();
  }
  StoreIncludedEntries(FindField("included")->items);
  SaveDescriptor(descriptor, descriptorPath_);
  return 0;
}

}  // namespace zaro
