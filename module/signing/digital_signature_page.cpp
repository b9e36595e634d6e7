#include "signing/digital_signature_page.h"

#include <algorithm>
#include <vector>

#include "packaging/path_utilities.h"
#include "platform/files.h"
#include "settings/messages.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"
#include "signing/self_sign_dialog.h"

namespace zaro {
namespace {

constexpr std::u16string_view kSigningMode = u"DigitalSign";
constexpr std::u16string_view kLastSelectedCert = u"Last Selected Cert";
constexpr std::u16string_view kRecentCertificates = u"CertPath";
constexpr int kRecentCertificateLimit = 10;

constexpr unsigned kCertificateRequired = 8001;
constexpr unsigned kCertificateMissing = 8003;
constexpr unsigned kPasswordEmpty = 8005;
constexpr unsigned kTimestampQuestion = 8053;
constexpr unsigned kP12Files = 8077;
constexpr unsigned kPfxFiles = 8078;
constexpr unsigned kHelpLink = 8104;
// Yes and No, exclamation icon, No as the default button.
constexpr unsigned kYesNoDefaultNo = kMbYesNo | kMbIconExclamation | kMbDefButton2;

// The controls that belong to signing with a certificate; enabled and disabled together.
constexpr std::string_view kSigningControls[] = {"certpath", "browse", "create", "password", "rempwd", "timestamp"};

bool Contains(const std::vector<std::u16string>& items, const std::u16string& text) {
  return std::find(items.begin(), items.end(), text) != items.end();
}

}  // namespace

CDigitalSigDlg::CDigitalSigDlg() {
  AddField(MakeField("section", FieldKind::Label, u"应用程序数字签名"));
  AddField(MakeField("usecert", FieldKind::Radio, u"使用代码签名证书 (.p12, .pfx)", u"true", "signing"));
  AddField(MakeField("certpath", FieldKind::Choice, u"证书:"));
  AddField(MakeField("password", FieldKind::Password, u"密码:"));
  AddField(MakeField("rempwd", FieldKind::Check, u"在此次会话期间记住密码", u"false"));
  AddField(MakeField("timestamp", FieldKind::Check, u"时间戳", u"false"));
  AddField(MakeField("prepare", FieldKind::Radio, u"准备稍后将要为其签名的 ZARO 中间 (ZAROI) 文件", u"false", "signing"));
  AddButton(MakeButton("moreinfo", u"更多信息"));
  AddButton(MakeButton("browse", u"浏览..."));
  AddButton(MakeButton("create", u"创建..."));
}

int CDigitalSigDlg::RadioIndex() const { return Checked("prepare") ? 1 : 0; }

bool CDigitalSigDlg::SetField(std::string_view name, std::u16string_view value) {
  if ((name == "usecert" || name == "prepare") && value == u"false") {
    const FormField* field = FindField(name);
    return field != nullptr && field->enabled && field->text == u"false";
  }
  return FormState::SetField(name, value);
}

void CDigitalSigDlg::EnableSigningControls(bool enabled) {
  for (std::string_view control : kSigningControls) SetEnabled(control, enabled);
}

void CDigitalSigDlg::FillRecentCertificates() {
  std::vector<std::u16string> stored;
  ReadRegistryList(kRecentCertificates, stored);
  std::vector<std::u16string>& items = FindField("certpath")->items;
  for (std::u16string& path : stored) {
    if (path.empty() || !platform::FileExists(path) || Contains(items, path)) continue;
    InsertSorted(items, std::move(path));
  }
}

void CDigitalSigDlg::SelectFirstCertificate() {
  FormField* box = FindField("certpath");
  if (!box->items.empty()) box->text = box->items.front();
}

void CDigitalSigDlg::FitDropDownWidth() {
  int widest = 0;
  for (const std::u16string& item : FindField("certpath")->items) widest = std::max(widest, Ui().MeasureTextWidth(item));
  dropDownWidth_ = widest + Ui().MeasureTextWidth(u"0");
}

void CDigitalSigDlg::ShowCertificate(const std::u16string& path) {
  FormField* box = FindField("certpath");
  box->text = path;
  if (!path.empty() && !Contains(box->items, path)) InsertSorted(box->items, path);
}

void CDigitalSigDlg::Initialise() {
  std::u16string mode;
  ReadRegistryValue(kSigningMode, mode);
  if (mode == u"prepare") {
    SetChecked("usecert", false);
    SetChecked("prepare", true);
    SetChecked("timestamp", true);
    EnableSigningControls(false);
  } else {
    SetChecked("usecert", true);
    SetChecked("prepare", false);
    FillRecentCertificates();
    std::u16string last;
    ReadRegistryValue(kLastSelectedCert, last);
    last = WithBackslashes(last);
    if (!last.empty() && Contains(FindField("certpath")->items, last)) {
      SetText("certpath", last);
    } else {
      SelectFirstCertificate();
    }
    if (SettingIsTrue(keys::kRememberPassword)) {
      SetChecked("rempwd", true);
      const std::u16string password = GetSetting(keys::kCertPassword);
      if (!password.empty()) SetText("password", password);
    }
    SetChecked("timestamp", GetSetting(keys::kTimestamp) != u"false");
    EnableSigningControls(true);
  }
  FitDropDownWidth();
}

void CDigitalSigDlg::OnFieldChanged(std::string_view name) {
  if (name == "usecert" && Checked("usecert")) {
    FillRecentCertificates();
    SelectFirstCertificate();
    EnableSigningControls(true);
    SetChanged();
  } else if (name == "prepare" && Checked("prepare")) {
    EnableSigningControls(false);
    SetChanged();
  } else if (name == "timestamp") {
    // The time-stamp choice is stored at once, before any commit.
    SetSetting(keys::kTimestamp, Checked("timestamp") ? u"true" : u"false");
  }
}

void CDigitalSigDlg::OnButton(std::string_view name) {
  if (name == "moreinfo") {
    OpenHelpLink(kHelpLink);
  } else if (name == "browse") {
    Browse();
  } else if (name == "create") {
    CreateSelfSigned();
  }
}

void CDigitalSigDlg::Browse() {
  FileDialogRequest request;
  request.filter = LoadMessage(kP12Files) + u" (*.p12)|*.p12|" + LoadMessage(kPfxFiles) + u" (*.pfx)|*.pfx||";
  const std::optional<std::u16string> chosen = Ui().ChooseFile(request);
  if (!chosen) return;
  ShowCertificate(*chosen);
  FitDropDownWidth();
}

void CDigitalSigDlg::CreateSelfSigned() {
  CSelfSignDlg dialog;
  if (Ui().RunModal(dialog) != kIdOk) return;
  const std::u16string created = GetSetting(keys::kCertPath);
  if (created.empty()) return;
  ShowCertificate(WithBackslashes(created));
  FitDropDownWidth();
}

int CDigitalSigDlg::CommitSignaturePage(bool showMessages) {
  if (RadioIndex() == 0) {
    WriteRegistryValue(kSigningMode, u"sign");
    std::u16string path = Text("certpath");
    if (path.empty() && showMessages) {
      ShowCatalogueMessage(kCertificateRequired);
      Initialise();
      return kMissing;
    }
    if (!platform::FileExists(path) && showMessages) {
      ShowCatalogueMessage(kCertificateMissing);
      Initialise();
      return kCertificateGone;
    }
    // A certificate typed into the box joins the recent list like a browsed one; otherwise
    // the next sheet could not select it and its OK would store an empty certificate. It
    // joins in "\" form, the form in which the next page looks up "Last Selected Cert", so
    // a path typed with "/" is selected again rather than the first entry.
    std::vector<std::u16string>& entries = FindField("certpath")->items;
    const std::u16string entry = WithBackslashes(path);
    if (platform::FileExists(path) && !Contains(entries, entry)) InsertSorted(entries, entry);
    path = WithSlashes(std::move(path));
    SetSetting(keys::kCertPath, path);
    WriteRegistryValue(kLastSelectedCert, path);
    if (!entries.empty()) WriteRegistryList(kRecentCertificates, kRecentCertificateLimit, entries);

    const std::u16string password = Text("password");
    if (password.empty() && showMessages) {
      ShowCatalogueMessage(kPasswordEmpty);
      Initialise();
      return kMissing;
    }
    if (Checked("timestamp")) {
      SetSetting(keys::kTimestamp, u"true");
    } else {
      const bool withoutTimestamp = ShowCatalogueMessage(kTimestampQuestion, kYesNoDefaultNo) == kIdYes;
      SetSetting(keys::kTimestamp, withoutTimestamp ? u"false" : u"true");
    }
    SetSetting(keys::kCertPassword, password);
  } else {
    WriteRegistryValue(kSigningMode, u"prepare");
  }
  SetSetting(keys::kRememberPassword, Checked("rempwd") ? u"true" : u"false");
  return kAccepted;
}

}  // namespace zaro
