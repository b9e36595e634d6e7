#pragma once
// Everything the module asks of a window system. Dialog and page classes hold their state
// as plain data and reach the screen only through this interface; the wx views, the
// console and the scripted test implementation stand behind it.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zaro {

// Windows message-box style bits, as the callers pass them (48, 49, 64, 308, ...).
enum : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbAbortRetryIgnore = 0x2,
  kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4,
  kMbRetryCancel = 0x5,
  kMbButtonsMask = 0xF,
  kMbIconStop = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconExclamation = 0x30,
  kMbIconInformation = 0x40,
  kMbIconMask = 0xF0,
  kMbDefButton2 = 0x100,
  kMbDefButton3 = 0x200,
  kMbDefaultMask = 0xF00,
};

// The button identifiers a message box or a dialog answers with.
enum : int { kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6, kIdNo = 7 };

// The buttons of a style in display order, as identifiers; the default one by the style.
std::vector<int> MessageBoxButtons(unsigned style);
int DefaultMessageBoxButton(unsigned style);
// "ok", "cancel", "yes", ... for a button identifier, and back (0 when unknown).
std::string ButtonName(int id);
int ButtonFromName(std::string_view name);

struct FileDialogRequest {
  bool save = false;
  std::u16string title;
  std::u16string filter;        // "name (*.ext)|*.ext||" pairs
  std::u16string initialPath;   // Windows form
  std::u16string defaultExtension;
};

// A modal dialog or property sheet as plain state. The scripted and console views drive
// it by field and button names; the wx views mirror the same state into widgets.
class ModalForm {
 public:
  virtual ~ModalForm() = default;
  virtual std::string FormName() const = 0;
  // Runs once when the form is shown.
  virtual void OnShow() {}
  virtual std::vector<std::string> FieldNames() const { return {}; }
  virtual std::optional<std::u16string> GetField(std::string_view /*name*/) const { return std::nullopt; }
  // Makes a field ready to be read as the author would see it: a property sheet brings the
  // field's page to the front (filling it the first time), as setting the field would.
  virtual void RevealField(std::string_view /*name*/) {}
  // A field whose text is never shown or logged (a password).
  virtual bool IsSecretField(std::string_view /*name*/) const { return false; }
  // False when the form has no such field or it cannot be set now (disabled).
  virtual bool SetField(std::string_view /*name*/, std::u16string_view /*value*/) { return false; }
  // Runs a button's logic; false when there is no such button or it is disabled.
  virtual bool Press(std::string_view control) = 0;
  virtual bool IsClosed() const = 0;
  virtual int Result() const = 0;
  // A form with a timer (the progress dialog) is ticked while it stays open.
  virtual int TimerIntervalMs() const { return 0; }
  virtual void OnTimer() {}
};

class UiServices {
 public:
  virtual ~UiServices() = default;
  // Returns the identifier of the pressed button.
  virtual int ShowMessageBox(std::u16string_view text, std::u16string_view title, unsigned style) = 0;
  // A Windows-form path, or nothing when the author cancelled.
  virtual std::optional<std::u16string> ChooseFile(const FileDialogRequest& request) = 0;
  virtual std::optional<std::u16string> ChooseFolder(std::u16string_view title) = 0;
  virtual bool OpenLink(std::u16string_view url) = 0;
  // Shows the form modally and returns its result once it is closed.
  virtual int RunModal(ModalForm& form) = 0;
  // Width in pixels of a text in the dialog font.
  virtual int MeasureTextWidth(std::u16string_view text) { return static_cast<int>(7 * text.size()); }
};

// The module's current implementation. On first use it is chosen from the environment:
// TESSEL_ANSWERS names an answers file (scripted), else the installed window-system
// factory when a display is reachable, else the console.
UiServices& Ui();
// Replaces the current implementation (tests, window-system start-up); returns the old one.
std::unique_ptr<UiServices> InstallUi(std::unique_ptr<UiServices> ui);
// A window-system implementation registers itself here; it returns null when no display
// can be reached.
using UiFactory = std::unique_ptr<UiServices> (*)();
void SetWindowSystemFactory(UiFactory factory);

}  // namespace zaro
