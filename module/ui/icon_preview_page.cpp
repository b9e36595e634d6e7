#include "ui/icon_preview_page.h"

#include <algorithm>

#include "descriptor/application_icons.h"
#include "descriptor/descriptor_document.h"
#include "packaging/path_utilities.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/messages.h"
#include "ui/icon_choice.h"
#include "settings/settings_store.h"

namespace zaro {
namespace {

constexpr unsigned kIconCaption = 8106;
constexpr std::u16string_view kCopyFolder = u"AppIconsForPublish\\";

}  // namespace

CIconPreviewDlg::CIconPreviewDlg() {
  AddField(MakeField("size", FieldKind::List, u""));
  FormField path = MakeField("path", FieldKind::Text, u"128x128:");
  path.editable = false;
  AddField(std::move(path));
  AddField(MakeField("preview", FieldKind::Picture, u"预览:"));
  AddButton(MakeButton("browse", u"浏览..."));
  AddButton(MakeButton("remove", u"删除"));
}

void CIconPreviewDlg::OnInitPage() {
  sizes_ = ApplicationIconSizes(SettingIsTrue(keys::kPubIpa));
  FormField* list = FindField("size");
  list->items.clear();
  for (int size : sizes_) list->items.push_back(LoadMessage(kIconCaption) + u" " + IconSizeText(size));
  rootFolder_ = WithBackslashes(GetSetting(keys::kMovieFolder));
  list->text = list->items.front();
  ShowSelected();
}

int CIconPreviewDlg::SelectedSize() const {
  const FormField* list = FindField("size");
  const auto it = std::find(list->items.begin(), list->items.end(), list->text);
  if (it == list->items.end()) return 0;
  const size_t index = static_cast<size_t>(it - list->items.begin());
  return index < sizes_.size() ? sizes_[index] : 0;
}

void CIconPreviewDlg::ShowSelected() {
  const int size = SelectedSize();
  FindField("path")->label = size > 0 ? IconSizeText(size) : std::u16string();
  SetText("path", u"");
  SetText("preview", u"");
  if (size == 0) return;
  const std::u16string path =
      CutToLimit(BlanksUnescaped(ReadAppIcon(MovieDescriptor(), IconElementName(size))), kMaxIconPath);
  SetText("path", path);
  // A named file that is missing shows its path with an empty preview.
  if (!path.empty() && platform::FileExists(rootFolder_ + path)) SetText("preview", rootFolder_ + WithBackslashes(path));
}

void CIconPreviewDlg::OnFieldChanged(std::string_view name) {
  if (name == "size") ShowSelected();
}

void CIconPreviewDlg::OnButton(std::string_view name) {
  if (name == "browse") {
    Browse();
  } else if (name == "remove") {
    Remove();
  }
}

void CIconPreviewDlg::Browse() {
  const int size = SelectedSize();
  if (size == 0) return;
  const std::optional<ChosenIcon> chosen = ChooseMovieIcon(rootFolder_, kCopyFolder);
  if (!chosen) return;
  WriteAppIcon(MovieDescriptor(), IconElementName(size), BlanksEscaped(WithSlashes(chosen->relative)));
  ShowSelected();
}

void CIconPreviewDlg::Remove() {
  const int size = SelectedSize();
  if (size == 0) return;
  RemoveAppIcon(MovieDescriptor(), IconElementName(size));
  SetText("path", u"");
  SetText("preview", u"");
  SetChanged();
}

}  // namespace zaro
