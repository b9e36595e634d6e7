// File types in the descriptor: the checks the packaging tool makes, and their desktop
// registration by the native installer.
#include <filesystem>

#include <gtest/gtest.h>

#include "descriptor_check.h"
#include "desktop_registration.h"
#include "test_support.h"

namespace zpk {
namespace {

using namespace zpk::testing;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string FileType(const std::string& name, const std::string& extension, const std::string& contentType,
                     const std::string& icons = "", const std::string& description = "") {
  return "<fileType><name>" + name + "</name><extension>" + extension + "</extension><description>" + description +
         "</description><contentType>" + contentType + "</contentType><icon>" + icons + "</icon></fileType>";
}

std::string WithTypes(const std::string& types) { return MakeDescriptor("", "", "<fileTypes>" + types + "</fileTypes>"); }

Outcome Check(const std::string& xml, DescriptorInfo& info) { return CheckDescriptor(xml, "M-app.xml", info); }

TEST(FileTypeCheck, CollectsEveryTypeForTheInstaller) {
  DescriptorInfo info;
  Outcome ok = Check(WithTypes(FileType("docA", "abc", "application/x-doca",
                                        "<image16x16>t/a16.png</image16x16><image128x128>t/a128.png</image128x128>",
                                        "A &amp; B") +
                               FileType("docB", "xyz", "text/x-docb")),
                     info);
  ASSERT_EQ(ok.code, 0) << ok.text;
  ASSERT_EQ(info.fileTypes.size(), 2u);
  EXPECT_EQ(info.fileTypes[0].name, "docA");
  EXPECT_EQ(info.fileTypes[0].extension, "abc");
  EXPECT_EQ(info.fileTypes[0].description, "A & B");
  EXPECT_EQ(info.fileTypes[0].contentType, "application/x-doca");
  ASSERT_EQ(info.fileTypes[0].icons.size(), 2u);
  EXPECT_EQ(info.fileTypes[0].icons[1].size, 128);
  EXPECT_EQ(info.fileTypes[1].icons.size(), 0u);
  EXPECT_EQ(info.icons.size(), 2u) << "file type icons are checked with the others";
}

TEST(FileTypeCheck, RequiredAndInvalidValuesHaveTheirErrors) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {FileType("docA", "abc", ""), "error 104: application.fileTypes.fileType.contentType is required"},
      {FileType("", "abc", "a/b"), "error 104: application.fileTypes.fileType.name is required"},
      {FileType("docA", "", "a/b"), "error 104: application.fileTypes.fileType.extension is required"},
      {"<fileType><name>docA</name><extension>abc</extension></fileType>",
       "error 104: application.fileTypes.fileType.contentType is required"},
      {FileType(".doc", "abc", "a/b"), "error 105: application.fileTypes.fileType.name contains"},
      {FileType(std::string(39, 'n'), "abc", "a/b"), "error 105: application.fileTypes.fileType.name contains"},
      {FileType("doc", "ab_c", "a/b"), "error 105: application.fileTypes.fileType.extension contains"},
      {FileType("doc", "abc", "text/plain; charset=x"), "error 105: application.fileTypes.fileType.contentType contains"},
      {FileType("doc", "abc", "/plain"), "error 105: application.fileTypes.fileType.contentType contains"},
      {FileType("doc", "abc", "a/b", "<image64x64>x.png</image64x64>"),
       "error 103: unexpected element application.fileTypes.fileType.icon.image64x64"},
      {FileType("doc", "abc", "a/b") + FileType("doc", "xyz", "a/c"),
       "error 105: application.fileTypes.fileType.name contains a name given to another file type"},
      {FileType("doc", "abc", "a/b") + FileType("doc2", "xyz", "a/b"),
       "error 105: application.fileTypes.fileType.contentType contains a content type given to another"},
  };
  for (const auto& [types, error] : cases) {
    DescriptorInfo info;
    Outcome outcome = Check(WithTypes(types), info);
    EXPECT_EQ(outcome.code, 12) << types;
    EXPECT_TRUE(Contains(outcome.text, error)) << types << "\n" << outcome.text;
  }
}

TEST(FileTypeCheck, IconFilesAreCheckedWhenPackaging) {
  struct Case {
    std::string icons, error;
    bool packageIt;
  };
  const std::vector<Case> cases = {
      {"<image32x32>icons/i16.png</image32x32>",
       "error 201: application.fileTypes.fileType.icon.image32x32 must be 32x32 pixels", true},
      {"<image16x16>icons/bad.png</image16x16>", "error 202: application.fileTypes.fileType.icon.image16x16 is not a PNG",
       true},
      {"<image48x48>icons/gone.png</image48x48>", "error 303: the icon icons/gone.png", false},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::string movie = folder / "movie";
    MakeMovieFolder(movie, WithTypes(FileType("doc", "abc", "a/b", c.icons)));
    WriteFile(movie + "/icons/bad.png", "GIF89a........");
    std::vector<std::string> args = {"-prepare", folder / "out.zaroi", movie + "/Movie-app.xml",
                                     "-C", movie, "Movie.qmv"};
    if (c.packageIt) args.push_back("icons");
    ToolRun run = RunTool(args);
    EXPECT_EQ(run.code, 12) << run.output;
    EXPECT_TRUE(Contains(run.output, c.error)) << c.error << "\n" << run.output;
  }
}

TEST(DesktopRegistration, FilesAreWrittenInTheDesktopsOwnFormats) {
  DescriptorInfo info;
  info.id = "com.example.Movie";
  info.name = "Movie \\ Maker";
  info.fileTypes = {{"docA", "abc", "Doc <A>", "application/x-doca", {}},
                    {"docB", "xyz", "", "text/x-docb", {}}};
  EXPECT_EQ(MimePackage(info),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
            "  <mime-type type=\"application/x-doca\">\n    <comment>Doc &lt;A&gt;</comment>\n"
            "    <glob pattern=\"*.abc\"/>\n  </mime-type>\n"
            "  <mime-type type=\"text/x-docb\">\n    <comment>docB</comment>\n"
            "    <glob pattern=\"*.xyz\"/>\n  </mime-type>\n"
            "</mime-info>\n");
  EXPECT_EQ(DesktopEntry(info),
            "[Desktop Entry]\nType=Application\nName=Movie \\\\ Maker\n"
            "MimeType=application/x-doca;text/x-docb;\nTerminal=false\n");
  EXPECT_EQ(MimeIconName("application/x-doca"), "application-x-doca");
}

class InstallerRegistrationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    keys_ = new TempFolder();
    PkeyPtr key = MakeRsaKey(2048);
    X509Ptr cert = MakeCertificate(key.get(), "Test Author", -1, 365);
    WriteKeystore(*keys_ / "k.p12", "secret", key.get(), cert.get());
  }
  static void TearDownTestSuite() { delete keys_; }

  void SetUp() override {
    movie_ = dir_ / "movie";
    const std::string types =
        FileType("docA", "abc", "application/x-zaro-doca",
                 "<image16x16>icons/i16.png</image16x16><image32x32>icons/i32.png</image32x32>", "Doc A") +
        FileType("docB", "xyz", "application/x-zaro-docb");
    MakeMovieFolder(movie_, MakeDescriptor("", "", "<installFolder>Corvane/Movie App</installFolder><fileTypes>" +
                                                       types + "</fileTypes>"));
    ToolRun run = RunTool({"-package", "-keystore", *keys_ / "k.p12", "-storepass", "secret", "-tsa", "none",
                           "-target", "native", dir_ / "Movie.exe", movie_ + "/Movie-app.xml", "-C", movie_,
                           "Movie.qmv", "icons"});
    ASSERT_EQ(run.code, 0) << run.output;
  }
  ToolRun Install(const std::string& prefix) {
    return RunShell("mkdir -p '" + prefix + "' && sh '" + (dir_ / "Movie.exe") + "' '" + prefix + "' 2>&1");
  }

  static TempFolder* keys_;
  TempFolder dir_;
  std::string movie_;
};

TempFolder* InstallerRegistrationTest::keys_ = nullptr;

TEST_F(InstallerRegistrationTest, RegistersTheTypesAndUninstallingTakesExactlyThatAway) {
  const std::string prefix = dir_ / "my prefix";
  // Another application's icon for a type of ours is there already: it stays untouched.
  const std::string foreign = prefix + "/share/icons/hicolor/32x32/mimetypes/application-x-zaro-doca.png";
  WriteFile(foreign, "someone else's");
  ToolRun install = Install(prefix);
  ASSERT_EQ(install.code, 0) << install.output;

  const std::string share = prefix + "/share";
  const std::string mime = ReadFile(share + "/mime/packages/com.example.Movie.xml");
  EXPECT_TRUE(Contains(mime, "<mime-type type=\"application/x-zaro-docb\">")) << mime;
  EXPECT_TRUE(Contains(mime, "<glob pattern=\"*.abc\"/>"));
  const std::string entry = ReadFile(share + "/applications/com.example.Movie.desktop");
  EXPECT_TRUE(Contains(entry, "MimeType=application/x-zaro-doca;application/x-zaro-docb;\n")) << entry;
  EXPECT_TRUE(Contains(entry, "Exec=\"" + prefix + "/Corvane/Movie App/.zaro-install/open\" %f\n")) << entry;
  EXPECT_EQ(ReadFile(share + "/icons/hicolor/16x16/mimetypes/application-x-zaro-doca.png"),
            ReadFile(movie_ + "/icons/i16.png"));
  EXPECT_EQ(ReadFile(foreign), "someone else's");
  EXPECT_TRUE(Contains(install.output, "leaving " + foreign)) << install.output;
  ToolRun open = RunShell("PATH=/usr/bin:/bin sh '" + prefix + "/Corvane/Movie App/.zaro-install/open' x.abc 2>&1");
  EXPECT_EQ(open.code, 1);
  EXPECT_TRUE(Contains(open.output, "needs the ZARO runtime")) << open.output;

  if (RunShell("command -v desktop-file-validate").code == 0) {
    ToolRun valid = RunShell("desktop-file-validate '" + share + "/applications/com.example.Movie.desktop' 2>&1");
    EXPECT_EQ(valid.code, 0) << valid.output;
    EXPECT_FALSE(Contains(valid.output, "error")) << valid.output;
  }
  if (RunShell("command -v update-mime-database").code == 0) {
    EXPECT_TRUE(Exists(share + "/mime/application/x-zaro-doca.xml")) << "the installer updated the database";
    EXPECT_TRUE(Contains(ReadFile(share + "/mime/globs2"), "application/x-zaro-docb:*.xyz"));
  }

  ToolRun uninstall = RunShell("sh '" + prefix + "/Corvane/Movie App/.zaro-install/uninstall.sh' 2>&1");
  EXPECT_EQ(uninstall.code, 0) << uninstall.output;
  EXPECT_FALSE(Exists(prefix + "/Corvane"));
  EXPECT_FALSE(Exists(share + "/mime")) << "the database it made goes with its last package";
  EXPECT_FALSE(Exists(share + "/applications"));
  EXPECT_FALSE(Exists(share + "/icons/hicolor/16x16"));
  EXPECT_EQ(ReadFile(foreign), "someone else's");
  std::vector<std::string> left;
  for (const auto& item : std::filesystem::recursive_directory_iterator(prefix)) left.push_back(item.path());
  EXPECT_EQ(left, (std::vector<std::string>{share, share + "/icons", share + "/icons/hicolor",
                                            share + "/icons/hicolor/32x32",
                                            share + "/icons/hicolor/32x32/mimetypes", foreign}));
}

TEST_F(InstallerRegistrationTest, ReinstallingReplacesTheRegistrationAndKeepsOtherPackages) {
  const std::string prefix = dir_ / "prefix";
  const std::string other = prefix + "/share/mime/packages/other.xml";
  WriteFile(other,
            "<?xml version=\"1.0\"?>\n<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">"
            "<mime-type type=\"text/x-other\"><comment>o</comment><glob pattern=\"*.oth\"/></mime-type></mime-info>\n");
  ASSERT_EQ(Install(prefix).code, 0);
  ToolRun again = Install(prefix);
  ASSERT_EQ(again.code, 0) << again.output;
  EXPECT_FALSE(Contains(again.output, "leaving")) << "the first installation's files were taken away first";
  ToolRun uninstall = RunShell("sh '" + prefix + "/Corvane/Movie App/.zaro-install/uninstall.sh' 2>&1");
  EXPECT_EQ(uninstall.code, 0) << uninstall.output;
  EXPECT_TRUE(Exists(other));
  EXPECT_FALSE(Exists(prefix + "/share/mime/packages/com.example.Movie.xml"));
  if (RunShell("command -v update-mime-database").code == 0) {
    EXPECT_FALSE(Exists(prefix + "/share/mime/application/x-zaro-doca.xml")) << "the database no longer names it";
    EXPECT_TRUE(Exists(prefix + "/share/mime/text/x-other.xml"));
  }
}

}  // namespace
}  // namespace zpk
