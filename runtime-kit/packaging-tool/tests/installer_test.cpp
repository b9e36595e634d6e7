// The native installer run as an author's user would run it: it checks the package before
// it writes anything, trusts only its own installation record and removes only what it
// installed.
#include <sys/stat.h>
#include <zip.h>

#include <functional>

#include <gtest/gtest.h>

#include "installer_writer.h"
#include "test_support.h"

namespace zpk {
namespace {

using namespace zpk::testing;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

class Installer : public ::testing::Test {
 protected:
  void SetUp() override {
    PkeyPtr key = MakeRsaKey(1024);
    X509Ptr cert = MakeCertificate(key.get(), "Installer Test", -1, 30);
    WriteKeystore(dir_ / "k.p12", "pw", key.get(), cert.get());
  }
  // Builds an installer whose application installs into `folder` under the prefix.
  void Build(const std::string& folder, const std::string& id = "com.example.Movie", const std::string& output = "") {
    std::string movie = dir_ / "movie";
    std::string descriptor = MakeDescriptor("", "", "<installFolder>" + folder + "</installFolder>");
    descriptor.replace(descriptor.find("com.example.Movie"), 17, id);
    MakeMovieFolder(movie, descriptor);
    WriteFile(movie + "/assets/a.txt", "asset");
    ToolRun run = RunTool({"-package", "-storetype", "PKCS12", "-keystore", dir_ / "k.p12", "-storepass", "pw",
                           "-target", "native", "-tsa", "none", output.empty() ? installer() : output,
                           movie + "/Movie-app.xml", "-C", movie, "Movie.qmv", "assets"});
    ASSERT_EQ(run.code, 0) << run.output;
  }
  std::string installer() const { return dir_ / "Movie.exe"; }
  ToolRun Install(const std::string& prefix, const std::string& cwd = "") const {
    return RunShell((cwd.empty() ? "" : "cd " + Quote(cwd) + " && ") + "sh " + Quote(installer()) + " " +
                    Quote(prefix));
  }
  // Changes the package inside the installer with libzip; the stub stays as it is.
  void EditPayload(const std::function<void(zip_t*)>& change) const {
    unsigned long long offset = 0;
    ASSERT_TRUE(FindPackageOffset(installer(), offset));
    std::string bytes = ReadFile(installer());
    WriteFile(dir_ / "payload.zip", bytes.substr(offset));
    int error = 0;
    zip_t* za = zip_open((dir_ / "payload.zip").c_str(), 0, &error);
    ASSERT_NE(za, nullptr);
    change(za);
    ASSERT_EQ(zip_close(za), 0);
    WriteFile(installer(), bytes.substr(0, offset) + ReadFile(dir_ / "payload.zip"));
  }
  TempFolder dir_;
};

TEST_F(Installer, RefusesAPayloadThatDoesNotVerifyBeforeWritingAnything) {
  Build("Movie App");
  struct Case {
    const char* what;
    std::function<void(zip_t*)> change;
  };
  static const char kChanged[] = "QMV\x01 changed after signing";
  std::vector<Case> cases = {
      {"one file changed",
       [](zip_t* z) {
         zip_file_replace(z, zip_name_locate(z, "Movie.qmv", 0), zip_source_buffer(z, kChanged, sizeof kChanged, 0), 0);
       }},
      {"one file added", [](zip_t* z) { zip_file_add(z, "extra.txt", zip_source_buffer(z, "x", 1, 0), 0); }},
      {"an entry turned into a link",
       [](zip_t* z) {
         zip_file_set_external_attributes(z, zip_name_locate(z, "assets/a.txt", 0), 0, ZIP_OPSYS_UNIX,
                                          static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
       }},
  };
  const std::string original = ReadFile(installer());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(installer(), original);
    EditPayload(c.change);
    ToolRun run = Install(dir_ / "prefix");
    EXPECT_EQ(run.code, 6) << run.output;
    EXPECT_TRUE(Contains(run.output, "the package does not verify, nothing was installed")) << run.output;
    EXPECT_FALSE(Exists(dir_ / "prefix"));
    EXPECT_EQ(RunTool({"-verify", installer()}).code, 1);
  }
  // The installer's own check of entry names, before the signature is even looked at.
  WriteFile(installer(), original);
  EditPayload([](zip_t* z) { zip_file_add(z, "../x", zip_source_buffer(z, "x", 1, 0), 0); });
  const std::string before = TreeListing(dir_.path());
  ToolRun unsafe = Install(dir_ / "prefix");
  EXPECT_EQ(unsafe.code, 4) << unsafe.output;
  EXPECT_TRUE(Contains(unsafe.output, "refusing an unsafe entry: ../x")) << unsafe.output;
  EXPECT_EQ(TreeListing(dir_.path()), before);

  WriteFile(installer(), original);
  ToolRun good = Install(dir_ / "prefix");
  ASSERT_EQ(good.code, 0) << good.output;
  EXPECT_TRUE(Contains(good.output, "signer: CN=Installer Test")) << good.output;
}

TEST_F(Installer, NeverRunsAScriptFoundInTheTarget) {
  Build("Movie App");
  const std::string target = dir_ / "prefix/Movie App";
  WriteFile(target + "/.zaro-install/uninstall.sh", "touch " + Quote(dir_ / "planted-ran") + "\n");
  WriteFile(target + "/.zaro-install/files", "../../important.txt\n");
  WriteFile(dir_ / "important.txt", "keep");
  ToolRun run = Install(dir_ / "prefix");
  EXPECT_EQ(run.code, 5) << run.output;
  EXPECT_TRUE(Contains(run.output, "did not make")) << run.output;
  EXPECT_FALSE(Exists(dir_ / "planted-ran"));
  EXPECT_EQ(ReadFile(dir_ / "important.txt"), "keep");
  EXPECT_FALSE(Exists(target + "/Movie.qmv"));
}

TEST_F(Installer, TheStubIsOneTextForEveryApplicationAndChecksThePrefix) {
  Build("Corvane/First", "com.example.First", dir_ / "First.exe");
  Build("Second $(touch x)", "org.example.Second");
  unsigned long long first = 0, second = 0;
  ASSERT_TRUE(FindPackageOffset(dir_ / "First.exe", first));
  ASSERT_TRUE(FindPackageOffset(installer(), second));
  ASSERT_EQ(first, second);
  EXPECT_EQ(ReadFile(dir_ / "First.exe").substr(0, first), ReadFile(installer()).substr(0, second));
  EXPECT_FALSE(Contains(ReadFile(installer()).substr(0, second), "Second"));

  for (const std::string prefix : {"p\nExec=x", "p\x01q", "p\r"}) {
    const std::string before = TreeListing(dir_.path());
    ToolRun run = RunShell("cd " + Quote(dir_.path()) + " && sh " + Quote(installer()) + " \"$(printf '" + prefix + "')\"");
    EXPECT_EQ(run.code, 2) << run.output;
    EXPECT_TRUE(Contains(run.output, "the prefix holds a line break or a control character")) << run.output;
    EXPECT_EQ(TreeListing(dir_.path()), before);
  }
  ToolRun installed = Install(dir_ / "prefix");
  ASSERT_EQ(installed.code, 0) << installed.output;
  EXPECT_EQ(ReadFile(dir_ / "prefix/Second $(touch x)/assets/a.txt"), "asset");
}

// Quotes in the folder name, prefixes that look like options, a second install over the
// first, and an uninstall after its file list was edited to reach outside.
TEST_F(Installer, InstallsUnderAnyPrefixAndUninstallsOnlyItsOwnFiles) {
  Build("Corvane/It's Mine");
  for (const std::string prefix : {"-p", "-"}) {
    SCOPED_TRACE(prefix);
    ToolRun run = Install(prefix, dir_.path());
    ASSERT_EQ(run.code, 0) << run.output;
    EXPECT_EQ(ReadFile(dir_ / (prefix + "/Corvane/It's Mine/assets/a.txt")), "asset");
  }
  const std::string prefix = dir_ / "prefix";
  const std::string target = prefix + "/Corvane/It's Mine";
  ASSERT_EQ(RunShell("mkdir -p " + Quote(prefix)).code, 0);
  ASSERT_EQ(Install(prefix).code, 0);
  WriteFile(target + "/assets/a.txt", "changed by the user");
  ToolRun again = Install(prefix);
  ASSERT_EQ(again.code, 0) << again.output;
  EXPECT_EQ(ReadFile(target + "/assets/a.txt"), "asset");

  // The list edited to name a file outside, with a digest to match: the uninstaller still
  // removes nothing outside the prefix.
  WriteFile(dir_ / "keep.txt", "keep");
  WriteFile(prefix + "/sibling.txt", "keep too");
  std::string list = ReadFile(target + "/.zaro-install/files");
  list += "- ../keep.txt\n- Corvane/../../keep.txt\n- " + std::string(dir_ / "keep.txt") + "\n- sibling.txt\n";
  WriteFile(target + "/.zaro-install/files", list);
  ToolRun digest = RunShell("cd " + Quote(target + "/.zaro-install") +
                            " && d=$(openssl dgst -sha256 -r < files | cut -d ' ' -f 1)"
                            " && sed -i \"3s/.*/files=$d/\" record");
  ASSERT_EQ(digest.code, 0) << digest.output;
  ToolRun uninstall = RunShell("sh " + Quote(target + "/.zaro-install/uninstall.sh"));
  EXPECT_EQ(uninstall.code, 0) << uninstall.output;
  EXPECT_TRUE(Contains(uninstall.output, "not removed, outside the installation: ../keep.txt")) << uninstall.output;
  EXPECT_EQ(ReadFile(dir_ / "keep.txt"), "keep");
  EXPECT_EQ(ReadFile(prefix + "/sibling.txt"), "keep too");
  EXPECT_FALSE(Exists(prefix + "/Corvane"));

  // The prefix folders the installation made go with it; the ones that were there stay.
  ASSERT_EQ(Install(dir_ / "p/opt/apps").code, 0);
  ASSERT_EQ(RunShell("sh " + Quote(dir_ / "p/opt/apps/Corvane/It's Mine/.zaro-install/uninstall.sh")).code, 0);
  EXPECT_FALSE(Exists(dir_ / "p"));
}

// After an install, the installation's folders replaced by links leading out of the prefix,
// or a record forged from scratch: nothing outside the installation is written or removed.
TEST_F(Installer, AReinstallTrustsNoLinkAndNoForeignFile) {
  Build("Corvane/App");
  const std::string prefix = dir_ / "prefix";
  const std::string target = prefix + "/Corvane/App";
  ASSERT_EQ(Install(prefix).code, 0);
  for (const std::string inside : {"META-INF", ".zaro-install"}) {
    SCOPED_TRACE(inside);
    ASSERT_EQ(RunShell("mv " + Quote(target + "/" + inside) + " " + Quote(dir_ / "outside") + " && ln -s " +
                       Quote(dir_ / "outside") + " " + Quote(target + "/" + inside)).code, 0);
    const std::string before = TreeListing(dir_.path());
    ToolRun run = Install(prefix);
    EXPECT_EQ(run.code, 5) << run.output;
    EXPECT_EQ(TreeListing(dir_.path()), before);
    ASSERT_EQ(RunShell("rm " + Quote(target + "/" + inside) + " && mv " + Quote(dir_ / "outside") + " " +
                       Quote(target + "/" + inside)).code, 0);
  }

  // A record changed in any one part is not this installer's.
  const std::vector<std::pair<std::string, std::string>> changes = {
      {"/.zaro-install/files", "- Corvane/App/extra\n"},
      {"/.zaro-install/created-folders", "share\n"},
      {"/.zaro-install/record", "application=org.example.Other\n"},
      {"/META-INF/ZARO/desktop/install", "folder=Corvane/Elsewhere\n"},
  };
  for (const auto& [file, line] : changes) {
    SCOPED_TRACE(file);
    const std::string original = ReadFile(target + file);
    std::string changed = original;
    if (file == "/.zaro-install/record") changed.replace(changed.find("application="), 30, line);
    else if (file == "/META-INF/ZARO/desktop/install") changed = line + changed;
    else changed += line;
    WriteFile(target + file, changed);
    ToolRun run = Install(prefix);
    EXPECT_EQ(run.code, 5) << run.output;
    EXPECT_TRUE(Contains(run.output, "holds an installation that this installer did not make")) << run.output;
    WriteFile(target + file, original);
  }

  // A record made from scratch, digests and all, for the user's own files: outside the
  // installation folder only this application's registration names go, and only while
  // they hold what was recorded.
  ASSERT_EQ(RunShell("sh " + Quote(target + "/.zaro-install/uninstall.sh")).code, 0);
  WriteFile(prefix + "/share/applications/com.example.Movie.desktop", "the user's");
  WriteFile(prefix + "/share/applications/mine.desktop", "mine");
  WriteFile(prefix + "/Corvane/Other/data", "mine too");
  WriteFile(target + "/META-INF/ZARO/desktop/install", "folder=Corvane/App\napplication=com.example.Movie\n");
  ASSERT_EQ(RunShell("cd " + Quote(prefix) + " && mkdir -p Corvane/App/.zaro-install && { printf -- '- ../outside.txt\\n- Corvane/Other/data\\n"
                     "b0e3 share/applications/com.example.Movie.desktop\\n'; openssl dgst -sha256 -r"
                     " < share/applications/mine.desktop | sed 's| .*| share/applications/mine.desktop|'; } > "
                     "'Corvane/App/.zaro-install/files'").code, 0);
  WriteFile(target + "/.zaro-install/created-folders", "share/applications\nshare\nCorvane/Other\n");
  ASSERT_EQ(RunShell("cd " + Quote(target + "/.zaro-install") +
                     " && printf 'zaro-install-record 2\\napplication=com.example.Movie\\nfiles=%s\\nfolders=%s\\n'"
                     " $(openssl dgst -sha256 -r < files | cut -d ' ' -f 1)"
                     " $(openssl dgst -sha256 -r < created-folders | cut -d ' ' -f 1) > record").code, 0);
  const std::string before = TreeListing(prefix + "/share") + TreeListing(prefix + "/Corvane/Other");
  ToolRun forged = Install(prefix);
  EXPECT_EQ(forged.code, 5) << "the forged installation data stays in the way\n" << forged.output;
  EXPECT_EQ(TreeListing(prefix + "/share") + TreeListing(prefix + "/Corvane/Other"), before);
}

// A staging folder left by an install that did not finish is taken back only when its
// journal is this application's, and then only for what that journal may name.
TEST_F(Installer, AJournalIsTakenBackOnlyForThisApplication) {
  Build("Corvane/App");
  const std::string prefix = dir_ / "prefix";
  const std::string mine = prefix + "/share/applications/mine.desktop";
  WriteFile(mine, "mine");
  const std::string journal = prefix + "/.zaro-staging-com.example.Movie/.zaro-install/journal";
  const std::string lines = "prefix-folders=0\nfile share/applications/mine.desktop\nfolder share/applications\n";
  WriteFile(journal, "zaro-install-journal 2\napplication=org.example.Other\n" + lines);
  ToolRun foreign = Install(prefix);
  EXPECT_EQ(foreign.code, 5) << foreign.output;
  EXPECT_TRUE(Contains(foreign.output, "is in the way")) << foreign.output;
  EXPECT_TRUE(Exists(journal));

  WriteFile(journal, "zaro-install-journal 2\napplication=com.example.Movie\n" + lines);
  ToolRun own = Install(prefix);
  EXPECT_EQ(own.code, 0) << own.output;
  EXPECT_TRUE(Contains(own.output, "taking back an installation that did not finish")) << own.output;
  EXPECT_EQ(ReadFile(mine), "mine");
  EXPECT_FALSE(Exists(prefix + "/.zaro-staging-com.example.Movie"));
}

}  // namespace
}  // namespace zpk
