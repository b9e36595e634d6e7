#include "ui/progress_dialog.h"

namespace zaro {

CProgressDlg::CProgressDlg() {
  FormField status;
  status.name = "status";
  status.kind = FieldKind::Label;
  status.label = u"正在发布...";
  AddField(std::move(status));
  FormField bar;
  bar.name = "progress";
  bar.kind = FieldKind::Label;
  bar.text = u"0";
  AddField(std::move(bar));
  FormButton cancel;
  cancel.name = "Cancel";
  cancel.label = u"取消";
  AddButton(std::move(cancel));
}

void CProgressDlg::OnShow() {
  if (!cancelled_) {
    marquee_ = true;
    SetText("progress", u"0");
  }
  OnTimer();
}

void CProgressDlg::OnTimer() {
  if (IsClosed()) return;
  if (flag_ != nullptr && flag_->load() != 0) Finish(0);
}

void CProgressDlg::OnButton(std::string_view name) {
  if (name != "Cancel") return;
  cancelled_ = true;
  marquee_ = false;
  if (FormField* bar = FindField("progress")) {
    bar->enabled = false;
    bar->visible = false;
  }
  // The runner sees the flag at its next poll and kills the tool's process tree.
  if (flag_ != nullptr) flag_->store(1);
  Finish(kIdCancel);
}

void CProgressDlg::Finish(int result) {
  marquee_ = false;
  flag_ = nullptr;  // a closed dialog neither reads nor writes the job any more
  wake_ = nullptr;
  Close(result);
}

}  // namespace zaro
