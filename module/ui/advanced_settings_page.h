#pragma once
// CAdvancedSettingsDlg, the Advanced page of the desktop settings sheet: file type associations, the initial
// window's size, position, size limits and abilities, the install and program menu folders
// and the custom update interface. Everything goes into the movie's descriptor document;
// the file itself is saved by the sheet (the General page's commit).
//
// Form (page) name "Advanced", tab caption "高级".
// Fields:
//   typesection    Label  "关联的文件类型"      group box "types"
//   filetypes      List   entries "name(extension)", or "<无>" when there are none
//   windowsection  Label  "初始窗口设置"        group box "window"
//   width, height  Text   "宽度:", "高度:"       digits-only
//   x, y           Text   "X:", "Y:"             digits-only
//   maxwidth, maxheight  Text  "最大宽度:", "最大高度:"  digits-only; off while not resizable
//   minwidth, minheight  Text  "最小宽度:", "最小高度:"  digits-only; off while not resizable
//   maximizable, minimizable, resizable, visible  Check  "可最大化", "可最小化", "可调整大小", "可见"
//   othersection   Label  "其它设置"            group box "other"
//   installfolder  Text   "安装文件夹:"
//   programmenu    Text   "程序菜单文件夹:"
//   customupdate   Check  "使用自定义 UI 进行更新"
// Buttons: addtype, removetype, edittype (picture buttons over the list; remove and edit
//   are off while the list holds only the placeholder).
// Digits-only fields refuse typed non-digits in the window; a value set from an answers
// file counts as pasted and reaches the commit's check.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "descriptor/file_types.h"
#include "ui/form_state.h"

namespace zaro {

class CAdvancedSettingsDlg : public PageState {
 public:
  CAdvancedSettingsDlg();

  std::string FormName() const override { return "Advanced"; }
  std::u16string Caption() const override { return u"高级"; }
  int CommitFromSheet(bool /*showMessages*/) override { return Commit() ? 0 : 1; }

  // Writes the page into the descriptor document in its fixed order; false after the
  // first refusing check's message (what was written before it stays written).
  bool Commit();

  bool SetField(std::string_view name, std::u16string_view value) override;

  // The list's entry when there are no file types: "<" + message 8052 + ">".
  static std::u16string Placeholder();
  const std::map<std::u16string, FileTypeRecord>& FileTypes() const { return types_; }

 protected:
  void OnInitPage() override;
  void OnButton(std::string_view name) override;
  void OnFieldChanged(std::string_view name) override;

 private:
  // A descriptor text longer than the page reads, shown cut: its element is kept as it is
  // until the author edits one of the fields it filled.
  struct CutText {
    std::vector<std::string> fields;
    std::vector<std::u16string> shown;
  };

  void LoadFileTypes();
  void LoadFolder(std::u16string_view element, const std::string& field);
  void LoadNumber(std::u16string_view element, const std::string& field);
  void LoadSizePair(std::u16string_view element, const std::string& widthField, const std::string& heightField);
  void EnableSizeLimits(bool enabled);
  // An element's trimmed text up to the page's limit for it; `cut` tells whether it was longer.
  std::u16string ReadLimited(std::u16string_view element, bool folder, bool& cut);
  // Remembers what the fields show for an element whose text was cut.
  void NoteCut(std::u16string_view element, std::vector<std::string> fields);
  // True when the element's text was cut on reading and its fields still show it.
  bool KeepsCutText(std::u16string_view element) const;

  bool CommitFolders();
  bool CommitPosition();
  bool CommitMinimumSize();
  bool CommitMaximumSize();
  void CommitAbilities();
  void CommitFileTypes();

  void AddFileType();
  void RemoveFileType();
  void EditFileType();
  // Keeps a record under its name; a record it replaces hands over the descriptor element
  // it was read from, so that element is updated, not left beside a second one.
  void StoreRecord(const std::u16string& name, FileTypeRecord record);
  void ShowEntry(const std::u16string& entry);
  void DropEntry(const std::u16string& entry);
  // Drops the entries of a type name other than `keep` (a type replaced under its name).
  void DropOtherEntriesNamed(const std::u16string& name, const std::u16string& keep);
  void RefreshListButtons();

  std::map<std::u16string, FileTypeRecord> types_;
  // Names of descriptor types whose record was replaced by another one under their name.
  std::vector<std::string> replacedTypes_;
  std::map<std::u16string, CutText, std::less<>> cutTexts_;
};

}  // namespace zaro
