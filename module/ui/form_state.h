#pragma once
// Plain form state for dialogs and pages: named fields and buttons with their enabled and
// visible flags. Dialog classes derive from FormState and put their logic in OnButton and
// OnFieldChanged; views (wx, console, scripted) only read and write this state.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui_services.h"

namespace zaro {

enum class FieldKind {
  Label,     // static text; never set by the author
  Text,      // single-line edit
  Password,  // edit that hides its text
  Check,     // check box: text is "true" or "false"
  Radio,     // radio button: text is "true" or "false"; one per group is on
  Choice,    // drop-down list or combo box: text is the current entry, items the list
  List,      // list box: text is the selected entry, items the list
  Picture,   // an image preview or picture button: text is the image path
};

struct FormField {
  std::string name;
  FieldKind kind = FieldKind::Text;
  std::u16string label;
  std::u16string text;
  std::vector<std::u16string> items;
  std::string group;      // radio group, or the group box the field sits in
  bool enabled = true;
  bool visible = true;
  bool editable = true;   // a combo box whose text can be typed; false: a read-only edit
};

struct FormButton {
  std::string name;
  std::u16string label;
  bool enabled = true;
  bool visible = true;
  bool isDefault = false;
};

// A field of a kind with its label and first text; a button with its caption.
FormField MakeField(std::string name, FieldKind kind, std::u16string label, std::u16string text = {},
                    std::string group = {});
FormButton MakeButton(std::string name, std::u16string label, bool isDefault = false);

class FormState : public ModalForm {
 public:
  std::vector<std::string> FieldNames() const override;
  std::optional<std::u16string> GetField(std::string_view name) const override;
  std::optional<std::u16string> GetLabel(std::string_view name) const override;
  bool IsSecretField(std::string_view name) const override;
  // Refuses unknown, disabled, hidden and label fields, read-only edits, and a list or
  // drop-down list text that is none of its entries; a radio set to "true" clears the
  // others of its group. Runs OnFieldChanged after a change.
  bool SetField(std::string_view name, std::u16string_view value) override;
  // Refuses unknown, disabled and hidden buttons; otherwise runs OnButton.
  bool Press(std::string_view control) override;
  bool IsClosed() const override { return closed_; }
  int Result() const override { return result_; }

  const std::u16string& Title() const { return title_; }
  const std::vector<FormField>& Fields() const { return fields_; }
  const std::vector<FormButton>& Buttons() const { return buttons_; }
  const FormField* FindField(std::string_view name) const;
  FormField* FindField(std::string_view name);
  FormButton* FindButton(std::string_view name);
  bool Checked(std::string_view name) const;
  std::u16string Text(std::string_view name) const;

 protected:
  void SetTitle(std::u16string title) { title_ = std::move(title); }
  FormField& AddField(FormField field);
  FormButton& AddButton(FormButton button);
  void SetText(std::string_view name, std::u16string_view text);
  void SetChecked(std::string_view name, bool checked);
  void SetEnabled(std::string_view name, bool enabled);
  void Close(int result) {
    closed_ = true;
    result_ = result;
  }

  virtual void OnButton(std::string_view name) = 0;
  virtual void OnFieldChanged(std::string_view /*name*/) {}

 private:
  std::u16string title_;
  std::vector<FormField> fields_;
  std::vector<FormButton> buttons_;
  bool closed_ = false;
  int result_ = 0;
};

// A page of a property sheet. It keeps its own form state; the sheet shows its fields and
// buttons under the page's name ("Signature.certpath") and reads the two flags below.
// FormName() is that page name.
class PageState : public FormState {
 public:
  // The tab caption ("签名").
  virtual std::u16string Caption() const = 0;
  // Brings the page to the front. The first time it fills the page (OnInitPage) and marks
  // it opened; later activations change nothing.
  void Activate();
  // Shown at least once and filled; a page never opened is neither committed nor counted.
  bool Opened() const { return opened_; }
  // The author changed something that belongs in the document settings.
  bool Changed() const { return changed_; }
  // The page's commit as the sheet runs it: 0 when accepted, non-zero when refused (the
  // page has then shown its message, when showMessages is on).
  virtual int CommitFromSheet(bool showMessages) = 0;

 protected:
  virtual void OnInitPage() = 0;
  void SetChanged() { changed_ = true; }

 private:
  bool opened_ = false;
  bool changed_ = false;
};

// Adds an entry to the list of a sorted list or combo box at its place: ordered without
// regard to ASCII case, then by code unit.
void InsertSorted(std::vector<std::u16string>& items, std::u16string item);

// Opens the help link that catalogue message `messageId` holds, in the author's browser.
bool OpenHelpLink(unsigned messageId);

}  // namespace zaro
