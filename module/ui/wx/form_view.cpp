#include "ui/wx/form_view.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/dcbuffer.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/gbsizer.h>
#include <wx/image.h>
#include <wx/listbox.h>
#include <wx/log.h>
#include <wx/radiobut.h>
#include <wx/settings.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <algorithm>
#include <cctype>

#include "platform/wake_signal.h"
#include "ui/wx/wx_services.h"
#include "ui/wx/wx_text.h"

namespace zaro::wxui {
namespace {

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

wxArrayString ToWxArray(const std::vector<std::u16string>& items) {
  wxArrayString out;
  for (const std::u16string& item : items) out.Add(ToWx(item));
  return out;
}

// Selects the list entry that is exactly the combo box's text, if there is one.
void SelectEntryOfText(wxComboBox* combo) {
  const int index = combo->FindString(combo->GetValue(), true);
  if (index != wxNOT_FOUND && combo->GetSelection() != index) combo->SetSelection(index);
}

// The text a label field shows: its caption, or its text when it has no caption.
const std::u16string& LabelText(const FormField& field) { return field.label.empty() ? field.text : field.label; }

}  // namespace

wxString WrapText(wxWindow* window, const wxString& text, int width) {
  if (width <= 0) return text;
  wxString out;
  for (const wxString& paragraph : wxSplit(text, '\n', '\0')) {
    if (!out.empty()) out << '\n';
    wxString line;
    for (wxUniChar c : paragraph) {
      if (!line.empty() && window->GetTextExtent(line + c).GetWidth() > width) {
        const size_t space = line.find_last_of(' ');
        if (c != ' ' && space != wxString::npos && space > 0 && c < 0x80) {
          out << line.substr(0, space) << '\n';
          line = line.substr(space + 1);
        } else {
          out << line << '\n';
          line.clear();
          if (c == ' ') continue;
        }
      }
      line << c;
    }
    out << line;
  }
  return out;
}

// ---- picture button ----

PictureButton::PictureButton(wxWindow* parent, const wxString& name, wxSize size)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, size, wxFULL_REPAINT_ON_RESIZE, name) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetMinSize(size);
  Bind(wxEVT_PAINT, &PictureButton::OnPaint, this);
  Bind(wxEVT_ENTER_WINDOW, [this](wxMouseEvent&) {
    hover_ = true;
    Refresh();
  });
  Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent&) {
    hover_ = false;
    Refresh();
  });
  Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) {
    if (IsEnabled() && onClick_) onClick_();
  });
}

void PictureButton::SetImagePath(const std::u16string& path) {
  if (path == path_ && (path.empty() || bitmap_.IsOk())) return;
  path_ = path;
  bitmap_ = wxBitmap();
  if (!path.empty() && platform::FileExists(path)) {
    wxImage image;
    wxLogNull quiet;  // a file that is no image leaves the picture empty
    if (image.LoadFile(PathToWx(path))) {
      const wxSize room = GetClientSize() - wxSize(8, 8);
      if (image.GetWidth() > room.GetWidth() || image.GetHeight() > room.GetHeight()) {
        const double scale = std::min(double(room.GetWidth()) / image.GetWidth(),
                                      double(room.GetHeight()) / image.GetHeight());
        image.Rescale(std::max(1, int(image.GetWidth() * scale)), std::max(1, int(image.GetHeight() * scale)),
                      wxIMAGE_QUALITY_HIGH);
      }
      bitmap_ = wxBitmap(image);
    }
  }
  Refresh();
}

void PictureButton::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxRect area(GetClientSize());
  const wxColour face = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
  const wxColour hot = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT);
  dc.SetBackground(wxBrush(hover_ && IsEnabled() ? face.ChangeLightness(115) : face));
  dc.Clear();
  dc.SetPen(wxPen(hover_ && IsEnabled() ? hot : wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW),
                  hover_ ? 2 : 1));
  dc.SetBrush(*wxTRANSPARENT_BRUSH);
  dc.DrawRectangle(wxRect(area).Deflate(1));
  if (bitmap_.IsOk()) {
    dc.DrawBitmap(bitmap_, (area.width - bitmap_.GetWidth()) / 2, (area.height - bitmap_.GetHeight()) / 2, true);
  }
}

// ---- binder ----

FormBinder::FormBinder(FormState& form, std::function<void()> afterAction)
    : form_(form), afterAction_(std::move(afterAction)) {}

FormBinder::~FormBinder() {
  if (pulse_) pulse_->Stop();
}

std::vector<std::string> FormBinder::OtherButtons(const FormLayout& layout) const {
  std::vector<std::string> placed = layout.top;
  for (const auto& [field, names] : layout.beside) {
    if (form_.FindField(field) == nullptr) continue;
    placed.insert(placed.end(), names.begin(), names.end());
  }
  std::vector<std::string> other;
  for (const FormButton& button : form_.Buttons()) {
    // A picture field presses the button of its own name; it needs no push button.
    const FormField* picture = form_.FindField(button.name);
    if (picture != nullptr && picture->kind == FieldKind::Picture) continue;
    if (!Contains(placed, button.name)) other.push_back(button.name);
  }
  return other;
}

wxButton* FormBinder::MakeButton(wxWindow* parent, const FormButton& button, int id) {
  auto* widget = new wxButton(parent, id, ToWx(button.label), wxDefaultPosition, wxDefaultSize, 0,
                              wxDefaultValidator, wxString::FromUTF8(button.name));
  if (button.isDefault) widget->SetDefault();
  Bind(widget, button.name);
  return widget;
}

void FormBinder::Bind(wxButton* widget, const std::string& name) {
  widget->Bind(wxEVT_BUTTON, [this, name](wxCommandEvent&) { Press(name); });
  buttons_.emplace_back(name, widget);
}

wxWindow* FormBinder::MakeControl(wxWindow* parent, const FormField& field, const FormLayout& layout) {
  const wxString name = wxString::FromUTF8(field.name);
  const wxSize editSize(parent->FromDIP(layout.editWidth), -1);
  const std::string fieldName = field.name;
  switch (field.kind) {
    case FieldKind::Label: {
      if (field.name == layout.gauge) {
        auto* gauge = new wxGauge(parent, wxID_ANY, 100, wxDefaultPosition, parent->FromDIP(wxSize(240, 16)),
                                  wxGA_HORIZONTAL, wxDefaultValidator, name);
        gauge->SetValue(0);
        pulse_ = std::make_unique<wxTimer>();
        pulse_->Bind(wxEVT_TIMER, [gauge](wxTimerEvent&) { gauge->Pulse(); });
        return gauge;
      }
      auto* text = new wxStaticText(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0, name);
      if (std::find(layout.headings.begin(), layout.headings.end(), field.name) != layout.headings.end()) {
        text->SetFont(text->GetFont().Bold());
      }
      text->SetLabel(WrapText(text, ToWx(LabelText(field)), wrapWidth_));
      return text;
    }
    case FieldKind::Text:
    case FieldKind::Password: {
      auto* edit = new wxTextCtrl(parent, wxID_ANY, ToWx(field.text), wxDefaultPosition, editSize,
                                  field.kind == FieldKind::Password ? wxTE_PASSWORD : 0, wxDefaultValidator, name);
      edit->Bind(wxEVT_TEXT, [this, fieldName, edit](wxCommandEvent&) {
        SetFromWidget(fieldName, FromWx(edit->GetValue()));
      });
      return edit;
    }
    case FieldKind::Check: {
      auto* box = new wxCheckBox(parent, wxID_ANY, ToWx(field.label), wxDefaultPosition, wxDefaultSize, 0,
                                 wxDefaultValidator, name);
      box->SetValue(field.text == u"true");
      box->Bind(wxEVT_CHECKBOX, [this, fieldName, box](wxCommandEvent&) {
        SetFromWidget(fieldName, box->GetValue() ? u"true" : u"false");
      });
      return box;
    }
    case FieldKind::Radio: {
      // Radio buttons of one group are siblings; the first of each group starts it.
      const bool first = !radioGroupStarted_[field.group];
      radioGroupStarted_[field.group] = true;
      auto* radio = new wxRadioButton(parent, wxID_ANY, ToWx(field.label), wxDefaultPosition, wxDefaultSize,
                                      first ? wxRB_GROUP : 0, wxDefaultValidator, name);
      if (field.text == u"true") radio->SetValue(true);
      radio->Bind(wxEVT_RADIOBUTTON, [this, fieldName](wxCommandEvent&) { SetFromWidget(fieldName, u"true"); });
      return radio;
    }
    case FieldKind::Choice: {
      if (field.editable) {
        // The form keeps its lists in display order (sorted where the dialog sorts).
        auto* combo = new wxComboBox(parent, wxID_ANY, ToWx(field.text), wxDefaultPosition, editSize,
                                     ToWxArray(field.items), wxCB_DROPDOWN, wxDefaultValidator, name);
        auto changed = [this, fieldName, combo](wxCommandEvent&) {
          SetFromWidget(fieldName, FromWx(combo->GetValue()));
        };
        combo->Bind(wxEVT_TEXT, changed);
        combo->Bind(wxEVT_COMBOBOX, changed);
        // The list opens on the entry the text names, so Escape there keeps that entry.
        SelectEntryOfText(combo);
        combo->Bind(wxEVT_COMBOBOX_DROPDOWN, [combo](wxCommandEvent& event) {
          SelectEntryOfText(combo);
          event.Skip();
        });
        return combo;
      }
      auto* choice = new wxChoice(parent, wxID_ANY, wxDefaultPosition, editSize, ToWxArray(field.items), 0,
                                  wxDefaultValidator, name);
      choice->SetStringSelection(ToWx(field.text));
      choice->Bind(wxEVT_CHOICE, [this, fieldName, choice](wxCommandEvent&) {
        SetFromWidget(fieldName, FromWx(choice->GetStringSelection()));
      });
      return choice;
    }
    case FieldKind::List: {
      auto* list = new wxListBox(parent, wxID_ANY, wxDefaultPosition,
                                 wxSize(parent->FromDIP(layout.editWidth), parent->FromDIP(110)),
                                 ToWxArray(field.items), wxLB_SINGLE, wxDefaultValidator, name);
      list->SetStringSelection(ToWx(field.text));
      list->Bind(wxEVT_LISTBOX, [this, fieldName, list](wxCommandEvent&) {
        SetFromWidget(fieldName, FromWx(list->GetStringSelection()));
      });
      return list;
    }
    case FieldKind::Picture: {
      auto* picture = new PictureButton(parent, name, parent->FromDIP(wxSize(64, 64)));
      picture->SetImagePath(field.text);
      picture->SetOnClick([this, fieldName] { Press(fieldName); });
      return picture;
    }
  }
  return nullptr;
}

void FormBinder::AddFieldRow(wxWindow* parent, wxGridBagSizer* grid, int row, const FormField& field,
                             const FormLayout& layout) {
  BoundField bound;
  bound.name = field.name;
  bound.kind = field.kind;
  bound.editable = field.editable;
  bound.gauge = field.kind == FieldKind::Label && field.name == layout.gauge;
  bound.items = field.items;
  const int indent = Contains(layout.indented, field.name) ? parent->FromDIP(18) : 0;
  const bool ownCaption = field.kind == FieldKind::Label || field.kind == FieldKind::Check ||
                          field.kind == FieldKind::Radio || field.label.empty();
  if (!ownCaption) {
    bound.label = new wxStaticText(parent, wxID_ANY, ToWx(field.label), wxDefaultPosition, wxDefaultSize, 0,
                                   wxString::FromUTF8(field.name + ".label"));
    grid->Add(bound.label, wxGBPosition(row, 0), wxDefaultSpan,
              wxALIGN_CENTER_VERTICAL | wxALIGN_LEFT | wxLEFT, indent);
  }
  bound.control = MakeControl(parent, field, layout);
  auto* line = new wxBoxSizer(wxHORIZONTAL);
  // Pictures keep their size; edits and lists take the row's width.
  line->Add(bound.control, field.kind == FieldKind::Picture ? 0 : 1, wxALIGN_CENTER_VERTICAL);
  if (auto it = layout.beside.find(field.name); it != layout.beside.end()) {
    for (const std::string& name : it->second) {
      if (FormButton* button = form_.FindButton(name)) line->Add(MakeButton(parent, *button), 0, wxLEFT, 6);
    }
  }
  if (ownCaption) {
    grid->Add(line, wxGBPosition(row, 0), wxGBSpan(1, 2), wxEXPAND | wxALIGN_CENTER_VERTICAL | wxLEFT, indent);
  } else {
    grid->Add(line, wxGBPosition(row, 1), wxDefaultSpan, wxEXPAND | wxALIGN_CENTER_VERTICAL);
  }
  fields_.push_back(std::move(bound));
}

wxSizer* FormBinder::Build(wxWindow* parent, const FormLayout& layout, bool placeOtherButtons) {
  wrapWidth_ = parent->FromDIP(layout.wrapWidth);
  auto* column = new wxBoxSizer(wxVERTICAL);
  if (!layout.top.empty()) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->AddStretchSpacer();
    for (const std::string& name : layout.top) {
      if (FormButton* button = form_.FindButton(name)) row->Add(MakeButton(parent, *button), 0, wxLEFT, 6);
    }
    column->Add(row, 0, wxEXPAND | wxBOTTOM, 6);
  }

  const std::vector<FormField>& fields = form_.Fields();
  size_t i = 0;
  while (i < fields.size()) {
    // A run of fields of one group box (radio groups are no boxes) shares a frame.
    const std::string box = fields[i].kind == FieldKind::Radio ? std::string() : fields[i].group;
    size_t end = i + 1;
    while (!box.empty() && end < fields.size() && fields[end].kind != FieldKind::Radio && fields[end].group == box) {
      ++end;
    }
    wxWindow* host = parent;
    wxSizer* holder = column;
    const FormField* caption = nullptr;
    if (!box.empty()) {
      caption = form_.FindField(box);
      if (caption != nullptr && caption->kind != FieldKind::Label) caption = nullptr;
      std::u16string title;
      if (caption != nullptr) {
        title = LabelText(*caption);
      } else if (auto it = layout.groupTitles.find(box); it != layout.groupTitles.end()) {
        title = it->second;
      }
      auto* frame = new wxStaticBoxSizer(wxVERTICAL, parent, ToWx(title));
      frame->GetStaticBox()->SetName(wxString::FromUTF8(box));
      containers_.push_back(frame->GetStaticBox());
      column->Add(frame, 0, wxEXPAND | wxBOTTOM, 8);
      host = frame->GetStaticBox();
      holder = frame;
    }
    auto* grid = new wxGridBagSizer(parent->FromDIP(6), parent->FromDIP(8));
    int row = 0;
    for (size_t k = i; k < end; ++k) {
      if (&fields[k] == caption) continue;
      AddFieldRow(host, grid, row++, fields[k], layout);
    }
    if (grid->GetCols() >= 2) grid->AddGrowableCol(1);
    else if (grid->GetCols() == 1) grid->AddGrowableCol(0);
    holder->Add(grid, 0, wxEXPAND | (box.empty() ? wxBOTTOM : wxALL), box.empty() ? 6 : 6);
    i = end;
  }
  // A label field that titles a group box is shown as the box caption only.
  if (placeOtherButtons) {
    const std::vector<std::string> others = OtherButtons(layout);
    if (!others.empty()) {
      auto* row = new wxBoxSizer(wxHORIZONTAL);
      for (const std::string& name : others) {
        if (FormButton* button = form_.FindButton(name)) row->Add(MakeButton(parent, *button), 0, wxRIGHT, 6);
      }
      column->Add(row, 0, wxTOP, 6);
    }
  }
  Sync();
  return column;
}

void FormBinder::SetFromWidget(const std::string& name, const std::u16string& value) {
  if (syncing_) return;
  const FormField* field = form_.FindField(name);
  if (field == nullptr || field->text == value) return;
  form_.SetField(name, value);
  AfterChange();
}

void FormBinder::PushTexts() {
  for (BoundField& bound : fields_) {
    const FormField* field = form_.FindField(bound.name);
    if (field == nullptr) continue;
    std::u16string value;
    if (bound.kind == FieldKind::Text || bound.kind == FieldKind::Password) {
      value = FromWx(static_cast<wxTextCtrl*>(bound.control)->GetValue());
    } else if (bound.kind == FieldKind::Choice && bound.editable) {
      value = FromWx(static_cast<wxComboBox*>(bound.control)->GetValue());
    } else {
      continue;
    }
    if (value != field->text) form_.SetField(bound.name, value);
  }
}

bool FormBinder::Press(const std::string& name) {
  PushTexts();
  const bool pressed = form_.Press(name);
  AfterChange();
  return pressed;
}

void FormBinder::AfterChange() {
  Sync();
  if (afterAction_) afterAction_();
}

void FormBinder::SyncField(BoundField& bound, const FormField& field) {
  wxWindow* control = bound.control;
  switch (bound.kind) {
    case FieldKind::Label: {
      if (bound.gauge) {
        const bool running = field.enabled && field.visible;
        if (running && !pulse_->IsRunning()) pulse_->Start(50);
        if (!running && pulse_->IsRunning()) pulse_->Stop();
        break;
      }
      auto* text = static_cast<wxStaticText*>(control);
      const wxString label = WrapText(text, ToWx(LabelText(field)), wrapWidth_);
      if (text->GetLabel() != label) text->SetLabel(label);
      break;
    }
    case FieldKind::Text:
    case FieldKind::Password: {
      auto* edit = static_cast<wxTextCtrl*>(control);
      if (FromWx(edit->GetValue()) != field.text) edit->ChangeValue(ToWx(field.text));
      break;
    }
    case FieldKind::Check: {
      auto* box = static_cast<wxCheckBox*>(control);
      box->SetValue(field.text == u"true");
      if (box->GetLabel() != ToWx(field.label)) box->SetLabel(ToWx(field.label));
      break;
    }
    case FieldKind::Radio: {
      auto* radio = static_cast<wxRadioButton*>(control);
      if (field.text == u"true" && !radio->GetValue()) radio->SetValue(true);
      break;
    }
    case FieldKind::Choice: {
      if (bound.editable) {
        auto* combo = static_cast<wxComboBox*>(control);
        if (bound.items != field.items) {
          combo->Set(ToWxArray(field.items));
          bound.items = field.items;
          SelectEntryOfText(combo);
        }
        if (FromWx(combo->GetValue()) != field.text) {
          const int index = combo->FindString(ToWx(field.text), true);
          if (index != wxNOT_FOUND) {
            combo->SetSelection(index);
          } else {
            combo->ChangeValue(ToWx(field.text));
          }
        }
      } else {
        auto* choice = static_cast<wxChoice*>(control);
        if (bound.items != field.items) {
          choice->Set(ToWxArray(field.items));
          bound.items = field.items;
        }
        if (FromWx(choice->GetStringSelection()) != field.text) {
          choice->SetSelection(choice->FindString(ToWx(field.text), true));
        }
      }
      break;
    }
    case FieldKind::List: {
      auto* list = static_cast<wxListBox*>(control);
      if (bound.items != field.items) {
        list->Set(ToWxArray(field.items));
        bound.items = field.items;
      }
      const int index = list->FindString(ToWx(field.text), true);
      if (index != list->GetSelection()) {
        if (index == wxNOT_FOUND) {
          list->SetSelection(wxNOT_FOUND);
        } else {
          list->SetSelection(index);
        }
      }
      break;
    }
    case FieldKind::Picture:
      static_cast<PictureButton*>(control)->SetImagePath(field.text);
      break;
  }
}

void FormBinder::Sync() {
  syncing_ = true;
  bool relayout = false;
  for (BoundField& bound : fields_) {
    const FormField* field = form_.FindField(bound.name);
    if (field == nullptr) continue;
    SyncField(bound, *field);
    for (wxWindow* window : {bound.control, bound.label}) {
      if (window == nullptr) continue;
      window->Enable(field->enabled);
      if (window->IsShown() != field->visible) {
        window->Show(field->visible);
        relayout = true;
      }
    }
  }
  for (auto& [name, widget] : buttons_) {
    FormButton* button = form_.FindButton(name);
    if (button == nullptr) continue;
    widget->Enable(button->enabled);
    if (widget->GetLabel() != ToWx(button->label)) widget->SetLabel(ToWx(button->label));
    if (widget->IsShown() != button->visible) {
      widget->Show(button->visible);
      relayout = true;
    }
  }
  syncing_ = false;
  if (relayout && !fields_.empty() && fields_.front().control != nullptr) {
    if (wxWindow* top = wxGetTopLevelParent(fields_.front().control)) top->Layout();
  }
}

bool PressCancel(FormBinder& binder) {
  for (const FormButton& button : binder.Form().Buttons()) {
    if (LowerAscii(button.name) == "cancel") return binder.Press(button.name);
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
      if (LowerAscii(name) != "help") continue;
      row->Add(binder_.MakeButton(this, *form.FindButton(name)), 0, wxRIGHT, FromDIP(6));
    }
    row->AddStretchSpacer();
    for (const std::string& name : others) {
      if (LowerAscii(name) == "help") continue;
      wxButton* button = binder_.MakeButton(this, *form.FindButton(name), LowerAscii(name) == "cancel" ? wxID_CANCEL
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
  OwnerScope scope(&dialog);
  const int answer = dialog.ShowModal();
  return state->IsClosed() ? state->Result() : answer;
}

}  // namespace zaro::wxui
