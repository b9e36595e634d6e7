#pragma once
// CSelfSignDlg, the dialog that makes a self-signed certificate (a PKCS #12 keystore) with the kit's
// packaging tool and makes it the document's certificate.
//
// Form name "SelfSign", title "创建自签名的数字证书".
// Fields, in tab order:
//   publisher     Text      "发布者名称:"   option -cn
//   unit          Text      "组织单位:"     option -ou
//   organization  Text      "组织名称:"     option -o
//   country       Choice    "国家或地区:"   editable, the 246 codes sorted, starts "US"; option -c
//   password      Password  "密码:"
//   confirm       Password  "确认密码:"
//   keytype       Choice    "类型:"         not editable: "1024-RSA" (selected) or "2048-RSA"
//   saveas        Text      "另存为:"       keystore file
// Buttons: browse "浏览..." (folder browser, fills saveas with folder + "\mycert.p12"),
//   Help "帮助", OK "确定" (default), Cancel "取消".
// Result: kIdOk once a certificate was created (certpath then names it), kIdCancel.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/form_state.h"

namespace zaro {

// The ISO 3166-1 two-letter codes offered for the country, in their stored order.
const std::vector<std::u16string>& CountryCodes();

class CSelfSignDlg : public FormState {
 public:
  // `javaRuntimeFolder` stands in for GetJavaRuntimeFolder (tests); empty: the real one.
  explicit CSelfSignDlg(std::function<std::u16string()> javaRuntimeFolder = {});

  std::string FormName() const override { return "SelfSign"; }
  bool SetField(std::string_view name, std::u16string_view value) override;

  // The tool's arguments from the fields, or nothing when publisher, unit, organisation,
  // country, save-as (read in this order) or password is empty. A save-as path whose
  // extension is neither ".p12" nor ".pfx" (any case) gets ".p12" appended, in the field too.
  std::optional<std::u16string> BuildCertificateArguments();
  // Password and confirmation both non-empty and equal.
  bool PasswordsMatch() const;
  // Runs the packaging tool's "-certificate" command with the arguments and reports the
  // outcome in a message box; true when the tool made the certificate.
  bool CreateCertificate(std::u16string_view arguments);
  // The command line CreateCertificate runs for `arguments`.
  std::u16string CertificateCommandLine(std::u16string_view arguments) const;

 protected:
  void OnButton(std::string_view name) override;

 private:
  void Browse();
  void Accept();

  std::function<std::u16string()> javaRuntimeFolder_;
};

}  // namespace zaro
