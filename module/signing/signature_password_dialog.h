#pragma once
// CSignaturePasswordDlg, the prompt for the desktop certificate's password, shown by the sheet's Publish button
// when a certificate is set but no password is known.
//
// Form name "SignaturePassword", title "数字签名密码".
// Fields: password  Password "密码:"; remember  Check "记住密码" (both start empty/unchecked).
// Buttons: OK "确定" (default), Cancel "取消".
// OK stores certpwd (an empty password is accepted) and rempwd; Cancel changes nothing.
#include <string>
#include <string_view>

#include "ui/form_state.h"

namespace zaro {

class CSignaturePasswordDlg : public FormState {
 public:
  CSignaturePasswordDlg();
  std::string FormName() const override { return "SignaturePassword"; }

 protected:
  void OnButton(std::string_view name) override;
};

}  // namespace zaro
