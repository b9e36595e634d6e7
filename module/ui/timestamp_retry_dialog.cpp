#include "ui/timestamp_retry_dialog.h"

namespace zaro {

namespace {

FormField StaticText(std::string name, std::u16string label) {
  FormField field;
  field.name = std::move(name);
  field.kind = FieldKind::Label;
  field.label = std::move(label);
  return field;
}

FormButton Button(std::string name, std::u16string label, bool isDefault = false) {
  FormButton button;
  button.name = std::move(name);
  button.label = std::move(label);
  button.isDefault = isDefault;
  return button;
}

}  // namespace

CTimestampRetryDlg::CTimestampRetryDlg() {
  SetTitle(u"Corvane Tessel KV5");
  AddField(StaticText("message", u"连接到时间戳服务器时出错。您可能没有连接到网络，或者服务器本身可能存在问题。"));
  AddField(StaticText("warning", u"如果您选择禁用时间戳，则在数字证书过期时 ZARO 应用程序将无法安装。"));
  AddButton(Button("DisableTimestamp", u"禁用时间戳"));
  AddButton(Button("Retry", u"重试", true));
  AddButton(Button("Cancel", u"取消"));
}

void CTimestampRetryDlg::OnButton(std::string_view name) {
  if (name == "DisableTimestamp") {
    Close(kDisableTimestamp);
  } else if (name == "Retry") {
    Close(kRetry);
  } else if (name == "Cancel") {
    Close(kCancel);
  }
}

}  // namespace zaro
