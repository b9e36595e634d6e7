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
    // The General page: output file with its browse picture, name and version on one row,
    // the identifier's example under it, the description on several lines, the profiles
    // side by side and the included files under their three picture buttons.
    FormLayout& general = table["General"];
    general.beside["destination"] = {"browse"};
    general.rows.push_back({{"appname", "version"}, {}});
    general.rows.push_back({{"desktop", "mobileDevice", "extendedDesktop", "extendedMobileDevice"}, u"配置:"});
    general.widths["version"] = 90;
    general.notes = {"idhint"};
    general.multiline["description"] = 3;
    general.buttonBars["included"] = {"addfile", "remove", "addfolder"};
    general.pictureButtons = {{"browse", ButtonGlyph::Browse},
                              {"addfile", ButtonGlyph::AddFile},
                              {"remove", ButtonGlyph::Remove},
                              {"addfolder", ButtonGlyph::AddFolder}};
    general.editWidth = 340;
    // The Icons page: the size list, the path with its two picture buttons, the preview.
    FormLayout& icons = table["Icons"];
    icons.beside["path"] = {"browse", "remove"};
    icons.pictureButtons = {{"browse", ButtonGlyph::Browse}, {"remove", ButtonGlyph::Remove}};
    icons.previews["preview"] = {160, 160};
    icons.widths["size"] = 200;
    icons.editWidth = 300;
    // The Advanced page: the file type list under its three picture buttons, the window's
    // numbers in pairs on one row each, the four abilities on one row.
    FormLayout& advanced = table["Advanced"];
    advanced.buttonBars["filetypes"] = {"addtype", "removetype", "edittype"};
    advanced.pictureButtons = {
        {"addtype", ButtonGlyph::AddFile}, {"removetype", ButtonGlyph::Remove}, {"edittype", ButtonGlyph::Edit}};
    for (const char* first : {"width", "x", "maxwidth", "minwidth"}) {
      static const std::map<std::string, std::string> second = {
          {"width", "height"}, {"x", "y"}, {"maxwidth", "maxheight"}, {"minwidth", "minheight"}};
      advanced.rows.push_back({{first, second.at(first)}, {}});
      advanced.widths[first] = 90;
      advanced.widths[second.at(first)] = 90;
      advanced.digitsOnly.insert(advanced.digitsOnly.end(), {first, second.at(first)});
    }
    advanced.rows.push_back({{"maximizable", "minimizable", "resizable", "visible"}, {}});
    advanced.editWidth = 320;
    // The file type dialog: the four texts, the icon rows with their browse and clear
    // pictures, and the four preview frames side by side on one bottom line.
    FormLayout& fileType = table["FileType"];
    for (int size : {128, 48, 32, 16}) {
      const std::string n = std::to_string(size);
      fileType.beside["icon" + n] = {"browse" + n, "clear" + n};
      fileType.pictureButtons["browse" + n] = ButtonGlyph::Browse;
      fileType.pictureButtons["clear" + n] = ButtonGlyph::Remove;
    }
    fileType.rows.push_back({{"preview128", "preview48", "preview32", "preview16"}, {}});
    fileType.previews = {{"preview128", {130, 130}}, {"preview48", {52, 52}}, {"preview32", {37, 36}},
                         {"preview16", {22, 21}}};
    fileType.editWidth = 320;
    table["SignaturePassword"].editWidth = 220;
    // The iPhone General page: the output file with its browse picture, the two window
    // check boxes side by side, the included files under their three picture buttons.
    FormLayout& ipaGeneral = table["iPhone.General"];
    ipaGeneral.beside["destination"] = {"browse"};
    ipaGeneral.rows.push_back({{"fullscreen", "autoorients"}, {}});
    ipaGeneral.buttonBars["included"] = {"addfile", "remove", "addfolder"};
    ipaGeneral.pictureButtons = {{"browse", ButtonGlyph::Browse},
                                 {"addfile", ButtonGlyph::AddFile},
                                 {"remove", ButtonGlyph::Remove},
                                 {"addfolder", ButtonGlyph::AddFolder}};
    ipaGeneral.editWidth = 340;
    // The iPhone Deployment page: "更多信息" at the top, the signing fields in their box,
    // the certificate and profile rows with their browse buttons, the deployment types
    // under their heading.
    FormLayout& deployment = table["iPhone.Deployment"];
    deployment.top = {"moreinfo"};
    deployment.beside["certpath"] = {"browsecert"};
    deployment.beside["profile"] = {"browseprofile"};
    deployment.headings = {"signing", "deploytype"};
    deployment.editWidth = 340;
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

const FormLayout& LayoutForPage(bool iphone, const std::string& pageName) {
  if (iphone) {
    const FormLayout& own = LayoutFor("iPhone." + pageName);
    if (&own != &LayoutFor(std::string())) return own;
  }
  return LayoutFor(pageName);
}

DedicatedView FindDedicatedView(const std::string& formName) {
  if (formName == "Settings") return &RunSheetView;
  return nullptr;
}

}  // namespace zaro::wxui
