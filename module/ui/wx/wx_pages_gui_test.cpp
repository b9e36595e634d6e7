// The settings pages on a real X server (the desktop General, Icons and Advanced pages, the
// file type dialog and the iPhone pages), each filled from a descriptor and photographed.
#include "ui/wx/wx_gui_test_support.h"

namespace zaro::wxui {
namespace {

const std::string kDemo =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>com.example.demo</id>"
    "<name>示例游戏</name><version>1.0.2</version><initialWindow><content>Demo.qmv</content>"
    "<renderMode>gpu</renderMode><fullScreen>true</fullScreen></initialWindow></application>";

// The sheet's pages run their sub-dialogs through the module's Ui(): the wx one here.
class WxPages : public WxGui {
 protected:
  void SetUp() override {
    WxGui::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    SetSetting(keys::kPubIpa, u"false");
    InstallUi(CreateWxUi());
  }
  void TearDown() override {
    if (ui_ == nullptr) return;
    InstallUi(nullptr);
    ReleaseDescriptor(MovieDescriptor());
    SetSetting(keys::kPubIpa, u"");
    setenv("TESSEL_REGISTRY_FILE", (home_ / "registry").c_str(), 1);
  }
  // Makes home_/folder the movie folder of `base` and parses its descriptor `xml` (none: the template).
  fs::path Movie(const std::string& folder, const std::u16string& base, const std::string& xml = {}) {
    const fs::path path = home_ / folder;
    fs::create_directories(path / "icons");
    if (!xml.empty()) std::ofstream(path / (ToUtf8(base) + "-app.xml")) << xml;
    SetSetting(keys::kMovieFolder, platform::ToWindowsForm(path.string() + "/"));
    SetSetting(keys::kMovieBaseName, base);
    EXPECT_EQ(LoadDescriptor(true), 0);
    return path;
  }
};

TEST_F(WxPages, SheetOnTheSignaturePageOpensTheSelfSignedDialog) {
  CSettingsPropSheet sheet(CSettingsPropSheet::kSignaturePage);
  bool selfSignShown = false;
  EXPECT_EQ(Drive(Ui(), sheet, {
      {"Settings", "settings-signature.png",
       [&](wxDialog* dialog) {
         EXPECT_EQ(dialog->GetTitle(), ToWx(u"应用程序和安装程序设置"));
         // The buttons stand left to right in the sheet's order, whatever the desktop's habit.
         std::vector<int> lefts;
         for (const char* name : {"OK", "Cancel", "Publish", "Help"})
           if (auto* button = Get<wxButton>(dialog, name)) lefts.push_back(button->GetScreenPosition().x);
         EXPECT_TRUE(std::adjacent_find(lefts.begin(), lefts.end(), std::greater_equal<>()) == lefts.end());
         Get<wxComboBox>(dialog, "certpath");
         if (auto* password = Get<wxTextCtrl>(dialog, "password")) password->SetValue(wxString::FromUTF8("秘密"));
         EXPECT_TRUE(Click(dialog, "create"));  // runs the self-signed dialog inside
         EXPECT_TRUE(selfSignShown);
         Click(dialog, "Cancel");
       }},
      {"SelfSign", "self-sign.png",
       [&](wxDialog* dialog) {
         selfSignShown = true;
         if (auto* country = Get<wxComboBox>(dialog, "country")) {
           EXPECT_EQ(country->GetValue(), "US");
           EXPECT_EQ(country->GetCount(), CountryCodes().size());
         }
         Click(dialog, "Cancel");
       },
       // Filled fields put typed Chinese text into the screenshot.
       [](wxDialog* dialog) {
         for (const auto& [name, text] : {std::pair{"publisher", "张三"}, {"unit", "发布部"},
                                          {"organization", "示例公司"}, {"saveas", "\\tmp\\mycert.p12"}})
           if (auto* field = Get<wxTextCtrl>(dialog, name)) field->SetValue(wxString::FromUTF8(text));
       }},
  }), kIdCancel);
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kSignaturePage);
  EXPECT_EQ(sheet.GetField("Signature.password"), u"秘密");
}

// Where a control stands on the screen; a failure and (-1, -1) when the dialog has none.
wxPoint At(wxWindow* dialog, const std::string& name) {
  auto* control = Get<wxWindow>(dialog, name);
  return control != nullptr ? control->GetScreenPosition() : wxPoint(-1, -1);
}

TEST_F(WxPages, GeneralPageShowsItsFieldsAlignedWithTheirPictureButtons) {
  Movie("movie", u"Hello");
  testing_support::Include({u"assets/readme.txt"});
  CSettingsPropSheet sheet(CSettingsPropSheet::kGeneralPage);
  EXPECT_EQ(Drive(Ui(), sheet, {{"Settings", "settings-general.png", [](wxDialog* dialog) {
                          EXPECT_EQ(At(dialog, "appname").y, At(dialog, "version").y) << "name and version on one row";
                          EXPECT_EQ(At(dialog, "appname").x, At(dialog, "appid").x) << "one label column";
                          EXPECT_EQ(At(dialog, "appid").x, At(dialog, "copyright").x);
                          EXPECT_LT(At(dialog, "addfile").y, At(dialog, "included").y) << "buttons above the list";
                          if (auto* add = Get<PictureButton>(dialog, "addfile")) { EXPECT_TRUE(add->HasPicture()); }
                          Click(dialog, "Cancel");
                        }}}), kIdCancel);
}

// The 128x128 icon is a 20x20 PNG.
TEST_F(WxPages, IconsPageDrawsASmallIconUnscaledInTheMiddleOfThePreview) {
  const fs::path folder = Movie("movie", u"Hello");
  ASSERT_TRUE(WriteIcon(folder / "icons" / "i20.png", 20));
  WriteAppIcon(MovieDescriptor(), u"image128x128", u"icons/i20.png");
  CSettingsPropSheet sheet(CSettingsPropSheet::kIconsPage);
  ASSERT_TRUE(sheet.SetField("Icons.size", u"图标 128x128"));
  wxRect drawn;
  wxSize frame;
  EXPECT_EQ(Drive(Ui(), sheet, {{"Settings", "settings-icons.png", [&](wxDialog* dialog) {
                          if (auto* preview = Get<ImagePreview>(dialog, "preview")) {
                            drawn = preview->ImageRect();
                            frame = preview->GetClientSize();
                          }
                          Click(dialog, "Cancel");
                        }}}), kIdCancel);
  EXPECT_EQ(drawn.GetSize(), wxSize(20, 20));
  EXPECT_EQ(drawn.GetPosition(), wxPoint((frame.GetWidth() - 20) / 2, (frame.GetHeight() - 20) / 2));
}

TEST(PreviewPlacement, ASquareOfTheSmallestSideCentred) {
  EXPECT_EQ(PreviewPlacement(wxSize(300, 200), wxSize(160, 160)), wxRect(0, 0, 160, 160));
  EXPECT_EQ(PreviewPlacement(wxSize(64, 32), wxSize(100, 80)), wxRect(34, 24, 32, 32));
}

// The Advanced page filled from a descriptor with one file type, and the file type dialog
// opened on that type from the page's edit picture, its previews showing the real icons.
TEST_F(WxPages, AdvancedPageOpensTheFileTypeDialogWithItsIcons) {
  const fs::path movie = Movie(
      "movie", u"Movie",
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>com.example.Movie</id>"
      "<filename>Movie</filename><initialWindow><content>Movie.qmv</content>"
      "<width>800</width><height>600</height><maxSize>1024 768</maxSize><minSize>320 240</minSize></initialWindow>"
      "<installFolder>Corvane/Movie</installFolder><programMenuFolder>影片</programMenuFolder><fileTypes><fileType>"
      "<name>docA</name><extension>abc</extension><description>文档</description>"
      "<contentType>application/x-doca</contentType><icon><image16x16>icons/doc16.png</image16x16>"
      "<image32x32>icons/doc32.png</image32x32><image48x48>icons/doc48.png</image48x48>"
      "<image128x128>icons/doc128.png</image128x128></icon></fileType></fileTypes></application>\n");
  for (int size : {128, 48, 32, 16})
    ASSERT_TRUE(WriteIcon(movie / "icons" / ("doc" + std::to_string(size) + ".png"), size));

  CSettingsPropSheet sheet(CSettingsPropSheet::kAdvancedPage);
  bool fileTypeShown = false;
  EXPECT_EQ(Drive(Ui(), sheet, {
      {"Settings", "settings-advanced.png",
       [&](wxDialog* dialog) {
         auto* list = Get<wxListBox>(dialog, "filetypes");
         EXPECT_TRUE(list != nullptr && list->GetCount() == 1 && list->GetString(0) == "docA(abc)");
         if (auto* width = Get<wxTextCtrl>(dialog, "width")) {
           auto* digits = dynamic_cast<wxTextValidator*>(width->GetValidator());
           EXPECT_TRUE(digits != nullptr && digits->HasFlag(wxFILTER_DIGITS) && !digits->IsValid("8a").empty());
           width->SetValue(" 400 ");
           EXPECT_EQ(sheet.GetField("Advanced.width"), u" 400 ") << "pasted text reaches the page as it is";
         }
         // The second fields of the pairs line up under each other.
         EXPECT_EQ(At(dialog, "height").x, At(dialog, "y").x);
         EXPECT_EQ(At(dialog, "y").x, At(dialog, "minheight").x);
         if (list != nullptr) SelectEntry(list, 0);
         if (auto* edit = Get<PictureButton>(dialog, "edittype")) {
           EXPECT_TRUE(edit->HasPicture());
           wxMouseEvent up(wxEVT_LEFT_UP);
           edit->ProcessWindowEvent(up);  // runs the file type dialog inside
           EXPECT_TRUE(fileTypeShown);
         }
         Click(dialog, "Cancel");
       }},
      {"FileType", "file-type.png",
       [&](wxDialog* dialog) {
         fileTypeShown = true;
         EXPECT_EQ(dialog->GetTitle(), ToWx(u"文件类型设置"));
         std::set<int> bottoms;
         for (const auto& [size, width, height] : {std::tuple{128, 130, 130}, std::tuple{48, 52, 52},
                                                   std::tuple{32, 37, 36}, std::tuple{16, 22, 21}}) {
           auto* preview = Get<ImagePreview>(dialog, "preview" + std::to_string(size));
           if (preview == nullptr) continue;
           EXPECT_EQ(preview->GetSize(), dialog->FromDIP(wxSize(width, height))) << size;
           EXPECT_TRUE(preview->HasImage() && preview->ImageRect().GetWidth() > 0) << size;
           bottoms.insert(preview->GetScreenRect().GetBottom());
         }
         EXPECT_EQ(bottoms.size(), 1u) << "the previews stand on one line";
         if (auto* browse = Get<PictureButton>(dialog, "browse16")) { EXPECT_TRUE(browse->HasPicture()); }
         Click(dialog, "Cancel");
       }},
  }), kIdCancel);
}

TEST_F(WxPages, IphoneSheetShowsItsGeneralAndDeploymentPages) {
  const fs::path movies = Movie("iphone movies", u"Demo", kDemo);
  fs::create_directories(movies / "keys");
  const fs::path certificate = movies / "keys" / "iphone_developer_certificate.p12";
  const fs::path profile = movies / "keys" / "Demo_Development_Provisioning.mobileprovision";
  std::ofstream(certificate) << "x";
  std::ofstream(profile) << "x";
  SetSetting(keys::kPubIpa, u"true");
  SetSetting(keys::kIpaOption, u"adhoc");
  testing_support::Include({u"assets/level1.dat", u"sounds"});
  WriteRegistryList(u"IpaCertPath", 10, {platform::ToWindowsForm(certificate.string())});
  WriteRegistryList(u"MobileProvisionFiles", 10, {platform::ToWindowsForm(profile.string())});

  CSettingsPropSheet sheet(CSettingsPropSheet::kIpaGeneralPage);
  EXPECT_EQ(Drive(Ui(), sheet, {
      {"Settings", "settings-iphone-general.png",
       [](wxDialog* dialog) {
         if (auto* list = Get<wxListBox>(dialog, "included")) { EXPECT_EQ(list->GetCount(), 4u); }
         auto* rendering = Get<wxChoice>(dialog, "rendering");
         EXPECT_EQ(rendering != nullptr ? rendering->GetStringSelection() : "", "GPU");
         dynamic_cast<wxPropertySheetDialog*>(dialog)->GetBookCtrl()->SetSelection(1);
       }},
      {"Settings", "settings-iphone-deployment.png",
       [](wxDialog* dialog) {
         if (auto* certificate = Get<wxComboBox>(dialog, "certpath")) { EXPECT_EQ(certificate->GetCount(), 1u); }
         if (auto* adhoc = Get<wxRadioButton>(dialog, "adhoc")) { EXPECT_TRUE(adhoc->GetValue()); }
         if (auto* store = Get<wxRadioButton>(dialog, "store")) ChooseRadio(store);
         Click(dialog, "Cancel");
       },
       [](wxDialog* dialog) {
         if (auto* password = Get<wxTextCtrl>(dialog, "password")) password->SetValue("secret");
       }},
  }), kIdCancel);
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kDeploymentPage);
  EXPECT_EQ(GetSetting(keys::kIpaOption), u"store") << "the radio button stores the type at once";
}

// Publish with the Icons page in front and no certificate: the Deployment page is in front
// before the box about its certificate field opens; the General page's remove button is
// greyed while no extra entry is selected.
TEST_F(WxPages, IphonePublishWithoutACertificateShowsTheDeploymentPageFirst) {
  // A hive of its own: no certificate remembered by another test.
  setenv("TESSEL_REGISTRY_FILE", (home_ / "registry-without-certificates").c_str(), 1);
  const fs::path movies = Movie("iphone publish", u"Demo", kDemo);
  fs::create_directories(movies / "kit" / "MPK" / "lib");
  std::ofstream(movies / "kit" / "MPK" / "lib" / "mpk.jar") << "x";
  SetSetting(keys::kPubIpa, u"true");
  SetSetting(keys::kLaunchPath, platform::ToWindowsForm((movies / "kit").string() + "/"));
  SetSetting(keys::kIpaCertPath, u"");
  testing_support::Include({u"assets/level1.dat"});

  int packaged = 0;
  CSettingsPropSheet sheet(CSettingsPropSheet::kIpaIconsPage,
                           {[&](PackageTarget, bool) { return ++packaged; }, [] { return std::u16string(u"/jre"); }});
  auto book = [](wxWindow* dialog) { return dynamic_cast<wxPropertySheetDialog*>(dialog)->GetBookCtrl(); };
  auto generalRemove = [](wxDialog* dialog) { return Get<wxWindow>(Get<wxWindow>(dialog, "General"), "remove"); };
  EXPECT_EQ(Drive(Ui(), sheet, {
      {"Settings", "", [&](wxDialog* dialog) {
         EXPECT_EQ(book(dialog)->GetSelection(), CSettingsPropSheet::kIpaIconsPage);
         if (auto* remove = generalRemove(dialog)) { EXPECT_FALSE(remove->IsEnabled()) << "no extra entry selected"; }
         Click(dialog, "Publish");
       }},
      {"message-box", "iphone-no-certificate-box.png", [&](wxDialog* box) {
         if (auto* text = Get<wxStaticText>(box, "text")) { EXPECT_EQ(text->GetLabel(), ToWx(u"必须选择证书")); }
         EXPECT_EQ(book(box->GetParent())->GetSelection(), CSettingsPropSheet::kDeploymentPage) << "under the box";
         SaveScreenshot(box->GetParent(), "iphone-no-certificate-sheet.png");
         Click(box, "ok");
       }},
      {"Settings", "", [&](wxDialog* dialog) {
         // An extra entry selected: the button is enabled, as on the desktop page.
         book(dialog)->SetSelection(CSettingsPropSheet::kIpaGeneralPage);
         if (auto* list = Get<wxListBox>(Get<wxWindow>(dialog, "General"), "included")) SelectEntry(list, 2);
         if (auto* remove = generalRemove(dialog)) { EXPECT_TRUE(remove->IsEnabled()); }
         Click(dialog, "Cancel");
       }},
  }), kIdCancel);
  EXPECT_EQ(packaged, 0);
  ExpectScreenshot("iphone-no-certificate-sheet.png");
}

}  // namespace
}  // namespace zaro::wxui
