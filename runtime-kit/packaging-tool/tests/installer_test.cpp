// The native installer run as an author's user would run it: it checks the package before
// it writes anything, trusts only its own installation record, removes only what it
// installed, takes an install stopped half-way back or finishes it on the next run, and
// registers the application's file types with the desktop.
#include <sys/stat.h>
#include <zip.h>

#include <chrono>
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
  void SetUp() override { WriteTestKeystore(dir_ / "k.p12", "pw", "Installer Test", 1024); }
  // Builds an installer whose application installs into `folder` under the prefix, with
  // `extra` at the end of its descriptor; it holds the movie, icons/ and assets/.
  void Build(const std::string& folder, const std::string& id = "com.example.Movie", const std::string& output = "",
             const std::string& extra = "") {
    std::string movie = dir_ / "movie";
    std::string descriptor = MakeDescriptor("", "", "<installFolder>" + folder + "</installFolder>" + extra);
    descriptor.replace(descriptor.find("com.example.Movie"), 17, id);
    MakeMovieFolder(movie, descriptor);
    WriteFile(movie + "/assets/a.txt", "asset");
    ToolRun run = RunTool({"-package", "-storetype", "PKCS12", "-keystore", dir_ / "k.p12", "-storepass", "pw",
                           "-target", "native", "-tsa", "none", output.empty() ? installer() : output,
                           movie + "/Movie-app.xml", "-C", movie, "Movie.qmv", "icons", "assets"});
    ASSERT_EQ(run.code, 0) << run.output;
  }
  std::string installer() const { return dir_ / "Movie.exe"; }
  // Runs `exe` (the installer Build made when empty) in the folder `cwd`.
  ToolRun Install(const std::string& prefix, const std::string& cwd = "", const std::string& exe = "") const {
    return RunShell((cwd.empty() ? "" : "cd " + Quote(cwd) + " && ") + "sh " + Quote(exe.empty() ? installer() : exe) +
                    " " + Quote(prefix));
  }
  static ToolRun Uninstall(const std::string& target) {
    return RunShell("sh " + Quote(target + "/.zaro-install/uninstall.sh"));
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
  EXPECT_EQ(ReadFile(installer()).rfind("#!/bin/sh\n", 0), 0u);
  EXPECT_EQ(RunTool({"-verify", installer()}).code, 0);
  const std::string prefix = dir_ / "prefix";
  const std::string target = prefix + "/Corvane/It's Mine";
  ASSERT_EQ(RunShell("mkdir -p " + Quote(prefix)).code, 0);
  ASSERT_EQ(Install(prefix).code, 0);
  EXPECT_EQ(ReadFile(target + "/Movie.qmv"), ReadFile(dir_ / "movie/Movie.qmv"));
  EXPECT_TRUE(Exists(target + "/META-INF/ZARO/application.xml"));
  EXPECT_FALSE(Exists(target + "/mimetype"));
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
  ToolRun uninstall = Uninstall(target);
  EXPECT_EQ(uninstall.code, 0) << uninstall.output;
  EXPECT_TRUE(Contains(uninstall.output, "not removed, outside the installation: ../keep.txt")) << uninstall.output;
  EXPECT_EQ(ReadFile(dir_ / "keep.txt"), "keep");
  EXPECT_EQ(ReadFile(prefix + "/sibling.txt"), "keep too");
  EXPECT_FALSE(Exists(prefix + "/Corvane"));
  EXPECT_TRUE(Exists(prefix));

  // The prefix folders the installation made go with it; the ones that were there stay.
  ASSERT_EQ(Install(dir_ / "p/opt/apps").code, 0);
  ASSERT_EQ(Uninstall(dir_ / "p/opt/apps/Corvane/It's Mine").code, 0);
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
  ASSERT_EQ(Uninstall(target).code, 0);
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

// Stopped at several points of a large install: by a stop signal it takes itself back;
// killed outright, running it again finishes, and its uninstaller then leaves the prefix as
// it was. Nothing outside the prefix changes either way.
TEST_F(Installer, AnInstallStoppedAnywhereIsTakenBackOrFinishedByARerun) {
  const std::string icons = "<image16x16>icons/i16.png</image16x16><image32x32>icons/i32.png</image32x32>";
  WriteFile(dir_ / "movie/assets/data.bin", MakeBytes(size_t{96} << 20, false, 3));
  Build("Corvane/Big", "com.example.Movie", "", "<fileTypes><fileType><name>big</name><extension>big</extension>"
        "<contentType>application/x-zaro-big</contentType><icon>" + icons + "</icon></fileType></fileTypes>");
  const std::string prefix = dir_ / "scratch/prefix";
  ASSERT_EQ(RunShell("mkdir -p " + Quote(prefix + "/share") + " " + Quote(dir_ / "tmp")).code, 0);
  WriteFile(dir_ / "scratch/beside.txt", "outside the prefix");
  const std::string before = TreeListing(dir_ / "scratch");
  const std::string install = "TMPDIR=" + Quote(dir_ / "tmp") + " setsid sh " + Quote(installer()) + " " + Quote(prefix);
  const std::string uninstall = "sh " + Quote(prefix + "/Corvane/Big/.zaro-install/uninstall.sh");

  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(RunShell(install).code, 0);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(RunShell(uninstall).code, 0);
  ASSERT_EQ(TreeListing(dir_ / "scratch"), before);

  for (const std::string signal : {"TERM", "KILL"}) {
    for (double at : {0.15, 0.35, 0.55, 0.7, 0.85, 0.95}) {
      SCOPED_TRACE(signal + " at " + std::to_string(at));
      ToolRun stopped = RunShell(install + " >/dev/null 2>&1 & pid=$!; sleep " + std::to_string(at * seconds) +
                                 "; kill -" + signal + " -$pid 2>/dev/null; wait $pid; echo $?");
      if (signal == "TERM") {
        EXPECT_TRUE(stopped.output == "0\n" || stopped.output == "143\n") << stopped.output;
        if (stopped.output != "0\n") {
          EXPECT_EQ(TreeListing(dir_ / "scratch"), before) << "taken back";
        }
        EXPECT_EQ(ListFolder(dir_ / "tmp"), std::vector<std::string>{});
      } else {
        ToolRun again = RunShell(install + " 2>&1");
        EXPECT_EQ(again.code, 0) << again.output;
        RunShell("rm -rf " + Quote(dir_ / "tmp") + " && mkdir " + Quote(dir_ / "tmp"));
      }
      if (Exists(prefix + "/Corvane/Big/.zaro-install/uninstall.sh")) {
        ToolRun removed = RunShell(uninstall + " 2>&1");
        EXPECT_EQ(removed.code, 0) << removed.output;
      }
      EXPECT_EQ(TreeListing(dir_ / "scratch"), before);
    }
  }
}

// Killed while its record was being renamed into place: the record's temporary name is
// left beside the journal, and the next run must take it back with everything else.
TEST_F(Installer, AnInstallKilledWhileWritingItsRecordIsFinishedByARerun) {
  Build("Corvane/Big");
  const std::string prefix = dir_ / "scratch/prefix";
  const std::string standIn = dir_ / "bin";
  ASSERT_EQ(RunShell("mkdir -p " + Quote(prefix) + " " + Quote(standIn)).code, 0);
  WriteFile(standIn + "/mv", "#!/bin/sh\ncase \"$2\" in */.record.zaro-new) kill -KILL 0;; esac\n"
                            "exec /bin/mv \"$@\"\n");
  ASSERT_EQ(RunShell("chmod 755 " + Quote(standIn + "/mv")).code, 0);
  const std::string before = TreeListing(dir_ / "scratch");
  const std::string install = "setsid sh " + Quote(installer()) + " " + Quote(prefix) + " 2>&1";

  EXPECT_NE(RunShell("PATH=" + Quote(standIn) + ":$PATH " + install).code, 0);
  ASSERT_TRUE(Exists(prefix + "/Corvane/Big/.zaro-install/.record.zaro-new")) << TreeListing(dir_ / "scratch");
  const ToolRun again = RunShell(install);
  EXPECT_EQ(again.code, 0) << again.output;
  ASSERT_EQ(Uninstall(prefix + "/Corvane/Big").code, 0);
  EXPECT_EQ(TreeListing(dir_ / "scratch"), before);
}


std::string Types(const std::string& types) { return "<fileTypes>" + types + "</fileTypes>"; }

// An application with two file types, the first with icons, in "Corvane/Movie App".
class InstallerRegistration : public Installer {
 protected:
  void SetUp() override {
    Installer::SetUp();
    Build("Corvane/Movie App", "com.example.Movie", "",
          Types(MakeFileType("docA", "abc", "application/x-zaro-doca",
                             "<image16x16>icons/i16.png</image16x16><image32x32>icons/i32.png</image32x32>", "Doc A") +
                MakeFileType("docB", "xyz", "application/x-zaro-docb")));
  }
};

TEST_F(InstallerRegistration, RegistersTheTypesAndUninstallingTakesExactlyThatAway) {
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
            ReadFile(dir_ / "movie/icons/i16.png"));
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
TEST_F(InstallerRegistration, SharedDatabasesAreRegeneratedWhileAnotherApplicationRemains) {
  const std::string prefix = dir_ / "prefix";
  ASSERT_EQ(RunShell("mkdir -p '" + prefix + "'").code, 0);
  const std::string before = TreeListing(prefix);
  Build("Other", "org.example.Other", dir_ / "Other.exe", Types(MakeFileType("oth", "oth", "text/x-zaro-other")));
  ASSERT_EQ(Install(prefix).code, 0);
  ToolRun other = Install(prefix, "", dir_ / "Other.exe");
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
  ASSERT_EQ(Install(prefix, "", dir_ / "Other.exe").code, 0);
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
TEST_F(InstallerRegistration, APlantedLinkOnAnyPathIsRefusedWithNothingWritten) {
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
TEST_F(InstallerRegistration, UninstallRemovesNothingThroughALink) {
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
