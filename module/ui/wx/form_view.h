#pragma once
// Views of ModalForm state: every control mirrors one field or button of the form, the
// form's own logic runs on each change and press, and the widgets are refreshed from the
// state afterwards. Dialogs whose layout needs more than the generic one are chosen by
// their FormName().
#include <wx/panel.h>
#include <wx/sizer.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/form_state.h"

class wxButton;
class wxGauge;
class wxGridBagSizer;
class wxTimer;

namespace zaro::wxui {

// How a form's controls are placed beyond the generic one-row-per-field order.
struct FormLayout {
  // Buttons shown at the end of a field's row, by field name.
  std::map<std::string, std::vector<std::string>> beside;
  // Buttons shown at the top right of the form, above the fields.
  std::vector<std::string> top;
  // Fields that are indented (the controls that belong to a radio button above them).
  std::vector<std::string> indented;
  // Groups whose box is titled by this text when no label field names the group.
  std::map<std::string, std::u16string> groupTitles;
  // A label field drawn as a busy bar that pulses while the field is enabled and visible.
  std::string gauge;
  // Label fields shown in bold, as section headings.
  std::vector<std::string> headings;
  int editWidth = 260;  // minimum width of edits and combo boxes, in DIPs
  int wrapWidth = 0;    // label fields wrap at this width, in DIPs (0: no wrapping)
  bool centreButtons = false;  // the dialog's button row is centred instead of right-aligned
};

// Breaks a text into lines no wider than `width` pixels in the window's font: at a space
// where the line has one, else between any two characters (Chinese has no spaces).
wxString WrapText(wxWindow* window, const wxString& text, int width);

// The layout hints of a form by its FormName(); the generic one when none is known.
const FormLayout& LayoutFor(const std::string& formName);
// The layout of a sheet's page: pages of the iPhone sheet share names with the desktop
// pages ("General"), so their own hints are kept under "iPhone." + the page name.
const FormLayout& LayoutForPage(bool iphone, const std::string& pageName);

// A picture that acts as a button: it draws a frame and highlights while the pointer is
// over it, and reports a click.
class PictureButton : public wxPanel {
 public:
  PictureButton(wxWindow* parent, const wxString& name, wxSize size);
  void SetImagePath(const std::u16string& path);
  void SetOnClick(std::function<void()> onClick) { onClick_ = std::move(onClick); }
  bool IsHighlighted() const { return hover_; }

 private:
  void OnPaint(wxPaintEvent& event);

  std::u16string path_;
  wxBitmap bitmap_;
  bool hover_ = false;
  std::function<void()> onClick_;
};

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
    wxWindow* label = nullptr;
    wxWindow* control = nullptr;
    std::vector<std::u16string> items;
  };

  void AddFieldRow(wxWindow* parent, wxGridBagSizer* grid, int row, const FormField& field,
                   const FormLayout& layout);
  wxWindow* MakeControl(wxWindow* parent, const FormField& field, const FormLayout& layout);
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
