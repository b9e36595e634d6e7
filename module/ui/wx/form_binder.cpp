// The generic form view's binder: builds a form's widgets by its layout hints (keeping
// widgets and form state equal is in form_sync.cpp).
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
namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Fields whose label stands in the label column rather than in the control itself.
bool HasColumnLabel(const FormField& field) {
  return !(field.kind == FieldKind::Label || field.kind == FieldKind::Check || field.kind == FieldKind::Radio ||
           field.label.empty());
}

const RowHint* RowOf(const FormLayout& layout, const std::string& name) {
  for (const RowHint& row : layout.rows) {
    if (Contains(row.fields, name)) return &row;
  }
  return nullptr;
}

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

// ---- binder ----

FormBinder::FormBinder(FormState& form, std::function<void()> afterAction)
    : form_(form), afterAction_(std::move(afterAction)) {}

FormBinder::~FormBinder() {
  if (pulse_) pulse_->Stop();
}

std::vector<std::string> FormBinder::OtherButtons(const FormLayout& layout) const {
  std::vector<std::string> placed = layout.top;
  for (const auto* placement : {&layout.beside, &layout.buttonBars}) {
    for (const auto& [field, names] : *placement) {
      if (form_.FindField(field) == nullptr) continue;
      placed.insert(placed.end(), names.begin(), names.end());
    }
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

wxWindow* FormBinder::MakeAnyButton(wxWindow* parent, const FormButton& button, const FormLayout& layout) {
  const auto glyph = layout.pictureButtons.find(button.name);
  if (glyph == layout.pictureButtons.end()) return MakeButton(parent, button);
  auto* picture = new PictureButton(parent, wxString::FromUTF8(button.name), parent->FromDIP(wxSize(28, 28)));
  picture->SetGlyph(glyph->second);
  picture->SetToolTip(ToWx(button.label));
  const std::string name = button.name;
  picture->SetOnClick([this, name] { Press(name); });
  buttons_.emplace_back(name, picture);
  return picture;
}

wxWindow* FormBinder::MakeLabel(wxWindow* parent, const FormField& field) {
  return new wxStaticText(parent, wxID_ANY, ToWx(field.label), wxDefaultPosition, wxDefaultSize, 0,
                          wxString::FromUTF8(field.name + ".label"));
}

namespace {

// The width an edit, combo box or drop-down takes: the layout's own for the field, else the form's.
wxSize EditSize(wxWindow* parent, const FormField& field, const FormLayout& layout) {
  const auto width = layout.widths.find(field.name);
  return wxSize(parent->FromDIP(width != layout.widths.end() ? width->second : layout.editWidth), -1);
}

}  // namespace

wxWindow* FormBinder::MakeControl(wxWindow* parent, const FormField& field, const FormLayout& layout) {
  switch (field.kind) {
    case FieldKind::Label:
      return MakeStatic(parent, field, layout);
    case FieldKind::Text:
    case FieldKind::Password:
      return MakeEdit(parent, field, layout);
    case FieldKind::Check:
      return MakeCheck(parent, field);
    case FieldKind::Radio:
      return MakeRadio(parent, field);
    case FieldKind::Choice:
      return MakeChoice(parent, field, layout);
    case FieldKind::List:
      return MakeList(parent, field, layout);
    case FieldKind::Picture:
      return MakePicture(parent, field, layout);
  }
  return nullptr;
}

wxWindow* FormBinder::MakeStatic(wxWindow* parent, const FormField& field, const FormLayout& layout) {
  const wxString name = wxString::FromUTF8(field.name);
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

wxWindow* FormBinder::MakeEdit(wxWindow* parent, const FormField& field, const FormLayout& layout) {
  const wxString name = wxString::FromUTF8(field.name);
  const std::string fieldName = field.name;
  const wxSize editSize = EditSize(parent, field, layout);
  const auto lines = layout.multiline.find(field.name);
  if (field.kind == FieldKind::Text && lines != layout.multiline.end()) {
    const int height = parent->GetCharHeight() * std::max(2, lines->second) + parent->FromDIP(10);
    auto* edit = new wxTextCtrl(parent, wxID_ANY, ToWx(ToEditLines(field.text)), wxDefaultPosition,
                                wxSize(editSize.GetWidth(), height), wxTE_MULTILINE, wxDefaultValidator, name);
    edit->Bind(wxEVT_TEXT, [this, fieldName, edit](wxCommandEvent&) {
      SetFromWidget(fieldName, FromEditLines(FromWx(edit->GetValue())));
    });
    return edit;
  }
  const long style = (field.kind == FieldKind::Password ? wxTE_PASSWORD : 0) | (field.editable ? 0 : wxTE_READONLY);
  // A digits-only edit filters the keys typed into it; pasted text still gets through.
  const wxTextValidator digits(wxFILTER_DIGITS);
  const wxValidator& validator =
      Contains(layout.digitsOnly, field.name) ? static_cast<const wxValidator&>(digits) : wxDefaultValidator;
  auto* edit = new wxTextCtrl(parent, wxID_ANY, ToWx(field.text), wxDefaultPosition, editSize, style, validator,
                              name);
  edit->Bind(wxEVT_TEXT, [this, fieldName, edit](wxCommandEvent&) {
    SetFromWidget(fieldName, FromWx(edit->GetValue()));
  });
  return edit;
}

wxWindow* FormBinder::MakeCheck(wxWindow* parent, const FormField& field) {
  const wxString name = wxString::FromUTF8(field.name);
  const std::string fieldName = field.name;
  auto* box = new wxCheckBox(parent, wxID_ANY, ToWx(field.label), wxDefaultPosition, wxDefaultSize, 0,
                             wxDefaultValidator, name);
  box->SetValue(field.text == u"true");
  box->Bind(wxEVT_CHECKBOX, [this, fieldName, box](wxCommandEvent&) {
    SetFromWidget(fieldName, box->GetValue() ? u"true" : u"false");
  });
  return box;
}

wxWindow* FormBinder::MakeRadio(wxWindow* parent, const FormField& field) {
  const wxString name = wxString::FromUTF8(field.name);
  const std::string fieldName = field.name;
  // Radio buttons of one group are siblings; the first of each group starts it.
  const bool first = !radioGroupStarted_[field.group];
  radioGroupStarted_[field.group] = true;
  auto* radio = new wxRadioButton(parent, wxID_ANY, ToWx(field.label), wxDefaultPosition, wxDefaultSize,
                                  first ? wxRB_GROUP : 0, wxDefaultValidator, name);
  if (field.text == u"true") radio->SetValue(true);
  radio->Bind(wxEVT_RADIOBUTTON, [this, fieldName](wxCommandEvent&) { SetFromWidget(fieldName, u"true"); });
  return radio;
}

wxWindow* FormBinder::MakeChoice(wxWindow* parent, const FormField& field, const FormLayout& layout) {
  const wxString name = wxString::FromUTF8(field.name);
  const std::string fieldName = field.name;
  const wxSize editSize = EditSize(parent, field, layout);
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

wxWindow* FormBinder::MakeList(wxWindow* parent, const FormField& field, const FormLayout& layout) {
  const wxString name = wxString::FromUTF8(field.name);
  const std::string fieldName = field.name;
  auto* list = new wxListBox(parent, wxID_ANY, wxDefaultPosition,
                             wxSize(parent->FromDIP(layout.editWidth), parent->FromDIP(110)),
                             ToWxArray(field.items), wxLB_SINGLE, wxDefaultValidator, name);
  list->SetStringSelection(ToWx(field.text));
  list->Bind(wxEVT_LISTBOX, [this, fieldName, list](wxCommandEvent&) {
    SetFromWidget(fieldName, FromWx(list->GetStringSelection()));
  });
  return list;
}

wxWindow* FormBinder::MakePicture(wxWindow* parent, const FormField& field, const FormLayout& layout) {
  const wxString name = wxString::FromUTF8(field.name);
  const std::string fieldName = field.name;
  if (const auto preview = layout.previews.find(field.name); preview != layout.previews.end()) {
    auto* frame = new ImagePreview(parent, name,
                                   parent->FromDIP(wxSize(preview->second.width, preview->second.height)));
    frame->SetImagePath(field.text);
    return frame;
  }
  auto* picture = new PictureButton(parent, name, parent->FromDIP(wxSize(64, 64)));
  picture->SetImagePath(field.text);
  picture->SetOnClick([this, fieldName] { Press(fieldName); });
  return picture;
}

void FormBinder::AddControl(wxWindow* parent, wxBoxSizer* line, const FormField& field, const FormLayout& layout,
                            bool inlineLabel, size_t inlinePlace) {
  BoundField bound;
  bound.name = field.name;
  bound.kind = field.kind;
  bound.editable = field.editable;
  bound.gauge = field.kind == FieldKind::Label && field.name == layout.gauge;
  bound.multiline = field.kind == FieldKind::Text && layout.multiline.count(field.name) != 0;
  bound.preview = field.kind == FieldKind::Picture && layout.previews.count(field.name) != 0;
  bound.items = field.items;
  // Previews in a row stand on a common bottom line, their labels with them.
  const int across = bound.preview ? int(wxALIGN_BOTTOM) : int(wxALIGN_CENTER_VERTICAL);
  if (inlineLabel && HasColumnLabel(field)) {
    bound.label = MakeLabel(parent, field);
    line->Add(bound.label, 0, across | wxRIGHT, parent->FromDIP(8));
    if (inlineColumns_.size() <= inlinePlace) inlineColumns_.resize(inlinePlace + 1);
    inlineColumns_[inlinePlace].push_back(bound.label);
  }
  bound.control = MakeControl(parent, field, layout);
  // Pictures and controls of a fixed width keep their size; the others share the row.
  const bool fixed = field.kind == FieldKind::Picture || layout.widths.count(field.name) != 0;
  line->Add(bound.control, fixed ? 0 : 1, bound.multiline ? int(wxEXPAND) : across);
  if (auto it = layout.beside.find(field.name); it != layout.beside.end()) {
    for (const std::string& name : it->second) {
      if (FormButton* button = form_.FindButton(name)) {
        line->Add(MakeAnyButton(parent, *button, layout), 0, wxALIGN_CENTER_VERTICAL | wxLEFT, parent->FromDIP(6));
      }
    }
  }
  fields_.push_back(std::move(bound));
}

int FormBinder::AddFieldRow(wxWindow* parent, wxGridBagSizer* grid, int row, const FormField& field,
                            const FormLayout& layout) {
  const int indent = Contains(layout.indented, field.name) ? parent->FromDIP(18) : 0;
  const RowHint* shared = RowOf(layout, field.name);
  const bool note = field.kind == FieldKind::Label && Contains(layout.notes, field.name);

  // The label column: the row's own label, or the first field's.
  wxWindow* columnLabel = nullptr;
  bool labelled = false;
  if (shared != nullptr && !shared->label.empty()) {
    columnLabel = new wxStaticText(parent, wxID_ANY, ToWx(shared->label), wxDefaultPosition, wxDefaultSize, 0,
                                   wxString::FromUTF8(field.name + ".row"));
    labelled = true;
  } else if (HasColumnLabel(field)) {
    labelled = true;
  }

  int used = 0;
  // A button bar stands on a row of its own above the control, with the label beside it.
  if (auto bar = layout.buttonBars.find(field.name); bar != layout.buttonBars.end()) {
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    for (const std::string& name : bar->second) {
      if (FormButton* button = form_.FindButton(name)) {
        buttons->Add(MakeAnyButton(parent, *button, layout), 0, wxRIGHT, parent->FromDIP(4));
      }
    }
    grid->Add(buttons, wxGBPosition(row, 1), wxDefaultSpan, wxALIGN_CENTER_VERTICAL);
    used = 1;
  }

  auto* line = new wxBoxSizer(wxHORIZONTAL);
  AddControl(parent, line, field, layout, false);
  // By index: the row's other controls below grow fields_ and may move its elements.
  const size_t firstIndex = fields_.size() - 1;
  if (labelled && columnLabel == nullptr) {
    fields_[firstIndex].label = MakeLabel(parent, field);
    columnLabel = fields_[firstIndex].label;
  }
  if (shared != nullptr) {
    for (size_t k = 1; k < shared->fields.size(); ++k) {
      const FormField* other = form_.FindField(shared->fields[k]);
      if (other == nullptr) continue;
      line->AddSpacer(parent->FromDIP(12));
      AddControl(parent, line, *other, layout, true, k);
    }
  }
  if (columnLabel != nullptr) {
    // A label beside a list or a multi-line edit stands at the top of the control.
    const BoundField& first = fields_[firstIndex];
    const bool tall = first.kind == FieldKind::List || first.multiline || first.preview;
    // (only downwards, unless the field is indented: the label keeps the column's left edge).
    const bool atTop = tall && used == 0;
    const int sides = atTop ? wxTOP | (indent > 0 ? wxLEFT : 0) : wxLEFT;
    grid->Add(columnLabel, wxGBPosition(row, 0), wxDefaultSpan,
              (atTop ? wxALIGN_TOP : wxALIGN_CENTER_VERTICAL) | wxALIGN_LEFT | sides,
              atTop ? std::max(indent, parent->FromDIP(3)) : indent);
    columnLabels_.push_back(columnLabel);
  } else if (note) {
    // A note stands under the control above it: an empty cell keeps the label column's width.
    auto* gap = new wxStaticText(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0,
                                 wxString::FromUTF8(field.name + ".column"));
    grid->Add(gap, wxGBPosition(row, 0));
    columnLabels_.push_back(gap);
  }
  const int lineRow = row + used;
  if (labelled || note || used > 0) {
    grid->Add(line, wxGBPosition(lineRow, 1), wxDefaultSpan, wxEXPAND | wxALIGN_CENTER_VERTICAL);
  } else {
    // Check boxes, radio buttons, headings and unlabelled controls start at the left edge.
    grid->Add(line, wxGBPosition(lineRow, 0), wxGBSpan(1, 2), wxEXPAND | wxALIGN_CENTER_VERTICAL | wxLEFT, indent);
  }
  return used + 1;
}

void FormBinder::AlignLabelColumn() {
  int widest = 0;
  for (wxWindow* label : columnLabels_) {
    label->SetMinSize(wxDefaultSize);
    if (label->IsShown()) widest = std::max(widest, label->GetBestSize().GetWidth());
  }
  for (wxWindow* label : columnLabels_) label->SetMinSize(wxSize(widest, -1));
  for (const std::vector<wxWindow*>& column : inlineColumns_) {
    int width = 0;
    for (wxWindow* label : column) {
      label->SetMinSize(wxDefaultSize);
      width = std::max(width, label->GetBestSize().GetWidth());
    }
    for (wxWindow* label : column) label->SetMinSize(wxSize(width, -1));
  }
}

wxSizer* FormBinder::Build(wxWindow* parent, const FormLayout& layout, bool placeOtherButtons) {
  wrapWidth_ = parent->FromDIP(layout.wrapWidth);
  auto* column = new wxBoxSizer(wxVERTICAL);
  if (!layout.top.empty()) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->AddStretchSpacer();
    for (const std::string& name : layout.top) {
      if (FormButton* button = form_.FindButton(name)) row->Add(MakeAnyButton(parent, *button, layout), 0, wxLEFT, 6);
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
      const RowHint* shared = RowOf(layout, fields[k].name);
      if (shared != nullptr && shared->fields.front() != fields[k].name) continue;  // placed with its row
      row += AddFieldRow(host, grid, row, fields[k], layout);
    }
    if (grid->GetCols() >= 2) grid->AddGrowableCol(1);
    else if (grid->GetCols() == 1) grid->AddGrowableCol(0);
    holder->Add(grid, 0, wxEXPAND | (box.empty() ? wxBOTTOM : wxALL), box.empty() ? 6 : 6);
    i = end;
  }
  AlignLabelColumn();
  // A label field that titles a group box is shown as the box caption only.
  if (placeOtherButtons) {
    const std::vector<std::string> others = OtherButtons(layout);
    if (!others.empty()) {
      auto* row = new wxBoxSizer(wxHORIZONTAL);
      for (const std::string& name : others) {
        if (FormButton* button = form_.FindButton(name)) row->Add(MakeAnyButton(parent, *button, layout), 0, wxRIGHT, 6);
      }
      column->Add(row, 0, wxTOP, 6);
    }
  }
  Sync();
  return column;
}

}  // namespace zaro::wxui
