// The settings sheet as a property sheet: one tab per page present, OK, Cancel, Publish
// in the place of Apply, and Help.
#include <wx/bookctrl.h>
#include <wx/button.h>
#include <wx/panel.h>
#include <wx/propdlg.h>
#include <wx/sizer.h>

#include <memory>
#include <vector>

#include "ui/settings_sheet.h"
#include "ui/wx/form_view.h"
#include "ui/wx/wx_services.h"
#include "ui/wx/wx_text.h"

namespace zaro::wxui {
namespace {

class SheetDialog : public wxPropertySheetDialog {
 public:
  explicit SheetDialog(CSettingsPropSheet& sheet) : sheet_(sheet) {
    Create(WxUi::Owner(), wxID_ANY, ToWx(sheet.Title()), wxDefaultPosition, wxDefaultSize,
           wxDEFAULT_DIALOG_STYLE, "Settings");
    wxBookCtrlBase* book = GetBookCtrl();
    for (int slot = 0; slot < sheet.PageSlots(); ++slot) {
      PageState* page = sheet.Page(slot);
      if (page == nullptr) continue;  // a page this build does not have
      auto* panel = new wxPanel(book, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
                                wxString::FromUTF8(page->FormName()));
      auto binder = std::make_unique<FormBinder>(*page, [this] { SyncAll(); });
      auto* sizer = new wxBoxSizer(wxVERTICAL);
      sizer->Add(binder->Build(panel, LayoutForPage(sheet.IsIphone(), page->FormName()), true), 1, wxEXPAND | wxALL, FromDIP(12));
      panel->SetSizer(sizer);
      book->AddPage(panel, ToWx(page->Caption()));
      tabs_.push_back({slot, std::move(binder)});
    }
    book->Bind(wxEVT_BOOKCTRL_PAGE_CHANGED, [this](wxBookCtrlEvent& event) {
      event.Skip();
      if (syncing_ || event.GetSelection() < 0 || size_t(event.GetSelection()) >= tabs_.size()) return;
      sheet_.SetActivePage(tabs_[event.GetSelection()].slot);
      SyncAll();
    });

    // A plain row keeps the sheet's own order (OK, Cancel, Publish, Help); the toolkit's
    // standard button sizer would rearrange them by the desktop's convention.
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    for (auto [name, id] : {std::pair{"OK", wxID_OK}, std::pair{"Cancel", wxID_CANCEL},
                            std::pair{"Publish", wxID_APPLY}, std::pair{"Help", wxID_HELP}}) {
      FormButton* button = sheet.FindButton(name);
      if (button == nullptr) continue;
      auto* widget = new wxButton(this, id, ToWx(button->label), wxDefaultPosition, wxDefaultSize, 0,
                                  wxDefaultValidator, name);
      const std::string control = name;
      widget->Bind(wxEVT_BUTTON, [this, control](wxCommandEvent&) { PressSheetButton(control); });
      if (button->isDefault) widget->SetDefault();
      buttons->Add(widget, 0, wxLEFT, FromDIP(6));
      sheetButtons_.emplace_back(control, widget);
    }
    GetInnerSizer()->Add(buttons, 0, wxEXPAND | wxALL, FromDIP(6));
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
      PressSheetButton("Cancel");
      if (!sheet_.IsClosed() && event.CanVeto()) event.Veto();
    });
    SyncAll();
    LayoutDialog();
  }

 private:
  struct Tab {
    int slot;
    std::unique_ptr<FormBinder> binder;
  };

  void PressSheetButton(const std::string& name) {
    for (Tab& tab : tabs_) tab.binder->PushTexts();
    if (!sheet_.Press(name) && name == "Cancel" && IsModal()) {
      EndModal(kIdCancel);
      return;
    }
    SyncAll();
  }

  // Every page's widgets from its state, the tab in front from the sheet, and the end of
  // the modal run once the sheet is closed.
  void SyncAll() {
    if (syncing_) return;
    SyncWidgets();
    if (sheet_.IsClosed() && IsModal() && !ending_) {
      ending_ = true;
      EndModal(sheet_.Result());
    }
  }

 public:
  // Every page's widgets and the tab in front from the sheet's state; it runs before a box
  // opens over the sheet too, so a page a button's logic brought forward is in front.
  void SyncWidgets() {
    if (syncing_) return;
    syncing_ = true;
    for (Tab& tab : tabs_) tab.binder->Sync();
    for (auto& [name, widget] : sheetButtons_) {
      if (FormButton* button = sheet_.FindButton(name)) {
        widget->Enable(button->enabled);
        if (widget->GetLabel() != ToWx(button->label)) widget->SetLabel(ToWx(button->label));
      }
    }
    for (size_t i = 0; i < tabs_.size(); ++i) {
      if (tabs_[i].slot == sheet_.ActivePage() && GetBookCtrl()->GetSelection() != int(i)) {
        GetBookCtrl()->ChangeSelection(i);
      }
    }
    syncing_ = false;
  }

 private:
  CSettingsPropSheet& sheet_;
  std::vector<Tab> tabs_;
  std::vector<std::pair<std::string, wxButton*>> sheetButtons_;
  bool syncing_ = false;
  bool ending_ = false;
};

}  // namespace

int RunSheetView(FormState& form) {
  auto* sheet = dynamic_cast<CSettingsPropSheet*>(&form);
  if (sheet == nullptr) return kIdCancel;
  SheetDialog dialog(*sheet);
  OwnerScope scope(&dialog, [&dialog] { dialog.SyncWidgets(); });
  const int answer = dialog.ShowModal();
  return sheet->IsClosed() ? sheet->Result() : answer;
}

}  // namespace zaro::wxui
