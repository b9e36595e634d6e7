#include "ui/advanced_settings_page.h"

#include <algorithm>

#include "descriptor/descriptor_document.h"
#include "platform/text.h"
#include "settings/messages.h"
#include "settings/settings_store.h"
#include "ui/file_type_dialog.h"

namespace zaro {
namespace {

constexpr unsigned kInvalidValue = 8036;
constexpr unsigned kMinGreaterThanMax = 8038;
constexpr unsigned kNone = 8052;
constexpr unsigned kMaxPairIncomplete = 8069;
constexpr unsigned kMinPairIncomplete = 8070;

// Texts of the numeric elements are read up to this many bytes, folders up to this many
// characters; longer texts are shown cut.
constexpr size_t kNumberTextLimit = 255;
constexpr size_t kFolderTextLimit = 511;
// The program menu folder is kept in the settings up to this many characters.
constexpr size_t kProgramMenuSettingLimit = 256;

constexpr std::string_view kSizeLimitFields[] = {"maxwidth", "maxheight", "minwidth", "minheight"};
constexpr std::pair<std::string_view, std::u16string_view> kPositionFields[] = {
    {"width", u"width"}, {"height", u"height"}, {"x", u"x"}, {"y", u"y"}};
constexpr std::pair<std::string_view, std::u16string_view> kAbilityFields[] = {
    {"maximizable", u"maximizable"}, {"minimizable", u"minimizable"}, {"resizable", u"resizable"},
    {"visible", u"visible"}};

bool IsDigits(std::u16string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// Compares two digit strings as decimal numbers of any length.
bool NumberGreater(std::u16string_view a, std::u16string_view b) {
  auto significant = [](std::u16string_view digits) {
    const size_t first = digits.find_first_not_of(u'0');
    return first == std::u16string_view::npos ? std::u16string_view() : digits.substr(first);
  };
  a = significant(a);
  b = significant(b);
  if (a.size() != b.size()) return a.size() > b.size();
  return a > b;
}

// The name part of a list entry "name(extension)".
std::u16string EntryName(std::u16string_view entry) { return std::u16string(entry.substr(0, entry.find(u'('))); }

std::u16string EntryFor(const FileTypeRecord& record) {
  return FromUtf8(record.name) + u"(" + FromUtf8(record.extension) + u")";
}

int ShowInvalidValue(std::u16string_view value) {
  return ShowMessage(LoadMessage(kInvalidValue) + u"\n" + std::u16string(value));
}

}  // namespace

CAdvancedSettingsDlg::CAdvancedSettingsDlg() {
  AddField(MakeField("typesection", FieldKind::Label, u"关联的文件类型", {}, "types"));
  AddField(MakeField("filetypes", FieldKind::List, {}, {}, "types"));
  AddField(MakeField("windowsection", FieldKind::Label, u"初始窗口设置", {}, "window"));
  AddField(MakeField("width", FieldKind::Text, u"宽度:", {}, "window"));
  AddField(MakeField("height", FieldKind::Text, u"高度:", {}, "window"));
  AddField(MakeField("x", FieldKind::Text, u"X:", {}, "window"));
  AddField(MakeField("y", FieldKind::Text, u"Y:", {}, "window"));
  AddField(MakeField("maxwidth", FieldKind::Text, u"最大宽度:", {}, "window"));
  AddField(MakeField("maxheight", FieldKind::Text, u"最大高度:", {}, "window"));
  AddField(MakeField("minwidth", FieldKind::Text, u"最小宽度:", {}, "window"));
  AddField(MakeField("minheight", FieldKind::Text, u"最小高度:", {}, "window"));
  AddField(MakeField("maximizable", FieldKind::Check, u"可最大化", u"true", "window"));
  AddField(MakeField("minimizable", FieldKind::Check, u"可最小化", u"true", "window"));
  AddField(MakeField("resizable", FieldKind::Check, u"可调整大小", u"true", "window"));
  AddField(MakeField("visible", FieldKind::Check, u"可见", u"true", "window"));
  AddField(MakeField("othersection", FieldKind::Label, u"其它设置", {}, "other"));
  AddField(MakeField("installfolder", FieldKind::Text, u"安装文件夹:", {}, "other"));
  AddField(MakeField("programmenu", FieldKind::Text, u"程序菜单文件夹:", {}, "other"));
  AddField(MakeField("customupdate", FieldKind::Check, u"使用自定义 UI 进行更新", u"false", "other"));
  AddButton(MakeButton("addtype", {}));
  AddButton(MakeButton("removetype", {}));
  AddButton(MakeButton("edittype", {}));
}

std::u16string CAdvancedSettingsDlg::Placeholder() { return u"<" + LoadMessage(kNone) + u">"; }

bool CAdvancedSettingsDlg::SetField(std::string_view name, std::u16string_view value) {
  // The list only selects one of its entries.
  if (name == "filetypes") {
    const FormField* list = FindField(name);
    if (list == nullptr || std::find(list->items.begin(), list->items.end(), value) == list->items.end()) return false;
  }
  return PageState::SetField(name, value);
}

// ---- opening ----

std::u16string CAdvancedSettingsDlg::ReadLimited(std::u16string_view element, bool folder, bool& cut) {
  std::u16string text;
  cut = false;
  if (GetElementText(MovieDescriptor(), element, text) != 0) return {};
  const std::u16string limited =
      folder ? CutToLimit(text, kFolderTextLimit) : Trimmed(CutAtUtf8Bytes(text, kNumberTextLimit));
  cut = limited.size() < text.size();
  return limited;
}

void CAdvancedSettingsDlg::NoteCut(std::u16string_view element, std::vector<std::string> fields) {
  CutText& note = cutTexts_[std::u16string(element)];
  note.shown.clear();
  for (const std::string& field : fields) note.shown.push_back(Text(field));
  note.fields = std::move(fields);
}

bool CAdvancedSettingsDlg::KeepsCutText(std::u16string_view element) const {
  const auto it = cutTexts_.find(element);
  if (it == cutTexts_.end()) return false;
  for (size_t i = 0; i < it->second.fields.size(); ++i) {
    if (Text(it->second.fields[i]) != it->second.shown[i]) return false;
  }
  return true;
}

void CAdvancedSettingsDlg::LoadFolder(std::u16string_view element, const std::string& field) {
  bool cut = false;
  const std::u16string text = ReadLimited(element, true, cut);
  if (!text.empty()) SetText(field, text);
  if (cut) NoteCut(element, {field});
}

void CAdvancedSettingsDlg::LoadNumber(std::u16string_view element, const std::string& field) {
  bool cut = false;
  const std::u16string text = ReadLimited(element, false, cut);
  if (IsDigits(text)) SetText(field, text);
  if (cut) NoteCut(element, {field});
}

void CAdvancedSettingsDlg::LoadSizePair(std::u16string_view element, const std::string& widthField,
                                        const std::string& heightField) {
  bool cut = false;
  const std::u16string text = ReadLimited(element, false, cut);
  const size_t blank = text.find(u' ');
  if (blank != std::u16string::npos && blank > 0) {
    const std::u16string width = Trimmed(std::u16string_view(text).substr(0, blank));
    const std::u16string height = Trimmed(std::u16string_view(text).substr(blank + 1));
    if (IsDigits(width)) SetText(widthField, width);
    if (IsDigits(height)) SetText(heightField, height);
  }
  if (cut) NoteCut(element, {widthField, heightField});
}

void CAdvancedSettingsDlg::LoadFileTypes() {
  FormField* list = FindField("filetypes");
  const std::u16string all = ListFileTypes(MovieDescriptor());
  size_t start = 0;
  while (start <= all.size()) {
    const size_t end = std::min(all.find(u';', start), all.size());
    const std::u16string piece = all.substr(start, end - start);
    start = end + 1;
    if (piece.empty()) continue;
    list->items.push_back(piece);
    const std::u16string name = EntryName(piece);
    FileTypeRecord record;
    if (ReadFileType(MovieDescriptor(), name, record)) types_[name] = std::move(record);
  }
  if (list->items.empty()) list->items.push_back(Placeholder());
  RefreshListButtons();
}

void CAdvancedSettingsDlg::OnInitPage() {
  LoadFileTypes();
  LoadFolder(u"installFolder", "installfolder");
  LoadFolder(u"programMenuFolder", "programmenu");
  for (const auto& [field, element] : kPositionFields) LoadNumber(element, std::string(field));
  LoadSizePair(u"minSize", "minwidth", "minheight");
  LoadSizePair(u"maxSize", "maxwidth", "maxheight");
  for (const auto& [field, element] : kAbilityFields) {
    SetChecked(field, true);
    std::u16string text;
    if (GetElementText(MovieDescriptor(), element, text) == 0 && LowerAscii(Trimmed(text)) == u"false") {
      SetChecked(field, false);
    }
  }
  EnableSizeLimits(Checked("resizable"));
  std::u16string update;
  SetChecked("customupdate",
             GetElementText(MovieDescriptor(), u"customUpdateUI", update) == 0 && LowerAscii(Trimmed(update)) == u"true");
}

void CAdvancedSettingsDlg::EnableSizeLimits(bool enabled) {
  for (std::string_view field : kSizeLimitFields) SetEnabled(field, enabled);
}

void CAdvancedSettingsDlg::OnFieldChanged(std::string_view name) {
  if (name == "resizable") EnableSizeLimits(Checked("resizable"));
}

// ---- commit ----

bool CAdvancedSettingsDlg::Commit() {
  // The pairs are tested as typed.
  if (Text("minwidth").empty() != Text("minheight").empty()) {
    ShowCatalogueMessage(kMinPairIncomplete);
    return false;
  }
  if (Text("maxwidth").empty() != Text("maxheight").empty()) {
    ShowCatalogueMessage(kMaxPairIncomplete);
    return false;
  }
  if (!CommitFolders() || !CommitPosition() || !CommitMinimumSize() || !CommitMaximumSize()) return false;
  CommitAbilities();
  CommitFileTypes();
  return true;
}

bool CAdvancedSettingsDlg::CommitFolders() {
  DescriptorDocument& document = MovieDescriptor();
  const std::u16string install = Text("installfolder");
  if (!KeepsCutText(u"installFolder")) {
    if (!install.empty()) {
      SetChildElementText(document, u"application", u"installFolder", install);
    } else {
      RemoveChildElement(document, u"application", u"installFolder");
    }
  }
  const std::u16string menu = Text("programmenu");
  if (!KeepsCutText(u"programMenuFolder")) {
    if (!menu.empty()) {
      SetChildElementText(document, u"application", u"programMenuFolder", menu);
      SetSetting(keys::kProgramMenu, CutToLimit(menu, kProgramMenuSettingLimit));
    } else {
      RemoveChildElement(document, u"application", u"programMenuFolder");
    }
  }
  return true;
}

bool CAdvancedSettingsDlg::CommitPosition() {
  for (const auto& [field, element] : kPositionFields) {
    const std::u16string value = Trimmed(Text(field));
    if (KeepsCutText(element)) continue;
    if (value.empty()) {
      RemoveChildElement(MovieDescriptor(), u"initialWindow", element);
    } else if (IsDigits(value)) {
      SetChildElementText(MovieDescriptor(), u"initialWindow", element, value);
    } else {
      ShowInvalidValue(value);
      return false;
    }
  }
  return true;
}

bool CAdvancedSettingsDlg::CommitMinimumSize() {
  const std::u16string width = Trimmed(Text("minwidth"));
  const std::u16string height = Trimmed(Text("minheight"));
  if (KeepsCutText(u"minSize")) return true;
  if (width.empty() || height.empty()) {
    RemoveChildElement(MovieDescriptor(), u"initialWindow", u"minSize");
    return true;
  }
  const std::u16string value = width + u" " + height;
  if (!IsDigits(width) || !IsDigits(height)) {
    ShowInvalidValue(value);
    return false;
  }
  SetChildElementText(MovieDescriptor(), u"initialWindow", u"minSize", value);
  return true;
}

bool CAdvancedSettingsDlg::CommitMaximumSize() {
  if (KeepsCutText(u"maxSize")) return true;
  const std::u16string width = Trimmed(Text("maxwidth"));
  if (width.empty()) {
    RemoveChildElement(MovieDescriptor(), u"initialWindow", u"maxSize");
    return true;
  }
  auto exceeds = [](const std::u16string& minimum, const std::u16string& maximum) {
    return IsDigits(minimum) && NumberGreater(minimum, maximum);
  };
  if (!IsDigits(width)) {
    ShowInvalidValue(width);
    return false;
  }
  if (exceeds(Trimmed(Text("minwidth")), width)) {
    ShowCatalogueMessage(kMinGreaterThanMax);
    return false;
  }
  const std::u16string height = Trimmed(Text("maxheight"));
  if (height.empty()) {
    RemoveChildElement(MovieDescriptor(), u"initialWindow", u"maxSize");
    return true;
  }
  if (!IsDigits(height)) {
    ShowInvalidValue(height);
    return false;
  }
  if (exceeds(Trimmed(Text("minheight")), height)) {
    ShowCatalogueMessage(kMinGreaterThanMax);
    return false;
  }
  SetChildElementText(MovieDescriptor(), u"initialWindow", u"maxSize", width + u" " + height);
  return true;
}

void CAdvancedSettingsDlg::CommitAbilities() {
  for (const auto& [field, element] : kAbilityFields) {
    SetChildElementText(MovieDescriptor(), u"initialWindow", element, Checked(field) ? u"true" : u"false");
  }
  SetChildElementText(MovieDescriptor(), u"application", u"customUpdateUI", Checked("customupdate") ? u"true" : u"false");
}

void CAdvancedSettingsDlg::CommitFileTypes() {
  DescriptorDocument& document = MovieDescriptor();
  for (const std::string& replaced : replacedTypes_) zaro::RemoveFileType(document, FromUtf8(replaced));
  replacedTypes_.clear();
  for (auto& [key, record] : types_) {
    if (!record.keep) {
      zaro::RemoveFileType(document, key);
      record.loadedName.clear();  // a later commit finds nothing to remove
    } else if (SaveFileType(document, record) == 0) {
      // The element now carries this name: a later commit updates it instead of adding it again.
      record.loadedName = record.name;
    }
  }
}

// ---- the file type list ----

void CAdvancedSettingsDlg::RefreshListButtons() {
  const FormField* list = FindField("filetypes");
  const bool any = !list->items.empty() && !(list->items.size() == 1 && list->items.front() == Placeholder());
  SetEnabled("removetype", any);
  SetEnabled("edittype", any);
}

void CAdvancedSettingsDlg::ShowEntry(const std::u16string& entry) {
  std::vector<std::u16string>& items = FindField("filetypes")->items;
  items.erase(std::remove(items.begin(), items.end(), Placeholder()), items.end());
  // An entry of this type in another case is not repeated; a type whose name differs in
  // case is a type of its own in the table and is listed, so nothing is kept unseen.
  const bool listed = std::any_of(items.begin(), items.end(), [&](const std::u16string& item) {
    return StartsWithNoCase(item, entry) && EntryName(item) == EntryName(entry);
  });
  if (!listed) items.push_back(entry);
  RefreshListButtons();
}

void CAdvancedSettingsDlg::DropEntry(const std::u16string& entry) {
  FormField* list = FindField("filetypes");
  list->items.erase(std::remove(list->items.begin(), list->items.end(), entry), list->items.end());
  if (list->text == entry) list->text.clear();
  if (list->items.empty()) list->items.push_back(Placeholder());
  RefreshListButtons();
}

void CAdvancedSettingsDlg::DropOtherEntriesNamed(const std::u16string& name, const std::u16string& keep) {
  std::vector<std::u16string> stale;
  for (const std::u16string& item : FindField("filetypes")->items) {
    if (item != keep && item != Placeholder() && EntryName(item) == name) stale.push_back(item);
  }
  for (const std::u16string& item : stale) DropEntry(item);
}

void CAdvancedSettingsDlg::StoreRecord(const std::u16string& name, FileTypeRecord record) {
  if (const auto old = types_.find(name); old != types_.end() && !old->second.loadedName.empty()) {
    if (record.loadedName.empty()) {
      record.loadedName = old->second.loadedName;
    } else if (old->second.loadedName != record.loadedName) {
      replacedTypes_.push_back(old->second.loadedName);
    }
  }
  types_[name] = std::move(record);
}

void CAdvancedSettingsDlg::OnButton(std::string_view name) {
  if (name == "addtype") {
    AddFileType();
  } else if (name == "removetype") {
    RemoveFileType();
  } else if (name == "edittype") {
    EditFileType();
  }
}

void CAdvancedSettingsDlg::AddFileType() {
  FileTypeRecord record;
  CFileTypeDlg editor(record);
  if (Ui().RunModal(editor) != kIdOk || record.name.empty() || record.extension.empty()) return;
  const std::u16string entry = EntryFor(record);
  const std::u16string name = FromUtf8(record.name);
  StoreRecord(name, std::move(record));
  DropOtherEntriesNamed(name, entry);
  ShowEntry(entry);
}

void CAdvancedSettingsDlg::RemoveFileType() {
  const std::u16string entry = Text("filetypes");
  if (entry.empty() || entry == Placeholder()) return;
  if (auto it = types_.find(EntryName(entry)); it != types_.end()) it->second.keep = false;
  DropEntry(entry);
}

void CAdvancedSettingsDlg::EditFileType() {
  const std::u16string entry = Text("filetypes");
  const auto it = types_.find(EntryName(entry));
  if (entry.empty() || it == types_.end() || it->second.name.empty()) return;
  FileTypeRecord copy = it->second;
  CFileTypeDlg editor(copy);
  if (Ui().RunModal(editor) != kIdOk) return;
  copy.keep = true;
  const std::u16string newName = FromUtf8(copy.name);
  if (copy.name != it->second.name || copy.extension != it->second.extension) {
    DropEntry(entry);
    types_.erase(it);
    DropOtherEntriesNamed(newName, EntryFor(copy));
    ShowEntry(EntryFor(copy));
    SetText("filetypes", EntryFor(copy));
  }
  StoreRecord(newName, std::move(copy));
}

}  // namespace zaro
