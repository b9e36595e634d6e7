#pragma once
// Small conversions the form binder's building and syncing halves share.
#include <wx/arrstr.h>
#include <wx/combobox.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "ui/form_state.h"
#include "ui/wx/wx_text.h"

namespace zaro::wxui {

inline wxArrayString ToWxArray(const std::vector<std::u16string>& items) {
  wxArrayString out;
  for (const std::u16string& item : items) out.Add(ToWx(item));
  return out;
}

// Selects the list entry that is exactly the combo box's text, if there is one.
inline void SelectEntryOfText(wxComboBox* combo) {
  const int index = combo->FindString(combo->GetValue(), true);
  if (index != wxNOT_FOUND && combo->GetSelection() != index) combo->SetSelection(index);
}

// The text a label field shows: its caption, or its text when it has no caption.
inline const std::u16string& LabelText(const FormField& field) { return field.label.empty() ? field.text : field.label; }

// Multi-line edits show "\n" between lines; the form keeps "\r\n".
inline std::u16string ToEditLines(const std::u16string& text) { return ReplaceAll(text, u"\r\n", u"\n"); }
inline std::u16string FromEditLines(const std::u16string& text) {
  return ReplaceAll(ReplaceAll(text, u"\r\n", u"\n"), u"\n", u"\r\n");
}

}  // namespace zaro::wxui
