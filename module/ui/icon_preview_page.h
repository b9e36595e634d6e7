#pragma once
// CIconPreviewDlg, the Icons page of the settings sheet (desktop and iPhone): one PNG per icon size, stored
// in the application's `icon` element of the movie's descriptor.
//
// Form (page) name "Icons", tab caption "图标".
// Fields:
//   size     List     one entry per size, "图标 16x16" ... ("图标 29x29" ... on the iPhone)
//   path     Text     read-only; labelled with the selected size ("16x16"); the icon's path
//                     relative to the movie folder, blanks shown as blanks, cut to 255
//   preview  Picture  "预览:" the icon file shown (its full path; empty when none)
// Buttons: browse (choose a PNG), remove (forget the selected size's icon).
// The changed flag is set when an icon is removed.
#include <string>
#include <string_view>
#include <vector>

#include "ui/form_state.h"

namespace zaro {

class CIconPreviewDlg : public PageState {
 public:
  // The longest icon path the page shows (a buffer of 256 units).
  static constexpr size_t kMaxIconPath = 255;

  CIconPreviewDlg();

  std::string FormName() const override { return "Icons"; }
  std::u16string Caption() const override { return u"图标"; }
  // The page commits nothing of its own: its changes are in the descriptor already.
  int CommitFromSheet(bool /*showMessages*/) override { return 0; }

  // The size of the selected entry; 0 when none is selected.
  int SelectedSize() const;

 protected:
  void OnInitPage() override;
  void OnButton(std::string_view name) override;
  void OnFieldChanged(std::string_view name) override;

 private:
  // Shows the selected size's path and preview.
  void ShowSelected();
  void Browse();
  void Remove();

  std::vector<int> sizes_;
  std::u16string rootFolder_;  // the movie folder, "\" separators, ending in one
};

}  // namespace zaro
