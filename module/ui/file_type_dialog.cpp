#include "ui/file_type_dialog.h"

#include "descriptor/application_icons.h"
#include "packaging/path_utilities.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/messages.h"
#include "settings/settings_store.h"
#include "ui/icon_choice.h"

namespace zaro {
namespace {

constexpr unsigned kIconUnreadable = 8039;
constexpr unsigned kIconMissing = 8045;
constexpr unsigned kFieldsRequired = 8047;
constexpr unsigned kNameInvalid = 8063;
constexpr unsigned kNameRule = 8064;
constexpr unsigned kExtensionInvalid = 8065;
constexpr unsigned kExtensionRule = 8066;
constexpr unsigned kHelpLink = 8104;

// The dialog lists its icon rows largest first; the record stores them smallest first.
constexpr int kDialogOrder[] = {128, 48, 32, 16};

}  // namespace

std::string IconControl(std::string_view prefix, int size) { return std::string(prefix) + std::to_string(size); }

CFileTypeDlg::CFileTypeDlg(FileTypeRecord& record) : record_(record) {
  SetTitle(u"文件类型设置");
  AddField(MakeField("settings", FieldKind::Label, u"文件类型设置", {}, "settings"));
  AddField(MakeField("name", FieldKind::Text, u"名称:", {}, "settings"));
  AddField(MakeField("extension", FieldKind::Text, u"扩展名:", {}, "settings"));
  AddField(MakeField("description", FieldKind::Text, u"描述:", {}, "settings"));
  AddField(MakeField("contenttype", FieldKind::Text, u"内容类型:", {}, "settings"));
  AddField(MakeField("icons", FieldKind::Label, u"文件类型图标设置", {}, "icons"));
  for (int size : kDialogOrder) {
    AddField(MakeField(IconControl("icon", size), FieldKind::Text, IconSizeText(size) + u":", {}, "icons"));
  }
  for (int size : kDialogOrder) {
    AddField(MakeField(IconControl("preview", size), FieldKind::Picture, IconSizeText(size), {}, "icons"));
  }
  for (int size : kDialogOrder) AddButton(MakeButton(IconControl("browse", size), {}));
  for (int size : kDialogOrder) AddButton(MakeButton(IconControl("clear", size), {}));
  AddButton(MakeButton("Help", u"帮助"));
  AddButton(MakeButton("OK", u"确定", true));
  AddButton(MakeButton("Cancel", u"取消"));
}

void CFileTypeDlg::OnShow() {
  root_ = WithBackslashes(GetSetting(keys::kMovieFolder));
  if (record_.name.empty() && record_.extension.empty()) return;  // a new file type
  SetText("name", FromUtf8(record_.name));
  SetText("extension", FromUtf8(record_.extension));
  SetText("description", record_.description);
  SetText("contenttype", record_.contentType);
  for (int size : kDialogOrder) {
    const std::u16string& path = record_.Icon(size);
    if (path.empty()) continue;
    const std::u16string absolute = WithBackslashes(root_ + path);
    // An icon whose file is gone is dropped from the form (not from the record).
    if (!platform::FileExists(absolute)) continue;
    SetText(IconControl("icon", size), path);
    SetText(IconControl("preview", size), absolute);
  }
}

bool CFileTypeDlg::SetField(std::string_view name, std::u16string_view value) {
  // The previews show what the dialog loaded; only its own buttons change them.
  if (name.substr(0, 7) == "preview") return false;
  return FormState::SetField(name, value);
}

void CFileTypeDlg::OnButton(std::string_view name) {
  for (int size : kDialogOrder) {
    if (name == IconControl("browse", size)) return Browse(size);
    if (name == IconControl("clear", size)) return Clear(size);
  }
  if (name == "Help") {
    OpenHelpLink(kHelpLink);
  } else if (name == "Cancel") {
    Close(kIdCancel);
  } else if (name == "OK") {
    if (Validate() && StoreIntoRecord()) Close(kIdOk);
  }
}

void CFileTypeDlg::Browse(int size) {
  const std::optional<ChosenIcon> chosen = ChooseMovieIcon(root_, kFileTypeIconFolder);
  if (!chosen) return;
  SetText(IconControl("icon", size), chosen->relative);
  SetText(IconControl("preview", size), chosen->absolute);
}

void CFileTypeDlg::Clear(int size) {
  SetText(IconControl("icon", size), u"");
  SetText(IconControl("preview", size), u"");
}

bool CFileTypeDlg::Validate() {
  const std::u16string name = Text("name");
  const std::u16string extension = Text("extension");
  if (name.empty() || extension.empty() || Text("contenttype").empty()) {
    ShowCatalogueMessage(kFieldsRequired);
    return false;
  }
  if (!IsValidFileTypeName(name)) {
    ShowMessage(LoadMessage(kNameInvalid) + LoadMessage(kNameRule));
    return false;
  }
  if (!IsValidFileTypeExtension(extension)) {
    ShowMessage(LoadMessage(kExtensionInvalid) + LoadMessage(kExtensionRule));
    return false;
  }
  return true;
}

bool CFileTypeDlg::StoreIntoRecord() {
  // Validation let only ASCII letters, digits and dots through, so the 8-bit form is exact.
  record_.name = ToUtf8(Text("name"));
  record_.extension = ToUtf8(Text("extension"));
  // Texts longer than the record holds are cut at its limit.
  record_.description = CutToLimit(Text("description"), kFileTypeTextLimit);
  record_.contentType = CutToLimit(Text("contenttype"), kFileTypeTextLimit);
  for (int size : kFileTypeIconSizes) {
    std::u16string& stored = record_.Icon(size);
    const std::u16string field = CutToLimit(Text(IconControl("icon", size)), kFileTypeTextLimit);
    if (field.empty()) {
      stored.clear();
      continue;
    }
    const std::u16string underRoot = WithSlashes(root_ + field);
    if (!platform::FileExists(underRoot)) {
      ShowMessage(LoadMessage(kIconUnreadable) + u"\n" + underRoot);
      return false;
    }
    const std::u16string windowsForm = WithBackslashes(field);
    if (!platform::FileExists(windowsForm) && !platform::FileExists(root_ + windowsForm)) {
      ShowCatalogueMessage(kIconMissing);
      stored.clear();
      return false;
    }
    stored = WithSlashes(field);
  }
  return true;
}

}  // namespace zaro
