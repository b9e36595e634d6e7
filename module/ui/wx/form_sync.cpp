// The generic form view's binder, second half: author input taken into the form state, and
// the form state mirrored back into the widgets after every change.
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/gauge.h>
#include <wx/gbsizer.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/valtext.h>

#include <algorithm>

#include "ui/wx/form_controls.h"
#include "ui/wx/form_view.h"
#include "ui/wx/wx_text.h"

namespace zaro::wxui {

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
    if (bound.multiline) {
      value = FromEditLines(FromWx(static_cast<wxTextCtrl*>(bound.control)->GetValue()));
      if (value == FromEditLines(field->text)) continue;  // the same lines, however they are separated
    } else if (bound.kind == FieldKind::Text || bound.kind == FieldKind::Password) {
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
      const std::u16string shown = bound.multiline ? ToEditLines(field.text) : field.text;
      if (FromWx(edit->GetValue()) != shown) edit->ChangeValue(ToWx(shown));
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
      if (bound.preview) {
        static_cast<ImagePreview*>(control)->SetImagePath(field.text);
      } else {
        static_cast<PictureButton*>(control)->SetImagePath(field.text);
      }
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
    if (auto* label = dynamic_cast<wxStaticText*>(bound.label); label != nullptr && label->GetLabel() != ToWx(field->label)) {
      label->SetLabel(ToWx(field->label));
      relayout = true;
    }
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
    if (auto* picture = dynamic_cast<PictureButton*>(widget)) {
      if (picture->GetToolTipText() != ToWx(button->label)) picture->SetToolTip(ToWx(button->label));
    } else if (widget->GetLabel() != ToWx(button->label)) {
      widget->SetLabel(ToWx(button->label));
    }
    if (widget->IsShown() != button->visible) {
      widget->Show(button->visible);
      relayout = true;
    }
  }
  syncing_ = false;
  if (relayout && !fields_.empty() && fields_.front().control != nullptr) {
    AlignLabelColumn();
    if (wxWindow* top = wxGetTopLevelParent(fields_.front().control)) top->Layout();
  }
}

}  // namespace zaro::wxui
