// The settings pages on a real X server: the desktop General, Icons and Advanced pages,
// the file type dialog and the iPhone pages, each filled from a descriptor and photographed.
#include "ui/wx/wx_gui_test_support.h"

namespace zaro::wxui {
namespace {

namespace fs = std::filesystem;
using namespace gui_testing;

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
  // Makes home_/folder the movie folder of `base` and parses its descriptor `xml` (none:
  // the template).
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

// Where a control stands on the screen; a failure and (-1, -1) when the dialog has none.
wxPoint At(wxWindow* dialog, const std::string& name) {
  auto* control = Get<wxWindow>(dialog, name);
  return control != nullptr ? control->GetScreenPosition() : wxPoint(-1, -1);
}

TEST_F(WxPages, GeneralPageShowsItsFieldsAlignedWithTheirPictureButtons) {
  Movie("movie", u"Hello");
  SetSetting(keys::kIncludedCount, u"1");
  SetSetting(IncludedItemKey(0), u"assets/readme.txt");
  CSettingsPropSheet sheet(CSettingsPropSheet::kGeneralPage);
  DialogDriver driver({{"Settings", "settings-general.png", [](wxDialog* dialog) {
                          EXPECT_EQ(At(dialog, "appname").y, At(dialog, "version").y) << "name and version on one row";
                          EXPECT_EQ(At(dialog, "appname").x, At(dialog, "appid").x) << "one label column";
                          EXPECT_EQ(At(dialog, "appid").x, At(dialog, "copyright").x);
                          EXPECT_LT(At(dialog, "addfile").y, At(dialog, "included").y) << "buttons above the list";
                          if (auto* add = Get<PictureButton>(dialog, "addfile")) { EXPECT_TRUE(add->HasPicture()); }
                          Click(dialog, "Cancel");
                        }}});
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  driver.ExpectDone();
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
  DialogDriver driver({{"Settings", "settings-icons.png", [&](wxDialog* dialog) {
                          if (auto* preview = Get<ImagePreview>(dialog, "preview")) {
                            drawn = preview->ImageRect();
                            frame = preview->GetClientSize();
                          }
                          Click(dialog, "Cancel");
                        }}});
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(drawn.GetSize(), wxSize(20, 20));
  EXPECT_EQ(drawn.GetPosition(), wxPoint((frame.GetWidth() - 20) / 2, (frame.GetHeight() - 20) / 2));
  driver.ExpectDone();
}

TEST(PreviewPlacement, ASquareOfTheSmallestSideCentred) {
  EXPECT_EQ(PreviewPlacement(wxSize(20, 20), wxSize(160, 160)), wxRect(70, 70, 20, 20));
  EXPECT_EQ(PreviewPlacement(wxSize(300, 200), wxSize(160, 160)), wxRect(0, 0, 160, 160));
  EXPECT_EQ(PreviewPlacement(wxSize(64, 32), wxSize(100, 80)), wxRect(34, 24, 32, 32));
}

// The Advanced page filled from a descriptor with one file type, and the file type dialog
// opened on that type from the page's edit picture, its previews showing the real icons.
TEST_F(WxPages, AdvancedPageOpensTheFileTypeDialogWithItsIcons) {
  const fs::path movie = Movie(
      "movie", u"Movie",
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
      "  <id>com.example.Movie</id>\n  <filename>Movie</filename>\n"
      "  <initialWindow>\n    <content>Movie.qmv</content>\n    <width>800</width>\n    <height>600</height>\n"
      "    <maxSize>1024 768</maxSize>\n    <minSize>320 240</minSize>\n  </initialWindow>\n"
      "  <installFolder>Corvane/Movie</installFolder>\n  <programMenuFolder>影片</programMenuFolder>\n"
      "  <fileTypes>\n    <fileType>\n      <name>docA</name>\n      <extension>abc</extension>\n"
      "      <description>文档</description>\n      <contentType>application/x-doca</contentType>\n      <icon>\n"
      "        <image16x16>icons/doc16.png</image16x16>\n        <image32x32>icons/doc32.png</image32x32>\n"
      "        <image48x48>icons/doc48.png</image48x48>\n        <image128x128>icons/doc128.png</image128x128>\n"
      "      </icon>\n    </fileType>\n  </fileTypes>\n</application>\n");
  for (int size : {128, 48, 32, 16}) {
    ASSERT_TRUE(WriteIcon(movie / "icons" / ("doc" + std::to_string(size) + ".png"), size));
  }

  CSettingsPropSheet sheet(CSettingsPropSheet::kAdvancedPage);
  bool fileTypeShown = false;
  DialogDriver driver({
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
  });
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  driver.ExpectDone();
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
  SetSetting(keys::kIncludedCount, u"2");
  SetSetting(IncludedItemKey(0), u"assets/level1.dat");
  SetSetting(IncludedItemKey(1), u"sounds");
  WriteRegistryList(u"IpaCertPath", 10, {platform::ToWindowsForm(certificate.string())});
  WriteRegistryList(u"MobileProvisionFiles", 10, {platform::ToWindowsForm(profile.string())});

  CSettingsPropSheet sheet(CSettingsPropSheet::kIpaGeneralPage);
  DialogDriver driver({
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
  });
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kDeploymentPage);
  EXPECT_EQ(GetSetting(keys::kIpaOption), u"store") << "the radio button stores the type at once";
  driver.ExpectDone();
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
  SetSetting(keys::kIncludedCount, u"1");
  SetSetting(IncludedItemKey(0), u"assets/level1.dat");

  int packaged = 0;
  CSettingsPropSheet sheet(CSettingsPropSheet::kIpaIconsPage,
                           {[&](PackageTarget, bool) { return ++packaged; }, [] { return std::u16string(u"/jre"); }});
  auto book = [](wxWindow* dialog) { return dynamic_cast<wxPropertySheetDialog*>(dialog)->GetBookCtrl(); };
  auto generalRemove = [](wxDialog* dialog) { return Get<wxWindow>(Get<wxWindow>(dialog, "General"), "remove"); };
  DialogDriver driver({
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
  });
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(packaged, 0);
  driver.ExpectDone();
  ExpectScreenshot("iphone-no-certificate-sheet.png");
}

}  // namespace
}  // namespace zaro::wxui
