#include "signing/signature_password_dialog.h"

#include "settings/settings_store.h"

namespace zaro {

CSignaturePasswordDlg::CSignaturePasswordDlg() {
  SetTitle(u"数字签名密码");
  AddField(MakeField("password", FieldKind::Password, u"密码:"));
  AddField(MakeField("remember", FieldKind::Check, u"记住密码", u"false"));
  AddButton(MakeButton("OK", u"确定", true));
  AddButton(MakeButton("Cancel", u"取消"));
}

void CSignaturePasswordDlg::OnButton(std::string_view name) {
  if (name == "OK") {
    SetSetting(keys::kCertPassword, Text("password"));
    SetSetting(keys::kRememberPassword, Checked("remember") ? u"true" : u"false");
    Close(kIdOk);
  } else if (name == "Cancel") {
    Close(kIdCancel);
  }
}

}  // namespace zaro
