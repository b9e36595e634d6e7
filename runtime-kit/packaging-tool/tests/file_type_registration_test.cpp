// The desktop registration files generated for the native installer, and what it refuses to package.

#include "desktop_registration.h"
#include "test_support.h"

namespace zpk {
namespace {

using namespace zpk::testing;

std::string WithTypes(const std::string& types) {
  return MakeDescriptor("", "", "<fileTypes>" + types + "</fileTypes>");
}

TEST(DesktopRegistration, FilesAreWrittenInTheDesktopsOwnFormats) {
  DescriptorInfo info;
  info.id = "com.example.Movie";
  info.filename = "Movie";
  info.name = "Movie \\ Maker";
  info.fileTypes = {{"docA", "abc", "Doc <A>", "application/x-doca", {{"e", 16, "i/a.png"}, {"e", 16, "i/b.png"}}},
                    {"docB", "xyz", "", "text/x-docb", {}}, {"docC", "qqq", "", "application/x-doca", {}}};
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

using NativePackaging = ToolTest;

TEST_F(NativePackaging, RefusesWhatCannotBeInstalled) {
  // 241 bytes is the longest name the installer writes: the icon name is the type and ".png".
  const std::string fitting = "application/x-" + std::string(223, 'l');
  const std::string xml11 = Replaced(WithTypes(MakeFileType("doc", "abc", "a/b", "", "A&#x1;B")), "1.0", "1.1");
  const std::string lineBreak = Replaced(WithTypes(MakeFileType("doc", "abc", "a/b")), "<name>Movie</name>",
                                         "<name>Movie&#xA;Exec=/bin/evil</name>");
  for (const auto& [descriptor, error] : {std::pair{WithTypes(MakeFileType("doc", "abc", fitting + "l")),
                                                    "error 106: application.fileTypes.fileType[1].contentType"},
                                          {xml11, "error 105"},
                                          {lineBreak, "error 107: application.name holds a line break"}}) {
    SCOPED_TRACE(error);
    MakeMovieFolder(movie(), descriptor);
    EXPECT_TRUE(Ran(RunTool(Package(dir_ / "App.exe", {"Movie.qmv"}, "none", {"-target", "native"})), 12, error));
    EXPECT_EQ(ListFolder(dir_.path()), std::vector<std::string>{"movie"}) << "refused before anything is written";
  }
  MakeMovieFolder(movie(), WithTypes(MakeFileType("doc", "abc", fitting)));
  EXPECT_TRUE(Ran(RunTool(Package(dir_ / "App.exe", {"Movie.qmv"}, "none", {"-target", "native"})), 0));
  WriteFile(movie() + "/META-INF/ZARO/desktop/install", "folder=/etc\n");
  EXPECT_TRUE(Ran(RunTool(Package(dir_ / "App2.exe", {"Movie.qmv", "META-INF"}, "none", {"-target", "native"})), 2,
                  "reserved for the native installer"));
  EXPECT_FALSE(Exists(dir_ / "App2.exe"));
}

}  // namespace
}  // namespace zpk
