// Placement hints of the module's dialogs and pages for the generic form view.
#include <map>

#include "ui/wx/form_view.h"

namespace zaro::wxui {

int RunSheetView(FormState& form);  // sheet_view.cpp

const FormLayout& LayoutFor(const std::string& formName) {
  static const std::map<std::string, FormLayout> layouts = [] {
    std::map<std::string, FormLayout> table;
    // The Signature page: "更多信息" at the top, the certificate row with its two buttons,
    // the signing controls indented under their radio button.
    FormLayout& signature = table["Signature"];
    signature.top = {"moreinfo"};
    signature.beside["certpath"] = {"browse", "create"};
    signature.indented = {"certpath", "password", "rempwd", "timestamp"};
    signature.headings = {"section"};
    signature.editWidth = 300;
    // The self-signed certificate dialog: the save-as row ends with its browse button.
    table["SelfSign"].beside["saveas"] = {"browse"};
    table["SignaturePassword"].editWidth = 220;
    // The progress dialog: its status line, the busy bar and Cancel in the middle.
    FormLayout& progress = table["CProgressDlg"];
    progress.gauge = "progress";
    progress.centreButtons = true;
    // The time-stamp failure dialog: two paragraphs of text.
    table["CTimestampRetryDlg"].wrapWidth = 400;
    return table;
  }();
  static const FormLayout generic;
  const auto it = layouts.find(formName);
  return it == layouts.end() ? generic : it->second;
}

DedicatedView FindDedicatedView(const std::string& formName) {
  if (formName == "Settings") return &RunSheetView;
  return nullptr;
}

}  // namespace zaro::wxui
