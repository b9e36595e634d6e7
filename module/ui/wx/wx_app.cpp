#include "ui/wx/wx_app.h"

#include <wx/image.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>

#include "platform/window_system.h"

wxIMPLEMENT_APP_NO_MAIN(CTSZaroApp);

bool CTSZaroApp::OnInit() {
  // No command-line parsing: the arguments are the module's own placeholder.
  SetExitOnFrameDelete(false);
  return true;
}

namespace zaro::wxui {
namespace {

// Toolkit assertions are reported on standard error: no assertion dialog may ever block
// the author's host.
void ReportAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
  std::fprintf(stderr, "zaropublish: wx assertion failed in %s (%s:%d): %s %s\n", func.utf8_str().data(),
               file.utf8_str().data(), line, cond.utf8_str().data(), msg.utf8_str().data());
}

bool Start() {
  if (wxTheApp != nullptr) return true;  // the host is a wx program: use its application
  wxSetAssertHandler(ReportAssert);
  static char name[] = "zaropublish";
  static char* argv[] = {name, nullptr};
  int argc = 1;
  if (!wxEntryStart(argc, argv)) return false;
  if (wxTheApp == nullptr || !wxTheApp->CallOnInit()) {
    wxEntryCleanup();
    return false;
  }
  wxInitAllImageHandlers();
  return true;
}

}  // namespace

bool EnsureWxStarted() {
  if (wxTheApp == nullptr && !DisplayNamed()) return false;  // nothing tried, nothing to remember
  static const bool started = Start();
  return started;
}

}  // namespace zaro::wxui
