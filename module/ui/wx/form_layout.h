#pragma once
// Declarative placement hints for the generic form view. A form's fields are shown in the
// order of the form, one row each: the field's label in the form's label column, its
// control in the control column. Every label of a form shares one column width, so the
// left edges of all controls line up, also across group boxes. The hints below change that
// default for named fields and buttons; a form without hints gets the default layout.
//
// Hints are looked up by the form's FormName() (a property sheet page by its page name) in
// layouts.cpp. Example, a page with a name and a version on one row, a list with a button
// bar and a picture preview:
//
//   FormLayout& page = table["General"];
//   page.rows.push_back({{"appname", "version"}});      // version's label stands inline
//   page.buttonBars["included"] = {"addfile", "remove", "addfolder"};
//   page.pictureButtons["addfile"] = ButtonGlyph::AddFile;
//   page.previews["preview"] = {128, 128};
//   page.multiline["description"] = 4;
//   page.notes = {"idhint"};                            // a label under the field above
#include <map>
#include <string>
#include <vector>

namespace zaro::wxui {

// The picture a picture button shows, drawn in code.
enum class ButtonGlyph {
  Browse,     // an open folder: choose a file or folder
  AddFile,    // a document with a plus sign
  Remove,     // a red cross
  AddFolder,  // a folder with a plus sign
  Edit,       // a document with a pencil: edit the selected entry
};

// Several fields on one row. The first field's label (or `label` when it is not empty)
// stands in the label column; every further field's label stands inline, right before its
// control, and the inline labels at the same place of a form's rows share one width, so
// their controls line up too. Image previews in a row stand on a common bottom line. Check boxes carry their own caption. Buttons `beside` a field of the row follow
// that field.
struct RowHint {
  std::vector<std::string> fields;
  std::u16string label;
};

// The size of an image preview in DIPs.
struct PreviewSize {
  int width = 128;
  int height = 128;
};

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

  // Fields placed side by side (see RowHint). A field belongs to at most one row.
  std::vector<RowHint> rows;
  // Buttons in a bar above a field's control, left to right (a list with its buttons).
  // The field's label stands beside the bar.
  std::map<std::string, std::vector<std::string>> buttonBars;
  // Buttons drawn as picture buttons (a glyph, the caption as tool tip) instead of push
  // buttons, wherever they are placed.
  std::map<std::string, ButtonGlyph> pictureButtons;
  // Picture fields drawn as image previews of this size: a white frame with the image
  // scaled into a centred square whose side is the smallest of the image's and the
  // frame's width and height (a small image is never enlarged).
  std::map<std::string, PreviewSize> previews;
  // Text fields shown as multi-line edits of this many lines. Their text uses "\r\n"
  // between lines in the form, as the module's pages expect.
  std::map<std::string, int> multiline;
  // Label fields shown in the control column under the field above (hints, examples).
  std::vector<std::string> notes;
  // Minimum widths of single controls in DIPs, instead of editWidth.
  std::map<std::string, int> widths;
  // Text fields that take digits only from the keyboard; pasted text and text set by the
  // form still reach the form, whose commit checks it.
  std::vector<std::string> digitsOnly;

  int editWidth = 260;  // minimum width of edits and combo boxes, in DIPs
  int wrapWidth = 0;    // label fields wrap at this width, in DIPs (0: no wrapping)
  bool centreButtons = false;  // the dialog's button row is centred instead of right-aligned
};

// The layout hints of a form by its FormName(); the generic one when none is known.
const FormLayout& LayoutFor(const std::string& formName);
// The layout of a sheet's page: pages of the iPhone sheet share names with the desktop
// pages ("General"), so their own hints are kept under "iPhone." + the page name.
const FormLayout& LayoutForPage(bool iphone, const std::string& pageName);

}  // namespace zaro::wxui
