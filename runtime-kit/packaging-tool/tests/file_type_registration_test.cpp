// File types in the descriptor: what the packaging tool generates for them and refuses, and
// their desktop registration by the native installer. The descriptor check's rules for file
// types are tested with it, in the kit's shared code.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

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

TEST(DesktopRegistration, FilesAreWrittenInTheDesktopsOwnFormats) {
  DescriptorInfo info;
  info.id = "com.example.Movie";
  info.filename = "Movie";
  info.name = "Movie \\ Maker";
  info.fileTypes = {{"docA", "abc", "Doc <A>", "application/x-doca", {{"e", 16, "i/a.png"}, {"e", 16, "i/b.png"}}},
                    {"docB", "xyz", "", "text/x-docb", {}},
                    {"docC", "qqq", "", "application/x-doca", {}}};
  DescriptorInfo two = info;
  two.fileTypes.pop_back();
  EXPECT_EQ(MimePackage(two),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
            "  <mime-type type=\"application/x-doca\">\n    <comment>Doc &lt;A&gt;</comment>\n"
            "    <glob pattern=\"*.abc\"/>\n  </mime-type>\n"
            "  <mime-type type=\"text/x-docb\">\n    <comment>docB</comment>\n"
            "    <glob pattern=\"*.xyz\"/>\n  </mime-type>\n"
            "</mime-info>\n");
  // A content type given twice is listed once.
  EXPECT_EQ(DesktopEntry(info),
            "[Desktop Entry]\nType=Application\nName=Movie \\\\ Maker\n"
            "MimeType=application/x-doca;text/x-docb;\nTerminal=false\n");
  EXPECT_EQ(DesktopEntryEscaped(" a\tb\r\nc d"), "\\sa\\tb\\r\\nc d");

  std::vector<std::string> names;
  for (const InstallerEntry& entry : InstallerEntries(info)) names.push_back(entry.name);
  const std::string d = "META-INF/ZARO/desktop/";
  EXPECT_EQ(names, (std::vector<std::string>{d + "install", d + "open", d + "share/mime/packages/com.example.Movie.xml",
                                             d + "share/applications/com.example.Movie.desktop",
                                             d + "share/icons/hicolor/16x16/mimetypes/application-x-doca.png"}));
  EXPECT_EQ(InstallerEntries(info)[0].text, "folder=Movie\napplication=com.example.Movie\n");
  EXPECT_EQ(InstallerEntries(info)[4].copyOf, "i/a.png") << "one icon per size and type, the first given";
  info.fileTypes.clear();
  EXPECT_EQ(InstallerEntries(info).size(), 1u) << "without file types only the installation data";
}

// Each refusal comes before anything is written: no output file appears.
TEST(DesktopRegistration, NativePackagingRefusesWhatCannotBeInstalled) {
  TempFolder keys;
  WriteTestKeystore(keys / "k.p12", "pw", "Refusals", 1024);
  auto package = [&](const TempFolder& folder, const std::string& output, std::vector<std::string> files) {
    std::vector<std::string> args = {"-package", "-keystore", keys / "k.p12", "-storepass", "pw", "-tsa", "none",
                                     "-target", "native", folder / output, folder / "movie/Movie-app.xml",
                                     "-C", folder / "movie"};
    args.insert(args.end(), files.begin(), files.end());
    return RunTool(args);
  };
  // 241 bytes is the longest name the installer writes: the icon name is the type and ".png".
  const std::string fitting = "application/x-" + std::string(223, 'l');
  struct Case {
    std::string descriptor, error;
  };
  const std::string types = "<fileTypes>" + FileType("doc", "abc", "a/b") + "</fileTypes>";
  std::string xml11 = MakeDescriptor("", "", "<fileTypes>" + FileType("doc", "abc", "a/b", "", "A&#x1;B") + "</fileTypes>");
  xml11.replace(xml11.find("1.0"), 3, "1.1");
  std::string lineBreak = MakeDescriptor("", "", types);
  lineBreak.replace(lineBreak.find("<name>Movie</name>"), 18, "<name>Movie&#xA;Exec=/bin/evil</name>");
  const std::vector<Case> cases = {
      {WithTypes(FileType("doc", "abc", fitting + "l")), "error 106: application.fileTypes.fileType[1].contentType"},
      {xml11, "error 105"},
      {lineBreak, "error 107: application.name holds a line break"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    MakeMovieFolder(folder / "movie", c.descriptor);
    ToolRun run = package(folder, "App.exe", {"Movie.qmv"});
    EXPECT_EQ(run.code, 12) << run.output;
    EXPECT_TRUE(Contains(run.output, c.error)) << c.error << "\n" << run.output;
    EXPECT_EQ(ListFolder(folder.path()), std::vector<std::string>{"movie"});
  }
  TempFolder folder;
  MakeMovieFolder(folder / "movie", WithTypes(FileType("doc", "abc", fitting)));
  ToolRun fits = package(folder, "App.exe", {"Movie.qmv"});
  EXPECT_EQ(fits.code, 0) << fits.output;
  WriteFile(folder / "movie/META-INF/ZARO/desktop/install", "folder=/etc\n");
  ToolRun reserved = package(folder, "App2.exe", {"Movie.qmv", "META-INF"});
  EXPECT_EQ(reserved.code, 2) << reserved.output;
  EXPECT_TRUE(Contains(reserved.output, "reserved for the native installer")) << reserved.output;
  EXPECT_FALSE(Exists(folder / "App2.exe"));
}

class InstallerRegistrationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    keys_ = new TempFolder();
    WriteTestKeystore(*keys_ / "k.p12");
  }
  static void TearDownTestSuite() { delete keys_; }

  void SetUp() override {
    movie_ = dir_ / "movie";
    Build(movie_, "com.example.Movie", "Corvane/Movie App",
          FileType("docA", "abc", "application/x-zaro-doca",
                   "<image16x16>icons/i16.png</image16x16><image32x32>icons/i32.png</image32x32>", "Doc A") +
              FileType("docB", "xyz", "application/x-zaro-docb"),
          dir_ / "Movie.exe");
  }
  void Build(const std::string& movie, const std::string& id, const std::string& folder, const std::string& types,
             const std::string& output) {
    std::string descriptor = MakeDescriptor("", "", "<installFolder>" + folder + "</installFolder><fileTypes>" +
                                                        types + "</fileTypes>");
    descriptor.replace(descriptor.find("com.example.Movie"), 17, id);
    MakeMovieFolder(movie, descriptor);
    ToolRun run = RunTool({"-package", "-keystore", *keys_ / "k.p12", "-storepass", "secret", "-tsa", "none",
                           "-target", "native", output, movie + "/Movie-app.xml", "-C", movie, "Movie.qmv", "icons"});
    ASSERT_EQ(run.code, 0) << run.output;
  }
  ToolRun Install(const std::string& prefix, const std::string& installer = "") {
    return RunShell("mkdir -p '" + prefix + "' && sh '" + (installer.empty() ? dir_ / "Movie.exe" : installer) +
                    "' '" + prefix + "' 2>&1");
  }
  ToolRun Uninstall(const std::string& target) { return RunShell("sh '" + target + "/.zaro-install/uninstall.sh' 2>&1"); }

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
  const std::string before = TreeListing(prefix);
  ToolRun install = Install(prefix);
  ASSERT_EQ(install.code, 0) << install.output;

  const std::string share = prefix + "/share";
  const std::string mime = ReadFile(share + "/mime/packages/com.example.Movie.xml");
  EXPECT_TRUE(Contains(mime, "<mime-type type=\"application/x-zaro-docb\">")) << mime;
  const std::string entry = ReadFile(share + "/applications/com.example.Movie.desktop");
  EXPECT_TRUE(Contains(entry, "MimeType=application/x-zaro-doca;application/x-zaro-docb;\n")) << entry;
  const std::string launcher = prefix + "/Corvane/Movie App/META-INF/ZARO/desktop/open";
  EXPECT_TRUE(Contains(entry, "Exec=\"" + launcher + "\" %f\n")) << entry;
  EXPECT_EQ(ReadFile(share + "/icons/hicolor/16x16/mimetypes/application-x-zaro-doca.png"),
            ReadFile(movie_ + "/icons/i16.png"));
  EXPECT_EQ(ReadFile(foreign), "someone else's");
  EXPECT_TRUE(Contains(install.output, "leaving " + foreign)) << install.output;
  ToolRun open = RunShell("PATH=/usr/bin:/bin '" + launcher + "' x.abc 2>&1");
  EXPECT_EQ(open.code, 1);
  EXPECT_TRUE(Contains(open.output, "needs the ZARO runtime")) << open.output;

  ToolRun valid = RunShell("desktop-file-validate '" + share + "/applications/com.example.Movie.desktop' 2>&1");
  EXPECT_EQ(valid.code, 0) << valid.output;
  EXPECT_FALSE(Contains(valid.output, "error")) << valid.output;
  EXPECT_TRUE(Exists(share + "/mime/application/x-zaro-doca.xml")) << "the installer updated the database";
  EXPECT_TRUE(Contains(ReadFile(share + "/mime/globs2"), "application/x-zaro-docb:*.xyz"));

  ToolRun uninstall = Uninstall(prefix + "/Corvane/Movie App");
  EXPECT_EQ(uninstall.code, 0) << uninstall.output;
  EXPECT_EQ(TreeListing(prefix), before);
}

// Two applications in one prefix, the first making share/mime; a user's own file there.
TEST_F(InstallerRegistrationTest, SharedDatabasesAreRegeneratedWhileAnotherApplicationRemains) {
  const std::string prefix = dir_ / "prefix";
  ASSERT_EQ(RunShell("mkdir -p '" + prefix + "'").code, 0);
  const std::string before = TreeListing(prefix);
  Build(dir_ / "other", "org.example.Other", "Other", FileType("oth", "oth", "text/x-zaro-other"), dir_ / "Other.exe");
  ASSERT_EQ(Install(prefix).code, 0);
  ToolRun other = Install(prefix, dir_ / "Other.exe");
  ASSERT_EQ(other.code, 0) << other.output;
  ToolRun again = Install(prefix);
  ASSERT_EQ(again.code, 0) << again.output;
  EXPECT_FALSE(Contains(again.output, "leaving")) << "the first installation's files were taken away first";

  // The one that made share/mime is reinstalled and stays last: the prefix ends as it was.
  ASSERT_EQ(Uninstall(prefix + "/Other").code, 0);
  const std::string share = prefix + "/share";
  EXPECT_FALSE(Contains(ReadFile(share + "/mime/globs2"), "text/x-zaro-other")) << "the database no longer names it";
  EXPECT_TRUE(Exists(share + "/mime/application/x-zaro-doca.xml"));
  ASSERT_EQ(Uninstall(prefix + "/Corvane/Movie App").code, 0);
  EXPECT_EQ(TreeListing(prefix), before);

  // The one that made share/mime goes first: the other's types stay registered.
  ASSERT_EQ(Install(prefix).code, 0);
  ASSERT_EQ(Install(prefix, dir_ / "Other.exe").code, 0);
  ASSERT_EQ(Uninstall(prefix + "/Corvane/Movie App").code, 0);
  EXPECT_FALSE(Exists(share + "/mime/packages/com.example.Movie.xml"));
  EXPECT_FALSE(Exists(share + "/mime/application/x-zaro-doca.xml"));
  EXPECT_TRUE(Exists(share + "/mime/text/x-zaro-other.xml"));
  EXPECT_TRUE(Contains(ReadFile(share + "/mime/globs2"), "text/x-zaro-other:*.oth"));
  EXPECT_TRUE(Exists(share + "/applications/org.example.Other.desktop"));
  ASSERT_EQ(Uninstall(prefix + "/Other").code, 0);
  EXPECT_FALSE(Exists(share + "/mime/globs2")) << "no package left: the generated files go";
  EXPECT_EQ(RunShell("find '" + share + "' ! -type d").output, "") << "only empty folders are left";
  ASSERT_EQ(RunShell("rm -r '" + share + "'").code, 0);

  // What a user keeps in a database folder the installation made survives it, and so does the folder.
  ASSERT_EQ(Install(prefix).code, 0);
  WriteFile(share + "/mime/my-notes.txt", "mine");
  ASSERT_EQ(Uninstall(prefix + "/Corvane/Movie App").code, 0);
  EXPECT_EQ(ReadFile(share + "/mime/my-notes.txt"), "mine");
  EXPECT_FALSE(Exists(share + "/mime/globs2")) << "no package left: the generated files go";
  EXPECT_FALSE(Exists(share + "/applications"));
}

// A link (or a file) planted at any level the installation writes to: the install is
// refused and nothing anywhere changes.
TEST_F(InstallerRegistrationTest, APlantedLinkOnAnyPathIsRefusedWithNothingWritten) {
  const std::vector<std::pair<std::string, bool>> plants = {
      {"share", true},
      {"share/mime/packages", true},
      {"share/applications", true},
      {"share/icons/hicolor/16x16/mimetypes", true},
      {"Corvane", true},
      {"share/applications/com.example.Movie.desktop", false},  // dangling
      {"share/mime", false},
  };
  for (const auto& [where, toFolder] : plants) {
    SCOPED_TRACE(where);
    TempFolder scratch;
    const std::string prefix = scratch / "prefix";
    ASSERT_EQ(RunShell("mkdir -p '" + scratch / "outside" + "' '" + prefix + "/" + where + "' && rmdir '" + prefix +
                       "/" + where + "'").code, 0);
    if (where == "share/mime") WriteFile(prefix + "/" + where, "not a folder");
    else ASSERT_EQ(symlink((toFolder ? scratch / "outside" : scratch / "outside/gone").c_str(),
                           (prefix + "/" + where).c_str()), 0);
    const std::string before = TreeListing(scratch.path());
    ToolRun run = Install(prefix);
    EXPECT_EQ(run.code, 7) << run.output;
    EXPECT_TRUE(Contains(run.output, "is in the way; nothing was installed")) << run.output;
    EXPECT_EQ(TreeListing(scratch.path()), before);
  }
}

// A recorded file turned into a link, or reached through a folder turned into one, is not
// removed, and what the link leads to survives.
TEST_F(InstallerRegistrationTest, UninstallRemovesNothingThroughALink) {
  const std::string prefix = dir_ / "prefix";
  ASSERT_EQ(Install(prefix).code, 0);
  const std::string icon = prefix + "/share/icons/hicolor/16x16/mimetypes/application-x-zaro-doca.png";
  const std::string packages = prefix + "/share/mime/packages";
  ASSERT_EQ(RunShell("mkdir '" + dir_ / "outside" + "' && cp '" + icon + "' '" + dir_ / "outside" + "/' && rm '" +
                     icon + "' && ln -s '" + dir_ / "outside/application-x-zaro-doca.png" + "' '" + icon +
                     "' && cp -R '" + packages + "' '" + dir_ / "outside/packages" + "' && rm -r '" + packages +
                     "' && ln -s '" + dir_ / "outside/packages" + "' '" + packages + "'").code, 0);
  const std::string outside = TreeListing(dir_ / "outside");
  ToolRun uninstall = Uninstall(prefix + "/Corvane/Movie App");
  EXPECT_EQ(uninstall.code, 0) << uninstall.output;
  EXPECT_TRUE(Contains(uninstall.output, "not removed, a link is on its path: share/icons/hicolor/16x16")) << uninstall.output;
  EXPECT_TRUE(Contains(uninstall.output, "not removed, a link is on its path: share/mime/packages/")) << uninstall.output;
  EXPECT_EQ(TreeListing(dir_ / "outside"), outside);
  struct stat st {};
  EXPECT_EQ(lstat(icon.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link itself stays too";
}

}  // namespace
}  // namespace zpk
