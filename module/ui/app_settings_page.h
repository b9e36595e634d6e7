#pragma once
// CAppSettingsDlg, the desktop General page of the settings sheet: the application's identity from the
// movie's descriptor, the output file, the installer choice, the window style, the
// supported profiles and the extra files to package.
//
// Form (page) name "General", tab caption "常规".
// Fields:
//   destination           Text    "输出文件:"   setting com.zaro.quessa.zarodest
//   installer             Check   "Windows 安装程序 (.exe)"   setting com.zaro.quessa.pubexe
//   filename              Text    "文件名:"     descriptor filename
//   appname               Text    "应用程序名称:"  descriptor name (disabled when localised)
//   version               Text    "版本:"       descriptor version
//   appid                 Text    "应用程序 ID:"   descriptor id
//   idhint                Label   "例如: com.yourdomain.appname"
//   description           Text    "描述:" lines separated by "\r\n" (disabled when localised)
//   copyright             Text    "版权所有:"   descriptor copyright
//   windowstyle           Choice  "窗口样式:" "系统镶边", "自定义镶边（不透明）", "自定义镶边（透明）"
//   desktop, mobileDevice, extendedDesktop, extendedMobileDevice
//                         Check   "桌面", "移动设备", "扩展桌面", "扩展移动设备"
//   included              List    "包括的文件" the movie, the descriptor, then the extra items
// Buttons: browse (output file), addfile, remove, addfolder.
//
// Element texts are shown cut to 511 characters. A field the author left as it was shown
// is not written back, so an over-long text or a multi-line description stays in the
// descriptor exactly as it was.
#include <map>
#include <string>
#include <string_view>

#include "ui/form_state.h"

namespace zaro {

class CAppSettingsDlg : public PageState {
 public:
  // The longest element text a field shows (a buffer of 512 units).
  static constexpr size_t kMaxElementText = 511;
  // Commit results.
  static constexpr int kAccepted = 0;
  static constexpr int kInvalidId = 1;

  CAppSettingsDlg();

  std::string FormName() const override { return "General"; }
  std::u16string Caption() const override { return u"常规"; }
  int CommitFromSheet(bool /*showMessages*/) override { return Commit(); }

  // Validates the identifier (messages 8061 and 8062 when it is empty or invalid, and
  // nothing is written), then writes the descriptor elements and the settings and saves
  // the descriptor file.
  int Commit();

 protected:
  void OnInitPage() override;
  void OnButton(std::string_view name) override;
  void OnFieldChanged(std::string_view name) override;

 private:
  void ShowElements();
  void ShowWindowStyle();
  void ShowOutputFile();
  void ShowProfiles();
  void ShowIncluded();
  // Shows an element's text (cut to the limit) in a field and remembers what was shown.
  void ShowElement(std::string_view field, std::u16string_view tag);
  // The field's text when the author changed it from what was shown.
  bool Edited(std::string_view field) const;
  void WriteElement(std::string_view field, std::u16string_view tag);
  void CommitProfiles();
  void CommitIncluded();
  // addfile, addfolder and remove of the included-files list.
  void OnIncludedButton(std::string_view name);
  void UpdateRemoveButton();

  std::u16string descriptorPath_;
  bool localisedName_ = false;
  bool localisedDescription_ = false;
  std::map<std::string, std::u16string, std::less<>> shown_;
};

// The window-style entries (catalogue texts 8028, 8029, 8030) and their stored names
// "standard", "opaque", "transparent", by index.
std::u16string WindowStyleText(int index);

// The output file the General page shows for a stored destination (see the page).
std::u16string ShownOutputFile(std::u16string_view destination, std::u16string_view baseName);

}  // namespace zaro
