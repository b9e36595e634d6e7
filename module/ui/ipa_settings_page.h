#pragma once
// CIpaSettingsDlg, the iPhone General page of the settings sheet: the output .ipa file, the application's
// name and version, the start-up window and the extra files to package.
//
// Form (page) name "General" on an iPhone sheet, tab caption "常规".
// Fields:
//   destination  Text    "输出文件:"     com.zaro.quessa.ipadest
//   appname      Text    "应用程序名称:"  descriptor name (disabled when it holds one text per language)
//   version      Text    "版本:"         descriptor version
//   aspectratio  Choice  "高宽比:"       "纵向" (portrait) or "横向" (landscape)
//   fullscreen   Check   "全屏"
//   autoorients  Check   "自动方向"
//   rendering    Choice  "呈现:"         "自动", "CPU" or "GPU"
//   included     List    "包括的文件:"    the movie, its descriptor, then the extra files
// Buttons:
//   browse     save dialog for the output file
//   addfile    adds a file to the included list
//   remove     removes the selected extra entry (enabled only while one is selected)
//   addfolder  adds a folder to the included list
#include <string>
#include <string_view>

#include "ui/element_text_field.h"
#include "ui/form_state.h"

namespace zaro {

class CIpaSettingsDlg : public PageState {
 public:
  CIpaSettingsDlg();

  std::string FormName() const override { return "General"; }
  std::u16string Caption() const override { return u"常规"; }
  int CommitFromSheet(bool /*showMessages*/) override { return CommitIpaGeneral(); }

  // Fills the page from the settings and the movie's descriptor (upgrading the
  // descriptor's namespace to the kit sample's when they differ).
  void LoadIpaGeneral();
  // Writes the window elements, name and version into the descriptor, the output file and
  // the included files into the settings, and saves the descriptor file. Always 0.
  int CommitIpaGeneral();

  const std::u16string& DescriptorPath() const { return descriptorPath_; }
  // Horizontal extent of the included list: its widest entry.
  int ListExtent() const { return listExtent_; }

 protected:
  void OnInitPage() override { LoadIpaGeneral(); }
  void OnButton(std::string_view name) override;
  void OnFieldChanged(std::string_view name) override;

 private:
  // The list extent and the remove button from the list.
  void RefreshListExtent();

  std::u16string descriptorPath_;
  ElementTextField name_;
  ElementTextField version_;
  int listExtent_ = 0;
};

}  // namespace zaro
