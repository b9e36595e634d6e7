// The generic dialog of a form and the modal run of any form in wx.
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <cctype>

#include "platform/wake_signal.h"
#include "ui/wx/form_view.h"
#include "ui/wx/wx_services.h"
#include "ui/wx/wx_text.h"

namespace zaro::wxui {
namespace {

std::string LowerName(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool PressCancel(FormBinder& binder) {
  for (const FormButton& button : binder.Form().Buttons()) {
    if (LowerName(button.name) == "cancel") return binder.Press(button.name);
  }
  return false;
}

// ---- the generic dialog ----

namespace {

class FormDialog : public wxDialog {
 public:
  explicit FormDialog(FormState& form)
      : wxDialog(WxUi::Owner(), wxID_ANY, ToWx(form.Title()), wxDefaultPosition, wxDefaultSize,
                 wxDEFAULT_DIALOG_STYLE, wxString::FromUTF8(form.FormName())),
        form_(form),
        binder_(form, [this] { CloseWhenDone(); }) {
    const FormLayout& layout = LayoutFor(form.FormName());
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(binder_.Build(this, layout, false), 1, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, FromDIP(12));
    if (form.TimerIntervalMs() > 0) {
      if (layout.gauge.empty()) {
        // A form that waits for something shows a busy bar while its timer polls it.
        gauge_ = new wxGauge(this, wxID_ANY, 100, wxDefaultPosition, FromDIP(wxSize(240, 16)), wxGA_HORIZONTAL,
                             wxDefaultValidator, "busy");
        gauge_->SetValue(0);
        top->Add(gauge_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, FromDIP(12));
        pulse_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { gauge_->Pulse(); });
        pulse_.Start(50);
      }
      tick_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Tick(); });
      tick_.Start(form.TimerIntervalMs());
      // Another thread's wake-up posts a tick into the event loop at once; the timer above
      // is then only a fallback. A wake-up that came before this point posts one now.
      if (WakeSignal* wake = form.Wakeup()) {
        wake_ = wake;
        wake_->SetNotifier([this] { CallAfter(&FormDialog::Tick); });
      }
    }
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    std::vector<std::string> others = binder_.OtherButtons(layout);
    // Help sits at the left, the others at the right in the form's order.
    for (const std::string& name : others) {
      if (LowerName(name) != "help") continue;
      row->Add(binder_.MakeButton(this, *form.FindButton(name)), 0, wxRIGHT, FromDIP(6));
    }
    row->AddStretchSpacer();
    for (const std::string& name : others) {
      if (LowerName(name) == "help") continue;
      wxButton* button = binder_.MakeButton(this, *form.FindButton(name), LowerName(name) == "cancel" ? wxID_CANCEL
                                                                                                 : wxID_ANY);
      row->Add(button, 0, wxLEFT, FromDIP(6));
    }
    if (layout.centreButtons) row->AddStretchSpacer();
    top->Add(row, 0, wxEXPAND | wxALL, FromDIP(12));
    // Escape and the close box press the form's Cancel button; without one they are refused.
    SetEscapeId(wxID_NONE);
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
      if (event.GetKeyCode() == WXK_ESCAPE) {
        RequestClose();
      } else {
        event.Skip();
      }
    });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
      RequestClose();
      if (!form_.IsClosed() && event.CanVeto()) event.Veto();
    });
    binder_.Sync();
    SetSizerAndFit(top);
    // Over the owner when it is larger than the dialog both ways, else over the desktop.
    const wxWindow* owner = GetParent();
    if (owner != nullptr && owner->GetSize().GetWidth() > GetSize().GetWidth() &&
        owner->GetSize().GetHeight() > GetSize().GetHeight()) {
      CentreOnParent();
    } else {
      CentreOnScreen();
    }
  }

  // The widgets from the form's state (before a box opens over the dialog).
  void SyncWidgets() { binder_.Sync(); }

  ~FormDialog() override {
    // No wake-up may post to this window once it is gone; ticks already posted are dropped
    // with it.
    if (wake_ != nullptr) wake_->SetNotifier({});
    tick_.Stop();
    pulse_.Stop();
  }

 private:
  void RequestClose() {
    if (!PressCancel(binder_) && !form_.IsClosed()) {
      // No Cancel button: a plain close leaves the form open and answers Cancel.
      if (IsModal()) EndModal(kIdCancel);
    }
  }

  void Tick() {
    if (ending_) return;
    form_.OnTimer();
    binder_.Sync();
    CloseWhenDone();
  }

  void CloseWhenDone() {
    if (!form_.IsClosed() || !IsModal() || ending_) return;
    ending_ = true;
    tick_.Stop();
    pulse_.Stop();
    EndModal(form_.Result());
  }

  FormState& form_;
  FormBinder binder_;
  wxGauge* gauge_ = nullptr;
  wxTimer pulse_;
  wxTimer tick_;
  WakeSignal* wake_ = nullptr;
  bool ending_ = false;
};

// A ModalForm that is no FormState: its fields as edits, OK and Cancel.
class PlainFormDialog : public wxDialog {
 public:
  explicit PlainFormDialog(ModalForm& form)
      : wxDialog(WxUi::Owner(), wxID_ANY, wxString::FromUTF8(form.FormName()), wxDefaultPosition, wxDefaultSize,
                 wxDEFAULT_DIALOG_STYLE, wxString::FromUTF8(form.FormName())),
        form_(form) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* grid = new wxFlexGridSizer(2, FromDIP(6), FromDIP(8));
    grid->AddGrowableCol(1);
    for (const std::string& name : form.FieldNames()) {
      grid->Add(new wxStaticText(this, wxID_ANY, wxString::FromUTF8(name)), 0, wxALIGN_CENTER_VERTICAL);
      auto* edit = new wxTextCtrl(this, wxID_ANY, ToWx(form.GetField(name).value_or(u"")), wxDefaultPosition,
                                  FromDIP(wxSize(260, -1)), 0, wxDefaultValidator, wxString::FromUTF8(name));
      grid->Add(edit, 1, wxEXPAND);
      edits_.emplace_back(name, edit);
    }
    top->Add(grid, 1, wxEXPAND | wxALL, FromDIP(12));
    auto* buttons = new wxStdDialogButtonSizer();
    for (auto [id, name] : {std::pair{wxID_OK, "OK"}, std::pair{wxID_CANCEL, "Cancel"}}) {
      auto* button = new wxButton(this, id, ToWx(MessageBoxButtonLabel(id == wxID_OK ? kIdOk : kIdCancel)));
      const std::string control = name;
      button->Bind(wxEVT_BUTTON, [this, control](wxCommandEvent&) { Press(control); });
      buttons->AddButton(button);
    }
    buttons->Realize();
    top->Add(buttons, 0, wxEXPAND | wxALL, FromDIP(12));
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Press("Cancel"); });
    SetSizerAndFit(top);
    CentreOnParent();
  }

 private:
  void Press(const std::string& control) {
    for (const auto& [name, edit] : edits_) {
      const std::u16string value = FromWx(edit->GetValue());
      if (form_.GetField(name) != value) form_.SetField(name, value);
    }
    if (!form_.Press(control) && control == "Cancel") {
      EndModal(kIdCancel);
      return;
    }
    if (form_.IsClosed()) EndModal(form_.Result());
  }

  ModalForm& form_;
  std::vector<std::pair<std::string, wxTextCtrl*>> edits_;
};

}  // namespace

int RunFormView(ModalForm& form) {
  form.OnShow();
  if (form.IsClosed()) return form.Result();
  auto* state = dynamic_cast<FormState*>(&form);
  if (state == nullptr) {
    PlainFormDialog dialog(form);
    OwnerScope scope(&dialog);
    const int answer = dialog.ShowModal();
    return form.IsClosed() ? form.Result() : answer;
  }
  if (DedicatedView view = FindDedicatedView(form.FormName())) return view(*state);
  FormDialog dialog(*state);
  OwnerScope scope(&dialog, [&dialog] { dialog.SyncWidgets(); });
  const int answer = dialog.ShowModal();
  return state->IsClosed() ? state->Result() : answer;
}

}  // namespace zaro::wxui
