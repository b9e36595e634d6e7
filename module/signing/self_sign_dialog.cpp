#include "signing/self_sign_dialog.h"

#include <algorithm>

#include "packaging/package_command.h"
#include "packaging/path_utilities.h"
#include "packaging/tool_locations.h"
#include "platform/files.h"
#include "platform/process_runner.h"
#include "settings/messages.h"
#include "settings/settings_store.h"

namespace zaro {
namespace {

// Stored as one list, in this order; the combo box shows them sorted.
constexpr std::u16string_view kCountryList =
    u"AF;AX;AL;DZ;AS;AD;AO;AI;AQ;AG;AR;AM;AW;AU;AT;AZ;BS;BH;BD;BB;BY;BE;BZ;BJ;BM;BT;BO;BA;BW;BV;BR;IO;BN;BG;BF;BI;"
    u"KH;CM;CA;CV;KY;CF;TD;CL;CN;CX;CC;CO;KM;CG;CD;CK;CR;CI;HR;CU;CY;CZ;DK;DJ;DM;DO;EC;EG;SV;GQ;ER;EE;ET;FK;FO;FJ;"
    u"FI;FR;GF;PF;TF;GA;GM;GE;DE;GH;GI;GR;GL;GD;GP;GU;GT;GG;GN;GW;GY;HT;HM;VA;HN;HK;HU;IS;IN;ID;IR;IQ;IE;IM;IL;IT;"
    u"JM;JP;JE;JO;KZ;KE;KI;KP;KR;KW;KG;LA;LV;LB;LS;LR;LY;LI;LT;LU;MO;MK;MG;MW;MY;MV;ML;MT;MH;MQ;MR;MU;YT;MX;FM;MD;"
    u"MC;MN;ME;MS;MA;MZ;MM;NA;NR;NP;NL;AN;NC;NZ;NI;NE;NG;NU;NF;MP;NO;OM;PK;PW;PS;PA;PG;PY;PE;PH;PN;PL;PT;PR;QA;RE;"
    u"RO;RU;RW;BL;SH;KN;LC;MF;PM;VC;WS;SM;ST;SA;SN;RS;SC;SL;SG;SK;SI;SB;SO;ZA;GS;ES;LK;SD;SR;SJ;SZ;SE;CH;SY;TW;TJ;"
    u"TZ;TH;TL;TG;TK;TO;TT;TN;TR;TM;TC;TV;UG;UA;AE;GB;US;UM;UY;UZ;VU;VE;VN;VG;VI;WF;EH;YE;ZM;ZW";

constexpr std::u16string_view kKeyTypes[] = {u"1024-RSA", u"2048-RSA"};
constexpr std::u16string_view kDefaultCertificateName = u"\\mycert.p12";

constexpr unsigned kPasswordsDiffer = 8006;
constexpr unsigned kOverwriteQuestion = 8008;
constexpr unsigned kFieldsRequired = 8009;
constexpr unsigned kCreationFailed = 8016;
constexpr unsigned kCreated = 8018;
constexpr unsigned kChooseFolder = 8048;
constexpr unsigned kInvalidCountry = 8081;
constexpr unsigned kCreationError = 8084;
constexpr unsigned kNoJavaRuntime = 8100;
constexpr unsigned kHelpLink = 8104;

// The packaging tool's answers to "-certificate".
constexpr int kToolCreated = 0;
constexpr int kToolUsage = 2;  // among others, a country code the tool does not know
constexpr int kToolNotStarted = -1;

// The output a certificate run keeps; the tool's text is not shown.
constexpr std::size_t kOutputBytes = 1024;

std::u16string LowerAscii(std::u16string text) {
  for (char16_t& c : text) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return text;
}

// A keystore file name keeps ".p12" or ".pfx"; anything else gets ".p12" appended.
std::u16string WithKeystoreExtension(const std::u16string& path) {
  const size_t dot = path.rfind(u'.');
  const std::u16string extension = dot == std::u16string::npos ? std::u16string() : LowerAscii(path.substr(dot));
  if (extension == u".p12" || extension == u".pfx") return path;
  return path + u".p12";
}

}  // namespace

const std::vector<std::u16string>& CountryCodes() {
  static const std::vector<std::u16string> codes = [] {
    std::vector<std::u16string> list;
    size_t start = 0;
    while (start <= kCountryList.size()) {
      const size_t end = std::min(kCountryList.find(u';', start), kCountryList.size());
      list.emplace_back(kCountryList.substr(start, end - start));
      start = end + 1;
    }
    return list;
  }();
  return codes;
}

CSelfSignDlg::CSelfSignDlg(std::function<std::u16string()> javaRuntimeFolder)
    : javaRuntimeFolder_(javaRuntimeFolder ? std::move(javaRuntimeFolder) : GetJavaRuntimeFolder) {
  SetTitle(u"创建自签名的数字证书");
  AddField(MakeField("publisher", FieldKind::Text, u"发布者名称:"));
  AddField(MakeField("unit", FieldKind::Text, u"组织单位:"));
  AddField(MakeField("organization", FieldKind::Text, u"组织名称:"));
  FormField country = MakeField("country", FieldKind::Choice, u"国家或地区:", u"US");
  for (const std::u16string& code : CountryCodes()) InsertSorted(country.items, code);
  AddField(std::move(country));
  AddField(MakeField("password", FieldKind::Password, u"密码:"));
  AddField(MakeField("confirm", FieldKind::Password, u"确认密码:"));
  FormField keyType = MakeField("keytype", FieldKind::Choice, u"类型:", std::u16string(kKeyTypes[0]));
  keyType.items = {std::u16string(kKeyTypes[0]), std::u16string(kKeyTypes[1])};
  keyType.editable = false;
  AddField(std::move(keyType));
  AddField(MakeField("saveas", FieldKind::Text, u"另存为:"));
  AddButton(MakeButton("browse", u"浏览..."));
  AddButton(MakeButton("Help", u"帮助"));
  AddButton(MakeButton("OK", u"确定", true));
  AddButton(MakeButton("Cancel", u"取消"));
}

bool CSelfSignDlg::SetField(std::string_view name, std::u16string_view value) {
  // The key type is a drop-down list: only its entries can be chosen.
  if (name == "keytype" && std::find(std::begin(kKeyTypes), std::end(kKeyTypes), value) == std::end(kKeyTypes)) {
    return false;
  }
  return FormState::SetField(name, value);
}

std::optional<std::u16string> CSelfSignDlg::BuildCertificateArguments() {
  // Each value is quoted so that the tool reads back exactly what was typed, double quotes
  // and trailing backslashes included.
  std::u16string arguments;
  constexpr std::pair<std::string_view, std::u16string_view> kSubject[] = {
      {"publisher", u" -cn "}, {"unit", u" -ou "}, {"organization", u" -o "}, {"country", u" -c "}};
  for (const auto& [field, option] : kSubject) {
    const std::u16string value = Text(field);
    if (value.empty()) return std::nullopt;
    arguments += std::u16string(option) + QuoteArgument(value);
  }
  std::u16string file = Text("saveas");
  if (file.empty()) return std::nullopt;
  file = WithKeystoreExtension(file);
  SetText("saveas", file);
  const std::u16string password = Text("password");
  if (password.empty()) return std::nullopt;
  arguments += u" ";
  arguments += Text("keytype") == kKeyTypes[1] ? kKeyTypes[1] : kKeyTypes[0];
  arguments += u" " + QuoteArgument(file);
  arguments += u" " + QuoteArgument(password);
  return arguments;
}

bool CSelfSignDlg::PasswordsMatch() const {
  const std::u16string password = Text("password");
  return !password.empty() && !Text("confirm").empty() && password == Text("confirm");
}

std::u16string CSelfSignDlg::CertificateCommandLine(std::u16string_view arguments) const {
  return u"\"" + javaRuntimeFolder_() + u"/bin/java.exe\" -jar \"" + GetPackagingToolPath() + u"\" -certificate " +
         std::u16string(arguments);
}

bool CSelfSignDlg::CreateCertificate(std::u16string_view arguments) {
  if (javaRuntimeFolder_().empty()) {
    ShowCatalogueMessage(kNoJavaRuntime);
    return false;
  }
  std::string output;
  output.reserve(kOutputBytes);
  const int exitCode = CreateWinProcess(CertificateCommandLine(arguments), true, output, nullptr);
  if (exitCode == kToolCreated) {
    ShowCatalogueMessage(kCreated, kMbIconInformation);
    return true;
  }
  if (exitCode == kToolNotStarted) return false;  // the "Error" box has said why
  if (exitCode == kToolUsage) {
    ShowMessage(LoadMessage(kCreationFailed) + LoadMessage(kInvalidCountry) + u" - " + Text("country"));
    return false;
  }
  // Exit code 11 and every other failure of the tool: no certificate was made.
  ShowCatalogueMessage(kCreationError);
  return false;
}

void CSelfSignDlg::Browse() {
  const std::optional<std::u16string> folder = Ui().ChooseFolder(LoadMessage(kChooseFolder));
  if (folder) SetText("saveas", *folder + std::u16string(kDefaultCertificateName));
}

void CSelfSignDlg::Accept() {
  const std::optional<std::u16string> arguments = BuildCertificateArguments();
  if (!arguments) {
    ShowCatalogueMessage(kFieldsRequired);
    return;
  }
  if (!PasswordsMatch()) {
    ShowCatalogueMessage(kPasswordsDiffer);
    return;
  }
  const std::u16string file = Text("saveas");
  if (platform::FileExists(file) &&
      ShowCatalogueMessage(kOverwriteQuestion, kMbOkCancel | kMbIconExclamation) != kIdOk) {
    return;
  }
  if (!CreateCertificate(*arguments)) return;
  if (platform::FileExists(file)) {
    SetSetting(keys::kCertPath, WithSlashes(file));
  }
  Close(kIdOk);
}

void CSelfSignDlg::OnButton(std::string_view name) {
  if (name == "browse") {
    Browse();
  } else if (name == "Help") {
    OpenHelpLink(kHelpLink);
  } else if (name == "OK") {
    Accept();
  } else if (name == "Cancel") {
    Close(kIdCancel);
  }
}

}  // namespace zaro
