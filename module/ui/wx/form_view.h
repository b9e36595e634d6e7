#pragma once
// Views of ModalForm state: every control mirrors one field or button of the form, the
// form's own logic runs on each change and press, and the widgets are refreshed from the
// state afterwards. Placement follows the form's layout hints (form_layout.h); forms that
// need a window of their own (the settings sheet) are chosen by their FormName().
#include <wx/panel.h>
#include <wx/sizer.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/form_state.h"
#include "ui/wx/form_layout.h"
#include "ui/wx/picture_widgets.h"

class wxBoxSizer;
class wxButton;
class wxGauge;
class wxGridBagSizer;
class wxTimer;

namespace zaro::wxui {

// Breaks a text into lines no wider than `width` pixels in the window's font: at a space
// where the line has one, else between any two characters (Chinese has no spaces).
wxString WrapText(wxWindow* window, const wxString& text, int width);

// Creates the widgets of a FormState in a parent window and keeps both sides equal.
class FormBinder {
 public:
  // `afterAction` runs after every change that the form's logic saw (the owner closes
  // itself there when the form is closed).
  FormBinder(FormState& form, std::function<void()> afterAction);
  ~FormBinder();
  FormBinder(const FormBinder&) = delete;
  FormBinder& operator=(const FormBinder&) = delete;

  // The fields of the form with the buttons the layout puts beside them or on top; the
  // other buttons follow in a row of their own when `placeOtherButtons`, else they are
  // left to the caller (see OtherButtons).
  wxSizer* Build(wxWindow* parent, const FormLayout& layout, bool placeOtherButtons);
  std::vector<std::string> OtherButtons(const FormLayout& layout) const;
  // A push button that presses the form's button of that name.
  wxButton* MakeButton(wxWindow* parent, const FormButton& button, int id = wxID_ANY);
  void Bind(wxButton* widget, const std::string& name);

  // Widgets to state: edit texts that differ from the form.
  void PushTexts();
  // State to widgets: values, lists, enabled and visible flags, labels.
  void Sync();
  // Pushes the texts, presses the form's button, refreshes the widgets.
  bool Press(const std::string& name);

  FormState& Form() { return form_; }

 private:
  struct BoundField {
    std::string name;
    FieldKind kind = FieldKind::Text;
    bool editable = true;
    bool gauge = false;
    bool multiline = false;
    bool preview = false;
    wxWindow* label = nullptr;
    wxWindow* control = nullptr;
    std::vector<std::u16string> items;
  };

  // Adds the grid rows of one field (with the fields that share its row); returns the
  // number of grid rows used.
  int AddFieldRow(wxWindow* parent, wxGridBagSizer* grid, int row, const FormField& field,
                  const FormLayout& layout);
  // The control of a field with its inline label (when it has one) and the buttons beside
  // it, added to `line`.
  // `inlinePlace` is the field's place in its row (its inline label shares a width with the
  // inline labels at that place in the form's other rows).
  void AddControl(wxWindow* parent, wxBoxSizer* line, const FormField& field, const FormLayout& layout,
                  bool inlineLabel, size_t inlinePlace = 0);
  // The widget of a field, by its kind.
  wxWindow* MakeControl(wxWindow* parent, const FormField& field, const FormLayout& layout);
  // A static text (bold for a heading), or the marquee gauge of a progress form.
  wxWindow* MakeStatic(wxWindow* parent, const FormField& field, const FormLayout& layout);
  // A single-line, multi-line, password or digits-only edit.
  wxWindow* MakeEdit(wxWindow* parent, const FormField& field, const FormLayout& layout);
  // A check box.
  wxWindow* MakeCheck(wxWindow* parent, const FormField& field);
  // A radio button; the first of its group starts the group.
  wxWindow* MakeRadio(wxWindow* parent, const FormField& field);
  // An editable combo box or a drop-down list.
  wxWindow* MakeChoice(wxWindow* parent, const FormField& field, const FormLayout& layout);
  // A single-selection list box.
  wxWindow* MakeList(wxWindow* parent, const FormField& field, const FormLayout& layout);
  // An image preview frame, or a picture button.
  wxWindow* MakePicture(wxWindow* parent, const FormField& field, const FormLayout& layout);
  // A push button, or a picture button when the layout draws it as one.
  wxWindow* MakeAnyButton(wxWindow* parent, const FormButton& button, const FormLayout& layout);
  wxWindow* MakeLabel(wxWindow* parent, const FormField& field);
  // Gives every label of the label column the width of the widest.
  void AlignLabelColumn();
  void SetFromWidget(const std::string& name, const std::u16string& value);
  void SyncField(BoundField& bound, const FormField& field);
  void AfterChange();

  FormState& form_;
  std::function<void()> afterAction_;
  std::unique_ptr<wxTimer> pulse_;
  int wrapWidth_ = 0;
  std::vector<BoundField> fields_;
  std::vector<std::pair<std::string, wxWindow*>> buttons_;
  std::vector<wxWindow*> containers_;
  std::vector<wxWindow*> columnLabels_;  // the labels in the shared label column
  std::vector<std::vector<wxWindow*>> inlineColumns_;  // inline labels by their place in a row
  std::map<std::string, bool> radioGroupStarted_;
  bool syncing_ = false;
};

// Runs a form modally in a wx dialog (or its dedicated view) and returns its result.
int RunFormView(ModalForm& form);

// The dedicated view of a form name, or null when the generic dialog serves it.
using DedicatedView = int (*)(FormState& form);
DedicatedView FindDedicatedView(const std::string& formName);

// The button names a close box or Escape presses, in order of preference.
bool PressCancel(FormBinder& binder);

}  // namespace zaro::wxui
