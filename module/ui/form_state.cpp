#include "ui/form_state.h"

#include <algorithm>

#include "platform/text.h"
#include "settings/messages.h"

namespace zaro {

FormField MakeField(std::string name, FieldKind kind, std::u16string label, std::u16string text, std::string group) {
  FormField field;
  field.name = std::move(name);
  field.kind = kind;
  field.label = std::move(label);
  field.text = std::move(text);
  field.group = std::move(group);
  return field;
}

FormButton MakeButton(std::string name, std::u16string label, bool isDefault) {
  FormButton button;
  button.name = std::move(name);
  button.label = std::move(label);
  button.isDefault = isDefault;
  return button;
}

std::vector<std::string> FormState::FieldNames() const {
  std::vector<std::string> names;
  for (const FormField& field : fields_) names.push_back(field.name);
  return names;
}

const FormField* FormState::FindField(std::string_view name) const {
  for (const FormField& field : fields_) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

FormField* FormState::FindField(std::string_view name) {
  return const_cast<FormField*>(static_cast<const FormState*>(this)->FindField(name));
}

FormButton* FormState::FindButton(std::string_view name) {
  for (FormButton& button : buttons_) {
    if (button.name == name) return &button;
  }
  return nullptr;
}

std::optional<std::u16string> FormState::GetField(std::string_view name) const {
  const FormField* field = FindField(name);
  if (field == nullptr) return std::nullopt;
  return field->text;
}

bool FormState::IsSecretField(std::string_view name) const {
  const FormField* field = FindField(name);
  return field != nullptr && field->kind == FieldKind::Password;
}

bool FormState::Checked(std::string_view name) const {
  const FormField* field = FindField(name);
  return field != nullptr && field->text == u"true";
}

std::u16string FormState::Text(std::string_view name) const {
  const FormField* field = FindField(name);
  return field == nullptr ? std::u16string() : field->text;
}

bool FormState::SetField(std::string_view name, std::u16string_view value) {
  FormField* field = FindField(name);
  if (field == nullptr || !field->enabled || !field->visible || field->kind == FieldKind::Label) return false;
  const bool boolean = field->kind == FieldKind::Check || field->kind == FieldKind::Radio;
  if (boolean && value != u"true" && value != u"false") return false;
  // A list or drop-down list is set by the text of one of its entries (a list also to
  // nothing, no entry selected); read-only edits are filled by the form's own logic only.
  const bool fixedList = field->kind == FieldKind::List || (field->kind == FieldKind::Choice && !field->editable);
  if (fixedList && !(field->kind == FieldKind::List && value.empty()) &&
      std::find(field->items.begin(), field->items.end(), value) == field->items.end()) {
    return false;
  }
  if ((field->kind == FieldKind::Text || field->kind == FieldKind::Password) && !field->editable) return false;
  if (field->kind == FieldKind::Radio && value == u"true") {
    for (FormField& other : fields_) {
      if (other.kind == FieldKind::Radio && other.group == field->group) other.text = u"false";
    }
  }
  field->text = value;
  OnFieldChanged(name);
  return true;
}

bool FormState::Press(std::string_view control) {
  FormButton* button = FindButton(control);
  if (button == nullptr || !button->enabled || !button->visible) return false;
  OnButton(control);
  return true;
}

FormField& FormState::AddField(FormField field) {
  fields_.push_back(std::move(field));
  return fields_.back();
}

FormButton& FormState::AddButton(FormButton button) {
  buttons_.push_back(std::move(button));
  return buttons_.back();
}

void FormState::SetText(std::string_view name, std::u16string_view text) {
  if (FormField* field = FindField(name)) field->text = text;
}

void FormState::SetChecked(std::string_view name, bool checked) { SetText(name, checked ? u"true" : u"false"); }

void FormState::SetEnabled(std::string_view name, bool enabled) {
  if (FormField* field = FindField(name)) field->enabled = enabled;
  if (FormButton* button = FindButton(name)) button->enabled = enabled;
}

void PageState::Activate() {
  if (opened_) return;
  OnInitPage();
  opened_ = true;
}

namespace {

bool SortsBefore(const std::u16string& a, const std::u16string& b) {
  const bool folded = std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                   [](char16_t x, char16_t y) { return FoldAscii(x) < FoldAscii(y); });
  const bool foldedAfter = std::lexicographical_compare(
      b.begin(), b.end(), a.begin(), a.end(), [](char16_t x, char16_t y) { return FoldAscii(x) < FoldAscii(y); });
  if (folded || foldedAfter) return folded;
  return a < b;
}

}  // namespace

void InsertSorted(std::vector<std::u16string>& items, std::u16string item) {
  const auto place = std::upper_bound(items.begin(), items.end(), item, SortsBefore);
  items.insert(place, std::move(item));
}

bool OpenHelpLink(unsigned messageId) { return Ui().OpenLink(LoadMessage(messageId)); }

}  // namespace zaro
