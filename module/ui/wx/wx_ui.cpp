#include "ui/wx/wx_ui.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/dcscreen.h>
#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/thread.h>
#include <wx/utils.h>

#include <algorithm>
#include <future>

#include "settings/messages.h"
#include "ui/wx/form_view.h"
#include "ui/wx/wx_app.h"
#include "ui/wx/wx_services.h"
#include "ui/wx/wx_text.h"

namespace zaro {

std::unique_ptr<UiServices> CreateWxUi() {
  if (!wxui::EnsureWxStarted()) return nullptr;
  wxui::PrepareMessageBoxes();
  return std::make_unique<wxui::WxUi>();
}

namespace wxui {
namespace {

struct OwnerEntry {
  wxWindow* window;
  std::function<void()> refresh;
};

std::vector<OwnerEntry>& OwnerStack() {
  static std::vector<OwnerEntry> stack;
  return stack;
}

// wx identifiers of the message-box buttons, one per answer.
int WxIdFor(int answer) { return wxID_HIGHEST + 100 + answer; }

// The room a title bar needs: the title in the caption's bold font, and space for the
// window's menu icon on the left and the close button on the right.
int TitleBarWidth(wxWindow* window, const wxString& title) {
  const wxFont caption = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT).Bold();
  int width = 0;
  int height = 0;
  window->GetTextExtent(title, &width, &height, nullptr, nullptr, &caption);
  return width + window->FromDIP(96);
}

wxArtID ArtFor(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Stop: return wxART_ERROR;
    case BoxIcon::Question: return wxART_QUESTION;
    case BoxIcon::Exclamation: return wxART_WARNING;
    case BoxIcon::Information: return wxART_INFORMATION;
    case BoxIcon::None: break;
  }
  return {};
}

class MessageBoxView : public wxDialog {
 public:
  // A selectable box shows its text in a read-only field the author can copy from.
  MessageBoxView(wxWindow* owner, std::u16string_view text, std::u16string_view title, const MessageBoxLook& look,
                 bool selectable = false)
      : wxDialog(owner, wxID_ANY, ToWx(title), wxDefaultPosition, wxDefaultSize, MessageBoxWindowStyle(look),
                 "message-box"),
        look_(look) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* body = new wxBoxSizer(wxHORIZONTAL);
    if (const wxArtID art = ArtFor(look.icon); !art.empty()) {
      body->Add(new wxStaticBitmap(this, wxID_ANY, wxArtProvider::GetBitmap(art, wxART_MESSAGE_BOX)), 0,
                wxALL | wxALIGN_TOP, 10);
    }
    if (selectable) {
      auto* field = new wxTextCtrl(this, wxID_ANY, ToWx(text), wxDefaultPosition, wxDefaultSize,
                                   wxTE_READONLY | wxBORDER_NONE, wxDefaultValidator, "text");
      field->SetBackgroundColour(GetBackgroundColour());
      const int textWidth = field->GetTextExtent(field->GetValue()).GetWidth() + FromDIP(8);
      field->SetMinSize(wxSize(std::min(textWidth, FromDIP(460)), -1));
      body->Add(field, 1, wxALL | wxALIGN_CENTER_VERTICAL, 10);
    } else {
      auto* label = new wxStaticText(this, wxID_ANY, ToWx(text), wxDefaultPosition, wxDefaultSize, 0, "text");
      label->Wrap(FromDIP(460));
      body->Add(label, 1, wxALL | wxALIGN_CENTER_VERTICAL, 10);
    }
    top->Add(body, 1, wxEXPAND);

    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->AddStretchSpacer();
    for (int answer : look.buttons) {
      auto* button = new wxButton(this, WxIdFor(answer), ToWx(MessageBoxButtonLabel(answer)), wxDefaultPosition,
                                  wxDefaultSize, 0, wxDefaultValidator, wxString(ButtonName(answer)));
      button->Bind(wxEVT_BUTTON, [this, answer](wxCommandEvent&) { EndModal(answer); });
      if (answer == look.defaultButton) {
        button->SetDefault();
        button->SetFocus();
      }
      row->Add(button, 0, wxLEFT, 6);
    }
    top->Add(row, 0, wxEXPAND | wxALL, 10);
    SetEscapeId(look.escapeButton != 0 ? WxIdFor(look.escapeButton) : wxID_NONE);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
      if (look_.escapeButton != 0) {
        EndModal(look_.escapeButton);
      } else if (event.CanVeto()) {
        event.Veto();
      }
    });
    // As wide as the title bar needs for the whole title beside the close button, and of
    // a fixed size, so that the window offers neither maximise nor resizing.
    top->SetMinSize(wxSize(TitleBarWidth(this, ToWx(title)), -1));
    SetSizerAndFit(top);
    SetSizeHints(GetSize(), GetSize());
    CentreOnParent();
  }

 private:
  MessageBoxLook look_;
};

// "*.p12" matches "A.P12" too: every letter becomes a bracket of both cases.
wxString CaseFreePattern(const wxString& pattern) {
  wxString out;
  for (wxUniChar c : pattern) {
    const wxString lower = wxString(c).Lower();
    const wxString upper = wxString(c).Upper();
    if (lower != upper) {
      out << '[' << lower << upper << ']';
    } else {
      out << c;
    }
  }
  return out;
}

}  // namespace

long MessageBoxWindowStyle(const MessageBoxLook& look) {
  // Like a native message box: a caption and a close button (only where closing answers
  // the box), never minimise, maximise or a resizing border.
  return wxCAPTION | wxSYSTEM_MENU | (look.escapeButton != 0 ? wxCLOSE_BOX : 0);
}

std::u16string FileDialogTitle(const FileDialogRequest& request) {
  if (!request.title.empty()) return request.title;
  return request.save ? u"另存为" : u"打开";
}

MessageBoxLook DecodeMessageBoxStyle(unsigned style) {
  MessageBoxLook look;
  switch (style & kMbIconMask) {
    case kMbIconStop: look.icon = BoxIcon::Stop; break;
    case kMbIconQuestion: look.icon = BoxIcon::Question; break;
    case kMbIconExclamation: look.icon = BoxIcon::Exclamation; break;
    case kMbIconInformation: look.icon = BoxIcon::Information; break;
    default: look.icon = BoxIcon::None; break;
  }
  look.buttons = MessageBoxButtons(style);
  look.defaultButton = DefaultMessageBoxButton(style);
  // As on Windows: Escape answers Cancel where there is one, and OK on a box with only OK.
  if (std::find(look.buttons.begin(), look.buttons.end(), kIdCancel) != look.buttons.end()) {
    look.escapeButton = kIdCancel;
  } else if (look.buttons.size() == 1) {
    look.escapeButton = look.buttons.front();
  }
  return look;
}

std::u16string MessageBoxButtonLabel(int id) {
  switch (id) {
    case kIdOk: return u"确定";
    case kIdCancel: return u"取消";
    case kIdAbort: return u"中止";
    case kIdRetry: return u"重试";
    case kIdIgnore: return u"忽略";
    case kIdYes: return u"是";
    case kIdNo: return u"否";
    default: return FromUtf8(std::to_string(id));
  }
}

wxString WildcardFromFilter(std::u16string_view filter) {
  const wxArrayString parts = wxSplit(ToWx(filter), '|', '\0');
  wxString wildcard;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty() && parts[i + 1].empty()) break;  // the "||" that ends the list
    wxString patterns;
    for (const wxString& pattern : wxSplit(parts[i + 1], ';', '\0')) {
      if (pattern.empty()) continue;
      if (!patterns.empty()) patterns << ';';
      patterns << CaseFreePattern(pattern);
    }
    if (!wildcard.empty()) wildcard << '|';
    wildcard << parts[i] << '|' << patterns;
  }
  return wildcard.empty() ? wxString("*") : wildcard;
}

void PrepareMessageBoxes() {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  // The icons come from the icon theme through the image loaders; the art provider keeps
  // what it loaded, so the box finds them at once.
  for (BoxIcon icon : {BoxIcon::Stop, BoxIcon::Question, BoxIcon::Exclamation, BoxIcon::Information}) {
    wxArtProvider::GetBitmap(ArtFor(icon), wxART_MESSAGE_BOX);
  }
  // A box laid out and never shown: the widget styles, the dialog font and its bold title
  // face with the CJK glyphs of the texts, and the button captions are loaded with it.
  MessageBoxView sample(nullptr, u"已创建 ZAROI 文件。是否覆盖它？", kMessageTitle,
                        DecodeMessageBoxStyle(kMbYesNoCancel | kMbIconInformation));
  sample.GetTextExtent(ToWx(u"中止重试忽略"));
}

OwnerScope::OwnerScope(wxWindow* window, std::function<void()> refresh) {
  OwnerStack().push_back({window, std::move(refresh)});
}
OwnerScope::~OwnerScope() { OwnerStack().pop_back(); }

wxWindow* WxUi::Owner() {
  const auto& stack = OwnerStack();
  if (stack.empty()) return nullptr;
  const OwnerEntry& owner = stack.back();
  if (owner.refresh) owner.refresh();
  return owner.window;
}

int WxUi::ShowMessageBox(std::u16string_view text, std::u16string_view title, unsigned style) {
  if (!wxIsMainThread() && wxTheApp != nullptr) {
    // A worker (the packaging run reporting a tool that cannot start) has the box shown by
    // the user-interface thread, which is in a modal loop meanwhile, and waits for the answer.
    std::promise<int> answer;
    auto pressed = answer.get_future();
    wxTheApp->CallAfter([&] { answer.set_value(ShowMessageBox(text, title, style)); });
    return pressed.get();
  }
  MessageBoxView box(Owner(), text, title, DecodeMessageBoxStyle(style));
  OwnerScope scope(&box);
  return box.ShowModal();
}

std::optional<std::u16string> WxUi::ChooseFile(const FileDialogRequest& request) {
  wxString folder;
  wxString name;
  if (!request.initialPath.empty()) {
    const wxFileName initial(PathToWx(request.initialPath));
    if (initial.DirExists() && initial.GetFullName().empty()) {
      folder = initial.GetPath();
    } else {
      folder = initial.GetPath();
      name = initial.GetFullName();
    }
  }
  const long flags = request.save ? (wxFD_SAVE | wxFD_OVERWRITE_PROMPT) : (wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  wxFileDialog dialog(Owner(), ToWx(FileDialogTitle(request)), folder, name, WildcardFromFilter(request.filter),
                      flags);
  OwnerScope scope(&dialog);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  wxFileName chosen(dialog.GetPath());
  if (request.save && chosen.GetExt().empty() && !request.defaultExtension.empty()) {
    wxString extension = ToWx(request.defaultExtension);
    if (extension.StartsWith(".")) extension.Remove(0, 1);
    chosen.SetExt(extension);
  }
  return PathFromWx(chosen.GetFullPath());
}

std::optional<std::u16string> WxUi::ChooseFolder(std::u16string_view title) {
  wxDirDialog dialog(Owner(), ToWx(title), wxEmptyString, wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
  OwnerScope scope(&dialog);
  if (dialog.ShowModal() != wxID_OK) return std::nullopt;
  return PathFromWx(dialog.GetPath());
}

bool WxUi::LaunchBrowser(const wxString& url) { return wxLaunchDefaultBrowser(url); }

bool WxUi::OpenLink(std::u16string_view url) {
  {
    // The toolkit reports a failure in a box of its own, in English; the author gets the
    // link instead, to copy into a browser.
    wxLogNull quiet;
    if (LaunchBrowser(ToWx(url))) return true;
  }
  MessageBoxView box(Owner(), url, kMessageTitle, DecodeMessageBoxStyle(kMbOk | kMbIconInformation), true);
  OwnerScope scope(&box);
  box.ShowModal();
  return false;
}

int WxUi::RunModal(ModalForm& form) { return RunFormView(form); }

int WxUi::MeasureTextWidth(std::u16string_view text) {
  wxScreenDC dc;
  dc.SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
  return dc.GetTextExtent(ToWx(text)).GetWidth();
}

}  // namespace wxui
}  // namespace zaro
