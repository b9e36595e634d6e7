#pragma once
// The wx implementation of UiServices and the pieces of it that tests look at.
#include <wx/string.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/ui_services.h"

class wxWindow;

namespace zaro::wxui {

// What a Windows message-box style value asks for.
enum class BoxIcon { None, Stop, Question, Exclamation, Information };
struct MessageBoxLook {
  BoxIcon icon = BoxIcon::None;
  std::vector<int> buttons;  // kIdOk, kIdCancel, ... in display order
  int defaultButton = kIdOk;
  int escapeButton = 0;      // the answer of Escape and the close box; 0 when neither works
};
MessageBoxLook DecodeMessageBoxStyle(unsigned style);
// The window style of a message box with that look.
long MessageBoxWindowStyle(const MessageBoxLook& look);
// The title of a file dialog: its own, else the usual "打开" or "另存为".
std::u16string FileDialogTitle(const FileDialogRequest& request);
// The caption of a message-box button.
std::u16string MessageBoxButtonLabel(int id);

// A wx wildcard from a "name (*.ext)|*.ext||" filter: the empty pairs at the end go, and
// every pattern is widened to match its letters in either case, as the Windows dialogs do.
wxString WildcardFromFilter(std::u16string_view filter);

class WxUi : public UiServices {
 public:
  int ShowMessageBox(std::u16string_view text, std::u16string_view title, unsigned style) override;
  std::optional<std::u16string> ChooseFile(const FileDialogRequest& request) override;
  std::optional<std::u16string> ChooseFolder(std::u16string_view title) override;
  bool OpenLink(std::u16string_view url) override;
  int RunModal(ModalForm& form) override;
  int MeasureTextWidth(std::u16string_view text) override;

  // The window that owns a new dialog or box: the innermost dialog of the module still
  // open, its widgets first brought up to date with its form, so that a box opened from a
  // button's logic shows over what it is about (the page it brought to the front).
  static wxWindow* Owner();

 protected:
  // Hands the link to the desktop's browser; false when none opens it.
  virtual bool LaunchBrowser(const wxString& url);
};

// Loads what a message box needs (icons, fonts, widget styles) once per process, so that
// the box that reports a run is up at once; the progress dialog calls it while it waits.
void PrepareMessageBoxes();

// Keeps a window on the owner stack while it is modal; `refresh` mirrors its form into
// its widgets before a dialog opens over it.
class OwnerScope {
 public:
  explicit OwnerScope(wxWindow* window, std::function<void()> refresh = {});
  ~OwnerScope();
  OwnerScope(const OwnerScope&) = delete;
  OwnerScope& operator=(const OwnerScope&) = delete;
};

}  // namespace zaro::wxui
