// The settings pages on a real X server: the desktop General, Icons and Advanced pages,
// the file type dialog and the iPhone pages, each filled from a descriptor and photographed.
#include "ui/wx/wx_gui_test_support.h"

namespace zaro::wxui {
namespace {

namespace fs = std::filesystem;
using namespace gui_testing;

// A movie folder with a parsed descriptor whose 16x16 and 128x128 icons are a real 16x16
// PNG and a 20x20 PNG.
class WxPages : public WxGui {
 protected:
  void SetUp() override {
    WxGui::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    folder_ = home_ / "movie";
    fs::create_directories(folder_ / "icons");
    for (int side : {16, 20}) WriteIcon(folder_ / "icons" / ("i" + std::to_string(side) + ".png"), side);
    SetSetting(keys::kMovieFolder, FromUtf8(folder_.string() + "/"));
    SetSetting(keys::kMovieBaseName, u"Hello");
    SetSetting(keys::kPubIpa, u"false");
    ASSERT_EQ(LoadDescriptor(true), 0);
    WriteAppIcon(MovieDescriptor(), u"image16x16", u"icons/i16.png");
    WriteAppIcon(MovieDescriptor(), u"image128x128", u"icons/i20.png");
    InstallUi(CreateWxUi());
  }
  void TearDown() override {
    if (ui_ == nullptr) return;
    InstallUi(nullptr);
    ReleaseDescriptor(MovieDescriptor());
  }
  fs::path folder_;
};

TEST_F(WxPages, GeneralPageShowsItsFieldsAlignedWithTheirPictureButtons) {
  SetSetting(keys::kIncludedCount, u"1");
  SetSetting(IncludedItemKey(0), u"assets/readme.txt");
  CSettingsPropSheet sheet(CSettingsPropSheet::kGeneralPage);
  std::vector<std::string> seen;
  DialogDriver driver({{"Settings", "settings-general.png", [&](wxDialog* dialog) {
                          auto* name = Find<wxTextCtrl>(dialog, "appname");
                          auto* version = Find<wxTextCtrl>(dialog, "version");
                          if (name && version && name->GetScreenPosition().y == version->GetScreenPosition().y) {
                            seen.push_back("name and version on one row");
                          }
                          auto* id = Find<wxTextCtrl>(dialog, "appid");
                          auto* copyright = Find<wxTextCtrl>(dialog, "copyright");
                          if (name && id && copyright && name->GetScreenPosition().x == id->GetScreenPosition().x &&
                              id->GetScreenPosition().x == copyright->GetScreenPosition().x) {
                            seen.push_back("one label column");
                          }
                          auto* add = dynamic_cast<PictureButton*>(
                              wxWindow::FindWindowByName("addfile", dialog));
                          auto* list = Find<wxWindow>(dialog, "included");
                          if (add && list && add->HasPicture() &&
                              add->GetScreenPosition().y < list->GetScreenPosition().y) {
                            seen.push_back("picture buttons above the list");
                          }
                          Click(dialog, "Cancel");
                        }}});
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(seen, (std::vector<std::string>{"name and version on one row", "one label column",
                                            "picture buttons above the list"}));
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("settings-general.png");
}

TEST_F(WxPages, IconsPageDrawsASmallIconUnscaledInTheMiddleOfThePreview) {
  CSettingsPropSheet sheet(CSettingsPropSheet::kIconsPage);
  ASSERT_TRUE(sheet.SetField("Icons.size", u"图标 128x128"));
  wxRect drawn;
  wxSize frame;
  DialogDriver driver({{"Settings", "settings-icons.png", [&](wxDialog* dialog) {
                          if (auto* preview = dynamic_cast<ImagePreview*>(wxWindow::FindWindowByName("preview", dialog))) {
                            drawn = preview->ImageRect();
                            frame = preview->GetClientSize();
                          }
                          Click(dialog, "Cancel");
                        }}});
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(drawn.GetSize(), wxSize(20, 20));
  EXPECT_EQ(drawn.GetPosition(), wxPoint((frame.GetWidth() - 20) / 2, (frame.GetHeight() - 20) / 2));
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("settings-icons.png");
}

TEST(PreviewPlacement, ASquareOfTheSmallestSideCentred) {
  EXPECT_EQ(PreviewPlacement(wxSize(20, 20), wxSize(160, 160)), wxRect(70, 70, 20, 20));
  EXPECT_EQ(PreviewPlacement(wxSize(300, 200), wxSize(160, 160)), wxRect(0, 0, 160, 160));
  EXPECT_EQ(PreviewPlacement(wxSize(64, 32), wxSize(100, 80)), wxRect(34, 24, 32, 32));
}

// The Advanced page filled from a descriptor with one file type, and the file type dialog
// opened on that type from the page's edit picture, its previews showing the real icons.
TEST_F(WxGui, AdvancedPageOpensTheFileTypeDialogWithItsIcons) {
  InstallUi(CreateWxUi());
  const fs::path movie = home_ / "movie";
  fs::create_directories(movie / "icons");
  for (int size : {128, 48, 32, 16}) {
    ASSERT_TRUE(WriteIcon(movie / "icons" / ("doc" + std::to_string(size) + ".png"), size));
  }
  std::ofstream(movie / "Movie-app.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
         "  <id>com.example.Movie</id>\n  <filename>Movie</filename>\n"
         "  <initialWindow>\n    <content>Movie.qmv</content>\n    <width>800</width>\n    <height>600</height>\n"
         "    <maxSize>1024 768</maxSize>\n    <minSize>320 240</minSize>\n  </initialWindow>\n"
         "  <installFolder>Corvane/Movie</installFolder>\n  <programMenuFolder>影片</programMenuFolder>\n"
         "  <fileTypes>\n    <fileType>\n      <name>docA</name>\n      <extension>abc</extension>\n"
         "      <description>文档</description>\n      <contentType>application/x-doca</contentType>\n"
         "      <icon>\n        <image16x16>icons/doc16.png</image16x16>\n"
         "        <image32x32>icons/doc32.png</image32x32>\n        <image48x48>icons/doc48.png</image48x48>\n"
         "        <image128x128>icons/doc128.png</image128x128>\n      </icon>\n    </fileType>\n"
         "  </fileTypes>\n</application>\n";
  SetSetting(keys::kMovieFolder, FromWx(wxString::FromUTF8(movie.string() + "/")));
  SetSetting(keys::kMovieBaseName, u"Movie");
  ASSERT_EQ(LoadDescriptor(true), 0);

  CSettingsPropSheet sheet(CSettingsPropSheet::kAdvancedPage);
  std::vector<std::string> seen;
  DialogDriver driver({
      {"Settings", "settings-advanced.png",
       [&](wxDialog* dialog) {
         auto* list = Find<wxListBox>(dialog, "filetypes");
         if (list != nullptr && list->GetCount() == 1 && list->GetString(0) == "docA(abc)") seen.push_back("entry");
         auto* width = Find<wxTextCtrl>(dialog, "width");
         auto* digits = width != nullptr ? dynamic_cast<wxTextValidator*>(width->GetValidator()) : nullptr;
         if (digits != nullptr && digits->HasFlag(wxFILTER_DIGITS) && !digits->IsValid("8a").empty()) {
           seen.push_back("digits only");
         }
         if (width != nullptr) width->SetValue(" 400 ");  // pasted text reaches the page as it is
         if (sheet.GetField("Advanced.width") == u" 400 ") seen.push_back("pasted");
         // The second fields of the pairs line up under each other.
         auto* height = Find<wxWindow>(dialog, "height");
         auto* y = Find<wxWindow>(dialog, "y");
         auto* minheight = Find<wxWindow>(dialog, "minheight");
         if (height && y && minheight && height->GetScreenPosition().x == y->GetScreenPosition().x &&
             y->GetScreenPosition().x == minheight->GetScreenPosition().x) {
           seen.push_back("aligned");
         }
         if (list != nullptr) {
           list->SetSelection(0);
           wxCommandEvent select(wxEVT_LISTBOX, list->GetId());
           select.SetEventObject(list);
           select.SetInt(0);
           list->ProcessWindowEvent(select);
         }
         if (auto* edit = Find<PictureButton>(dialog, "edittype"); edit != nullptr && edit->HasPicture()) {
           wxMouseEvent up(wxEVT_LEFT_UP);
           edit->ProcessWindowEvent(up);  // runs the file type dialog inside
           seen.push_back("edited");
         }
         Click(dialog, "Cancel");
       }},
      {"FileType", "file-type.png",
       [&](wxDialog* dialog) {
         if (dialog->GetTitle() == ToWx(u"文件类型设置")) seen.push_back("dialog title");
         std::set<int> bottoms;
         int withImages = 0;
         for (const auto& [size, width, height] : {std::tuple{128, 130, 130}, std::tuple{48, 52, 52},
                                                   std::tuple{32, 37, 36}, std::tuple{16, 22, 21}}) {
           auto* preview = Find<ImagePreview>(dialog, "preview" + std::to_string(size));
           if (preview == nullptr || preview->GetSize() != dialog->FromDIP(wxSize(width, height))) continue;
           bottoms.insert(preview->GetScreenRect().GetBottom());
           withImages += preview->HasImage() && preview->ImageRect().GetWidth() > 0 ? 1 : 0;
         }
         if (bottoms.size() == 1 && withImages == 4) seen.push_back("previews");
         if (auto* browse = Find<PictureButton>(dialog, "browse16"); browse && browse->HasPicture()) {
           seen.push_back("browse picture");
         }
         Click(dialog, "Cancel");
       }},
  });
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(seen, (std::vector<std::string>{"entry", "digits only", "pasted", "aligned", "dialog title", "previews",
                                            "browse picture", "edited"}));
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("settings-advanced.png");
  ExpectScreenshot("file-type.png");
  ReleaseDescriptor(MovieDescriptor());
}

TEST_F(WxGui, IphoneSheetShowsItsGeneralAndDeploymentPages) {
  InstallUi(CreateWxUi());
  const fs::path movies = home_ / "iphone movies";
  fs::create_directories(movies / "keys");
  std::ofstream(movies / "Demo-app.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>com.example.demo</id>"
         "<name>示例游戏</name><version>1.0.2</version><initialWindow><content>Demo.qmv</content>"
         "<renderMode>gpu</renderMode><fullScreen>true</fullScreen></initialWindow></application>";
  const fs::path certificate = movies / "keys" / "iphone_developer_certificate.p12";
  const fs::path profile = movies / "keys" / "Demo_Development_Provisioning.mobileprovision";
  std::ofstream(certificate) << "x";
  std::ofstream(profile) << "x";
  SetSetting(keys::kPubIpa, u"true");
  SetSetting(keys::kMovieFolder, platform::ToWindowsForm(movies.string() + "/"));
  SetSetting(keys::kMovieBaseName, u"Demo");
  SetSetting(keys::kIpaOption, u"adhoc");
  SetSetting(keys::kIncludedCount, u"2");
  SetSetting(IncludedItemKey(0), u"assets/level1.dat");
  SetSetting(IncludedItemKey(1), u"sounds");
  WriteRegistryList(u"IpaCertPath", 10, {platform::ToWindowsForm(certificate.string())});
  WriteRegistryList(u"MobileProvisionFiles", 10, {platform::ToWindowsForm(profile.string())});
  ASSERT_EQ(InitDescriptorParser(MovieDescriptor()), 0);
  ASSERT_EQ(ParseDescriptor(MovieDescriptor(), platform::ToWindowsForm((movies / "Demo-app.xml").string())), kParsed);

  CSettingsPropSheet sheet(CSettingsPropSheet::kIpaGeneralPage);
  std::vector<std::string> seen;
  DialogDriver driver({
      {"Settings", "settings-iphone-general.png",
       [&](wxDialog* dialog) {
         if (dialog->GetTitle() == ToWx(u"iPhone 设置")) seen.push_back("title");
         if (auto* list = Find<wxListBox>(dialog, "included"); list != nullptr && list->GetCount() == 4) {
           seen.push_back("included");
         }
         if (auto* rendering = Find<wxChoice>(dialog, "rendering"); rendering && rendering->GetStringSelection() == "GPU") {
           seen.push_back("GPU");
         }
         if (auto* book = dynamic_cast<wxPropertySheetDialog*>(dialog)) book->GetBookCtrl()->SetSelection(1);
       }},
      {"Settings", "settings-iphone-deployment.png",
       [&](wxDialog* dialog) {
         auto* certificate = Find<wxComboBox>(dialog, "certpath");
         if (certificate != nullptr && certificate->GetCount() == 1) seen.push_back("certificate");
         if (auto* adhoc = Find<wxRadioButton>(dialog, "adhoc"); adhoc != nullptr && adhoc->GetValue()) {
           seen.push_back("adhoc");
         }
         if (auto* store = Find<wxRadioButton>(dialog, "store")) {
           store->SetValue(true);
           wxCommandEvent radio(wxEVT_RADIOBUTTON, store->GetId());
           radio.SetEventObject(store);
           store->ProcessWindowEvent(radio);
         }
         Click(dialog, "Cancel");
       },
       [](wxDialog* dialog) {
         if (auto* password = Find<wxTextCtrl>(dialog, "password")) password->SetValue("secret");
       }},
  });
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(seen, (std::vector<std::string>{"title", "included", "GPU", "certificate", "adhoc"}));
  EXPECT_EQ(sheet.ActivePage(), CSettingsPropSheet::kDeploymentPage);
  EXPECT_EQ(GetSetting(keys::kIpaOption), u"store") << "the radio button stores the type at once";
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("settings-iphone-general.png");
  ExpectScreenshot("settings-iphone-deployment.png");
  ReleaseDescriptor(MovieDescriptor());
  SetSetting(keys::kPubIpa, u"");
  InstallUi(nullptr);
}

// Publish with the Icons page in front and no certificate: the Deployment page is in front
// before the box about its certificate field opens; the General page's remove button is
// greyed while no extra entry is selected.
TEST_F(WxGui, IphonePublishWithoutACertificateShowsTheDeploymentPageFirst) {
  InstallUi(CreateWxUi());
  // A hive of its own: no certificate remembered by another test.
  setenv("TESSEL_REGISTRY_FILE", (home_ / "registry-without-certificates").c_str(), 1);
  const fs::path movies = home_ / "iphone publish";
  fs::create_directories(movies / "kit" / "MPK" / "lib");
  std::ofstream(movies / "kit" / "MPK" / "lib" / "mpk.jar") << "x";
  std::ofstream(movies / "Demo-app.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\"><id>com.example.demo</id>"
         "<name>示例游戏</name><version>1.0.2</version><initialWindow><content>Demo.qmv</content>"
         "</initialWindow></application>";
  SetSetting(keys::kPubIpa, u"true");
  SetSetting(keys::kLaunchPath, platform::ToWindowsForm((movies / "kit").string() + "/"));
  SetSetting(keys::kMovieFolder, platform::ToWindowsForm(movies.string() + "/"));
  SetSetting(keys::kMovieBaseName, u"Demo");
  SetSetting(keys::kIpaCertPath, u"");
  SetSetting(keys::kIncludedCount, u"1");
  SetSetting(IncludedItemKey(0), u"assets/level1.dat");
  ASSERT_EQ(InitDescriptorParser(MovieDescriptor()), 0);
  ASSERT_EQ(ParseDescriptor(MovieDescriptor(), platform::ToWindowsForm((movies / "Demo-app.xml").string())), kParsed);

  SheetServices services;
  int packaged = 0;
  services.package = [&](PackageTarget, bool) { return ++packaged; };
  services.javaRuntimeFolder = [] { return std::u16string(u"/jre"); };
  CSettingsPropSheet sheet(CSettingsPropSheet::kIpaIconsPage, services);
  std::vector<std::string> seen;
  auto generalRemove = [](wxDialog* sheetDialog) {
    return Find<wxWindow>(Find<wxWindow>(sheetDialog, "General"), "remove");
  };
  DialogDriver driver({
      {"Settings", "", [&](wxDialog* dialog) {
         auto* book = dynamic_cast<wxPropertySheetDialog*>(dialog);
         if (book != nullptr && book->GetBookCtrl()->GetSelection() == CSettingsPropSheet::kIpaIconsPage) {
           seen.push_back("icons in front");
         }
         if (auto* remove = generalRemove(dialog); remove != nullptr && !remove->IsEnabled()) {
           seen.push_back("remove greyed");
         }
         Click(dialog, "Publish");
       }},
      {"message-box", "iphone-no-certificate-box.png", [&](wxDialog* box) {
         auto* text = Find<wxStaticText>(box, "text");
         if (text != nullptr && text->GetLabel() == ToWx(u"必须选择证书")) {
           seen.push_back("the box");
         } else {
           seen.push_back("box text: " + (text != nullptr ? text->GetLabel().utf8_string() : std::string("none")));
         }
         auto* book = dynamic_cast<wxPropertySheetDialog*>(box->GetParent());
         if (book != nullptr && book->GetBookCtrl()->GetSelection() == CSettingsPropSheet::kDeploymentPage) {
           seen.push_back("deployment in front under the box");
           SaveScreenshot(book, "iphone-no-certificate-sheet.png");
         }
         Click(box, "ok");
       }},
      {"Settings", "", [&](wxDialog* dialog) {
         // An extra entry selected: the button is enabled, as on the desktop page.
         if (auto* book = dynamic_cast<wxPropertySheetDialog*>(dialog)) {
           book->GetBookCtrl()->SetSelection(CSettingsPropSheet::kIpaGeneralPage);
         }
         if (auto* list = Find<wxListBox>(Find<wxWindow>(dialog, "General"), "included")) {
           list->SetSelection(2);
           wxCommandEvent select(wxEVT_LISTBOX, list->GetId());
           select.SetEventObject(list);
           select.SetInt(2);
           list->ProcessWindowEvent(select);
         }
         if (auto* remove = generalRemove(dialog); remove != nullptr && remove->IsEnabled()) {
           seen.push_back("remove enabled");
         }
         Click(dialog, "Cancel");
       }},
  });
  EXPECT_EQ(Ui().RunModal(sheet), kIdCancel);
  EXPECT_EQ(seen, (std::vector<std::string>{"icons in front", "remove greyed", "the box",
                                            "deployment in front under the box", "remove enabled"}));
  EXPECT_EQ(packaged, 0);
  EXPECT_EQ(driver.problems, std::vector<std::string>{});
  ExpectScreenshot("iphone-no-certificate-box.png");
  ExpectScreenshot("iphone-no-certificate-sheet.png");
  ReleaseDescriptor(MovieDescriptor());
  SetSetting(keys::kPubIpa, u"");
  InstallUi(nullptr);
  setenv("TESSEL_REGISTRY_FILE", (home_ / "registry").c_str(), 1);
}

}  // namespace
}  // namespace zaro::wxui
