// File types in the descriptor: the desktop registration files the packaging tool generates
// for the native installer, and what it refuses to package for it. The descriptor check's
// rules for file types are tested with it, in the kit's shared code; the installer's
// registration with the installer.
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
  const std::string types = "<fileTypes>" + MakeFileType("doc", "abc", "a/b") + "</fileTypes>";
  std::string xml11 = MakeDescriptor("", "", "<fileTypes>" + MakeFileType("doc", "abc", "a/b", "", "A&#x1;B") + "</fileTypes>");
  xml11.replace(xml11.find("1.0"), 3, "1.1");
  std::string lineBreak = MakeDescriptor("", "", types);
  lineBreak.replace(lineBreak.find("<name>Movie</name>"), 18, "<name>Movie&#xA;Exec=/bin/evil</name>");
  const std::vector<Case> cases = {
      {WithTypes(MakeFileType("doc", "abc", fitting + "l")), "error 106: application.fileTypes.fileType[1].contentType"},
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
  MakeMovieFolder(folder / "movie", WithTypes(MakeFileType("doc", "abc", fitting)));
  ToolRun fits = package(folder, "App.exe", {"Movie.qmv"});
  EXPECT_EQ(fits.code, 0) << fits.output;
  WriteFile(folder / "movie/META-INF/ZARO/desktop/install", "folder=/etc\n");
  ToolRun reserved = package(folder, "App2.exe", {"Movie.qmv", "META-INF"});
  EXPECT_EQ(reserved.code, 2) << reserved.output;
  EXPECT_TRUE(Contains(reserved.output, "reserved for the native installer")) << reserved.output;
  EXPECT_FALSE(Exists(folder / "App2.exe"));
}

}  // namespace
}  // namespace zpk
