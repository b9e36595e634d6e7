#pragma once
// CDigitalSigDlg, the Signature page of the settings sheet: sign with a certificate or prepare an unsigned
// intermediate file, the certificate, its password and the time-stamp choice.
//
// Form (page) name "Signature", tab caption "签名".
// Fields:
//   section    Label     "应用程序数字签名"
//   usecert    Radio     "使用代码签名证书 (.p12, .pfx)"          group "signing", radio index 0
//   certpath   Choice    "证书:" editable, sorted recent certificates   (signing control)
//   password   Password  "密码:"                                      (signing control)
//   rempwd     Check     "在此次会话期间记住密码"                      (signing control)
//   timestamp  Check     "时间戳"                                     (signing control)
//   prepare    Radio     "准备稍后将要为其签名的 ZARO 中间 (ZAROI) 文件"  group "signing", radio index 1
// Buttons:
//   moreinfo   "更多信息"  opens the help link of message 8104
//   browse     "浏览..."   file-open dialog for a .p12 or .pfx file   (signing control)
//   create     "创建..."   runs the "SelfSign" dialog                 (signing control)
// A radio button cannot be switched off directly: setting it to "false" is refused unless
// it already is off; setting it to "true" runs its click handler, as a click would.
#include <string>
#include <string_view>

#include "ui/form_state.h"

namespace zaro {

class CDigitalSigDlg : public PageState {
 public:
  // CommitSignaturePage results.
  static constexpr int kAccepted = 0;
  static constexpr int kMissing = 1;          // certificate path or password empty
  static constexpr int kCertificateGone = 2;  // no file at the certificate path

  CDigitalSigDlg();

  std::string FormName() const override { return "Signature"; }
  std::u16string Caption() const override { return u"签名"; }
  int CommitFromSheet(bool showMessages) override { return CommitSignaturePage(showMessages); }

  // Stores the page's choices: the signing mode "DigitalSign", the certificate path (also
  // as "Last Selected Cert" and in the recent list "CertPath"), the password, the time-stamp
  // and remember-password settings. With showMessages on, an empty certificate path or
  // password (1) or a missing certificate file (2) is refused after its message, and the
  // page is filled again from the stored values.
  int CommitSignaturePage(bool showMessages);

  // 0 use a certificate, 1 prepare an intermediate file.
  int RadioIndex() const;
  // Width of the certificate drop-down list: its widest entry plus the text "0".
  int DropDownWidth() const { return dropDownWidth_; }

  bool SetField(std::string_view name, std::u16string_view value) override;

 protected:
  void OnInitPage() override { Initialise(); }
  void OnButton(std::string_view name) override;
  void OnFieldChanged(std::string_view name) override;

 private:
  void Initialise();
  void FillRecentCertificates();
  void SelectFirstCertificate();
  void EnableSigningControls(bool enabled);
  void FitDropDownWidth();
  // Puts a path into the certificate box and adds it to the list when no entry has exactly
  // that text.
  void ShowCertificate(const std::u16string& path);
  void Browse();
  void CreateSelfSigned();

  int dropDownWidth_ = 0;
};

}  // namespace zaro
