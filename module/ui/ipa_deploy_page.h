#pragma once
// CFaiDeployDlg, the iPhone Deployment page of the settings sheet: the iPhone certificate and its
// password, the provisioning profile, the application ID and the deployment type.
//
// Form (page) name "Deployment", tab caption "部署".
// Fields:
//   signing    Label     "iPhone 数字签名"
//   usecert    Label     "使用 iPhone 证书 (.p12)"
//   certpath   Choice    "证书:" editable, recent certificates (registry "IpaCertPath")
//   password   Password  "密码:"
//   rempwd     Check     "在此次会话期间记住密码"
//   profile    Choice    "供给配置文件:" editable, recent profiles ("MobileProvisionFiles");
//                        choosing one of its entries reads the profile into appid
//   appid      Text      "应用程序 ID:"  descriptor id
//   deploytype Label     "iPhone 部署类型"
//   test, debug, adhoc, store
//              Radio     group "deployment"; setting one to "true"
//                        stores com.zaro.quessa.ipaopt at once
// Buttons:
//   moreinfo       "更多信息"  opens the help link of message 8094
//   browsecert     "浏览..."   file-open dialog for a .p12 file
//   browseprofile  "浏览..."   file-open dialog for a .mobileprovision file
#include <string>
#include <string_view>

#include "ui/element_text_field.h"
#include "ui/form_state.h"

namespace zaro {

class CFaiDeployDlg : public PageState {
 public:
  // CommitIpaDeployment results.
  static constexpr int kAccepted = 0;
  static constexpr int kMissing = 1;    // a required value is empty
  static constexpr int kFileGone = 2;   // the certificate or profile names no file

  CFaiDeployDlg();

  std::string FormName() const override { return "Deployment"; }
  std::u16string Caption() const override { return u"部署"; }
  int CommitFromSheet(bool showMessages) override { return CommitIpaDeployment(showMessages); }

  // Fills the page from the settings, the registry and the descriptor.
  void LoadIpaDeployment();
  // Stores the certificate, remember flag, password, profile, application ID and
  // deployment type, in that order. With showMessages on, the first missing or
  // non-existent value stops the commit after its message and the page is filled again
  // from the stored values; with it off every value that is there is stored.
  int CommitIpaDeployment(bool showMessages);

  // 0 test, 1 debug, 2 adhoc, 3 store.
  int DeploymentIndex() const;
  // Drop-down widths: the widest entry plus the text "0".
  int CertificateListWidth() const { return certificateWidth_; }
  int ProfileListWidth() const { return profileWidth_; }

  bool SetField(std::string_view name, std::u16string_view value) override;

 protected:
  void OnInitPage() override { LoadIpaDeployment(); }
  void OnButton(std::string_view name) override;
  void OnFieldChanged(std::string_view name) override;

 private:
  // Fills a recent list and picks its entry (certificate or profile).
  void LoadRecentChoice(std::string_view field, std::u16string_view recentList, std::u16string_view storedKey,
                        std::u16string_view lastValue);
  void FitListWidths();
  void BrowseCertificate();
  void BrowseProfile();
  // Reads the profile at `path` and brings the application ID field into line with it.
  void ReadProfileIntoId(const std::u16string& path);
  // Shows a catalogue message (with a detail after it), fills the page again from the
  // stored values and returns `result`.
  int Refuse(unsigned messageId, int result, std::u16string_view detail = {});
  // The refusal of an empty certificate or profile field: the missing-file message with the
  // stored path when that names no file, else the message asking for one.
  int RefuseEmpty(std::u16string_view storedKey, unsigned requiredId, unsigned missingId);
  int CommitCertificate(bool showMessages);
  int CommitProfile(bool showMessages);
  // Sets the descriptor's id element (an existing one only) and saves the descriptor file
  // when the ID changed.
  void StoreApplicationId(const std::u16string& appId);

  ElementTextField appId_;
  int certificateWidth_ = 0;
  int profileWidth_ = 0;
};

// Publishing without the sheet: false after message 8003 or 8097 followed by the path when
// the stored certificate or profile path is set but names no file (the sheet's OK stores
// typed paths unchecked).
bool CheckStoredIphoneFiles();

}  // namespace zaro
