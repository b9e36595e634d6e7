// The native installer run as an author's user would run it, on a prefix in a temporary folder.
#include <sys/stat.h>
#include <zip.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "installer_writer.h"
#include "test_support.h"

namespace zpk {
namespace {

using namespace zpk::testing;


class Installer : public ToolTest {
 protected:
  // An installer of the movie, icons/ and assets/ into `folder`; `extra` ends the descriptor.
  void Build(const std::string& folder, const std::string& id = "com.example.Movie", const std::string& output = "",
             const std::string& extra = "") {
    MakeMovieFolder(movie(), Replaced(MakeDescriptor("", "", "<installFolder>" + folder + "</installFolder>" + extra),
                                      "com.example.Movie", id));
    WriteFile(movie() + "/assets/a.txt", "asset");
    ASSERT_TRUE(Ran(RunTool(Package(output.empty() ? installer() : output, {"Movie.qmv", "icons", "assets"}, "none",
                                    {"-target", "native"})), 0));
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
  // Changes the package inside the installer; the stub stays as it is.
  void EditPayload(const std::function<void(zip_t*)>& change) const {
    unsigned long long offset = 0;
    ASSERT_TRUE(FindPackageOffset(installer(), offset));
    std::string bytes = ReadFile(installer());
    WriteFile(dir_ / "payload.zip", bytes.substr(offset));
    EditZip(dir_ / "payload.zip", change);
    WriteFile(installer(), bytes.substr(0, offset) + ReadFile(dir_ / "payload.zip"));
  }
};

TEST_F(Installer, RefusesAPayloadThatDoesNotVerifyBeforeWritingAnything) {
  Build("Movie App");
  const char* kNotVerified = "the package does not verify, nothing was installed";
  const std::vector<std::tuple<const char*, int, const char*, std::function<void(zip_t*)>>> cases = {
      {"one file changed", 6, kNotVerified, AddingEntry("Movie.qmv", "QMV\x01 changed", ZIP_FL_OVERWRITE)},
      {"one file added", 6, kNotVerified, AddingEntry("x", "x")},
      {"an entry turned into a link", 6, kNotVerified,
       [](zip_t* z) { SetEntryMode(z, "assets/a.txt", S_IFLNK | 0777); }},
      // The installer's own check of entry names, before the signature is even looked at.
      {"an unsafe name", 4, "refusing an unsafe entry: ../x", AddingEntry("../x", "x")},
  };
  const std::string original = ReadFile(installer());
  for (const auto& [what, code, message, change] : cases) {
    SCOPED_TRACE(what);
    WriteFile(installer(), original);
    EditPayload(change);
    const std::string before = TreeListing(dir_.path());
    EXPECT_TRUE(Ran(Install(dir_ / "prefix"), code, message));
    EXPECT_EQ(TreeListing(dir_.path()), before);
    EXPECT_EQ(RunTool({"-verify", installer()}).code, 1);
  }
  WriteFile(installer(), original);
  EXPECT_TRUE(Ran(Install(dir_ / "prefix"), 0, "signer: CN=Test Author"));
}

TEST_F(Installer, TheStubIsOneTextForEveryApplicationAndChecksThePrefix) {
  Build("Corvane/First", "com.example.First", dir_ / "First.exe");
  Build("Second $(touch x)", "org.example.Second");
  unsigned long long first = 0, second = 0;
  ASSERT_TRUE(FindPackageOffset(dir_ / "First.exe", first) && FindPackageOffset(installer(), second));
  ASSERT_EQ(first, second);
  EXPECT_EQ(ReadFile(dir_ / "First.exe").substr(0, first), ReadFile(installer()).substr(0, second));
  EXPECT_FALSE(Contains(ReadFile(installer()).substr(0, second), "Second"));
  for (const std::string prefix : {"p\nExec=x", "p\x01q", "p\r"}) {
    const std::string before = TreeListing(dir_.path());
    EXPECT_TRUE(Ran(RunShell("cd " + Quote(dir_.path()) + " && sh " + Quote(installer()) + " \"$(printf '" + prefix +
                             "')\""), 2, "the prefix holds a line break or a control character"));
    EXPECT_EQ(TreeListing(dir_.path()), before);
  }
  ASSERT_TRUE(Ran(Install(dir_ / "prefix"), 0));
  EXPECT_EQ(ReadFile(dir_ / "prefix/Second $(touch x)/assets/a.txt"), "asset");
}

TEST_F(Installer, InstallsUnderAnyPrefixAndUninstallsOnlyItsOwnFiles) {
  Build("Corvane/It's Mine");
  for (const std::string prefix : {"-p", "-"}) {
    SCOPED_TRACE(prefix);
    ASSERT_TRUE(Ran(Install(prefix, dir_.path()), 0));
    EXPECT_EQ(ReadFile(dir_ / (prefix + "/Corvane/It's Mine/assets/a.txt")), "asset");
  }
  EXPECT_EQ(ReadFile(installer()).rfind("#!/bin/sh\n", 0), 0u);
  const std::string prefix = dir_ / "prefix", target = prefix + "/Corvane/It's Mine";
  ShellIn(dir_.path(), "mkdir prefix");
  ASSERT_EQ(Install(prefix).code, 0);
  EXPECT_EQ(ReadFile(target + "/Movie.qmv"), ReadFile(movie() + "/Movie.qmv"));
  EXPECT_TRUE(Exists(target + "/META-INF/ZARO/application.xml"));
  EXPECT_FALSE(Exists(target + "/mimetype"));
  WriteFile(target + "/assets/a.txt", "changed by the user");
  ASSERT_TRUE(Ran(Install(prefix), 0));
  EXPECT_EQ(ReadFile(target + "/assets/a.txt"), "asset");

  // The list edited to name files outside, with a digest to match.
  WriteFile(dir_ / "keep.txt", "keep");
  WriteFile(prefix + "/sibling.txt", "keep too");
  WriteFile(target + "/.zaro-install/files", ReadFile(target + "/.zaro-install/files") + "- ../keep.txt\n"
            "- Corvane/../../keep.txt\n- " + dir_ / "keep.txt" + "\n- sibling.txt\n");
  ShellIn(target + "/.zaro-install",
          "d=$(openssl dgst -sha256 -r < files | cut -d ' ' -f 1) && sed -i \"3s/.*/files=$d/\" record");
  EXPECT_TRUE(Ran(Uninstall(target), 0, "not removed, outside the installation: ../keep.txt"));
  EXPECT_EQ(ReadFile(dir_ / "keep.txt"), "keep");
  EXPECT_EQ(ReadFile(prefix + "/sibling.txt"), "keep too");
  EXPECT_FALSE(Exists(prefix + "/Corvane"));
  EXPECT_TRUE(Exists(prefix));

  ASSERT_EQ(Install(dir_ / "p/opt/apps").code, 0);  // the prefix folders it makes go with it
  ASSERT_EQ(Uninstall(dir_ / "p/opt/apps/Corvane/It's Mine").code, 0);
  EXPECT_FALSE(Exists(dir_ / "p"));
}

TEST_F(Installer, NoLinkAndNoRecordScriptOrJournalNotMadeByThisInstallerIsTrusted) {
  Build("Corvane/App");
  const std::string prefix = dir_ / "prefix", target = prefix + "/Corvane/App";
  ASSERT_EQ(Install(prefix).code, 0);
  for (const std::string inside : {"META-INF", ".zaro-install"}) {
    SCOPED_TRACE(inside);
    ShellIn(target,
            "mv " + inside + " " + Quote(dir_ / "outside") + " && ln -s " + Quote(dir_ / "outside") + " " + inside);
    const std::string before = TreeListing(dir_.path());
    EXPECT_EQ(Install(prefix).code, 5);
    EXPECT_EQ(TreeListing(dir_.path()), before);
    ShellIn(target, "rm " + inside + " && mv " + Quote(dir_ / "outside") + " " + inside);
  }

  for (const auto& [file, from, to] : {std::tuple{"/.zaro-install/files", "", "- Corvane/App/extra\n"},
                                       {"/.zaro-install/created-folders", "", "share\n"},
                                       {"/.zaro-install/record", "application=com.example.Movie",
                                        "application=org.example.Other"},
                                       {"/META-INF/ZARO/desktop/install", "", "folder=Corvane/Elsewhere\n"}}) {
    SCOPED_TRACE(file);
    const std::string original = ReadFile(target + file);
    WriteFile(target + file, Replaced(original, from, to));
    EXPECT_TRUE(Ran(Install(prefix), 5, "holds an installation that this installer did not make")) << "any part";
    WriteFile(target + file, original);
  }

  // A record made from scratch, digests and all, for the user's own files: outside its folder
  // only this application's registration names may go, and only while they hold what was recorded.
  ASSERT_EQ(Uninstall(target).code, 0);
  WriteFile(prefix + "/share/applications/com.example.Movie.desktop", "the user's");
  WriteFile(prefix + "/share/applications/mine.desktop", "mine");
  WriteFile(prefix + "/Corvane/Other/data", "mine too");
  WriteFile(target + "/META-INF/ZARO/desktop/install", "folder=Corvane/App\napplication=com.example.Movie\n");
  WriteFile(target + "/.zaro-install/created-folders", "share/applications\nshare\nCorvane/Other\n");
  ShellIn(prefix,
          "{ printf -- '- ../outside.txt\\n- Corvane/Other/data\\nb0e3 share/applications/com.example.Movie.desktop"
          "\\n'; openssl dgst -sha256 -r < share/applications/mine.desktop | sed 's| .*| share/applications/mine"
          ".desktop|'; } > Corvane/App/.zaro-install/files");
  ShellIn(target + "/.zaro-install", "printf 'zaro-install-record 2\\napplication=com.example.Movie\\nfiles=%s\\n"
                                     "folders=%s\\n' $(openssl dgst -sha256 -r < files | cut -d ' ' -f 1) $(openssl "
                                     "dgst -sha256 -r < created-folders | cut -d ' ' -f 1) > record");
  const std::string before = TreeListing(prefix + "/share") + TreeListing(prefix + "/Corvane/Other");
  EXPECT_EQ(Install(prefix).code, 5) << "the forged installation data stays in the way";
  EXPECT_EQ(TreeListing(prefix + "/share") + TreeListing(prefix + "/Corvane/Other"), before);

  const std::string planted = dir_ / "planted/Corvane/App";  // its uninstaller is never run
  WriteFile(planted + "/.zaro-install/uninstall.sh", "touch " + Quote(dir_ / "planted-ran") + "\n");
  WriteFile(planted + "/.zaro-install/files", "../../../important.txt\n");
  WriteFile(dir_ / "important.txt", "keep");
  EXPECT_TRUE(Ran(Install(dir_ / "planted"), 5, "did not make"));
  EXPECT_FALSE(Exists(dir_ / "planted-ran"));
  EXPECT_EQ(ReadFile(dir_ / "important.txt"), "keep");
  EXPECT_FALSE(Exists(planted + "/Movie.qmv"));

  // A staging folder is taken back only for this application's journal, and only for what that may name.
  const std::string fresh = dir_ / "fresh", mine = fresh + "/share/applications/mine.desktop";
  WriteFile(mine, "mine");
  const std::string journal = fresh + "/.zaro-staging-com.example.Movie/.zaro-install/journal";
  const std::string lines = "prefix-folders=0\nfile share/applications/mine.desktop\nfolder share/applications\n";
  WriteFile(journal, "zaro-install-journal 2\napplication=org.example.Other\n" + lines);
  EXPECT_TRUE(Ran(Install(fresh), 5, "is in the way"));
  EXPECT_TRUE(Exists(journal));
  WriteFile(journal, "zaro-install-journal 2\napplication=com.example.Movie\n" + lines);
  EXPECT_TRUE(Ran(Install(fresh), 0, "taking back an installation that did not finish"));
  EXPECT_EQ(ReadFile(mine), "mine");
  EXPECT_FALSE(Exists(fresh + "/.zaro-staging-com.example.Movie"));
}

// Stopped it takes itself back, killed a rerun finishes; nothing outside the prefix changes either way.
TEST_F(Installer, AnInstallStoppedOrKilledAnywhereIsTakenBackOrFinishedByARerun) {
  WriteFile(movie() + "/assets/data.bin", MakeBytes(size_t{96} << 20, false, 3));
  Build("Corvane/Big", "com.example.Movie", "",
        "<fileTypes>" + MakeFileType("big", "big", "application/x-zaro-big", kMovieIcons) + "</fileTypes>");
  const std::string prefix = dir_ / "scratch/prefix";
  ShellIn(dir_.path(), "mkdir -p scratch/prefix/share tmp");
  WriteFile(dir_ / "scratch/beside.txt", "outside the prefix");
  const std::string before = TreeListing(dir_ / "scratch");
  const std::string install =
      "TMPDIR=" + Quote(dir_ / "tmp") + " setsid sh " + Quote(installer()) + " " + Quote(prefix);
  const std::string uninstall = "sh " + Quote(prefix + "/Corvane/Big/.zaro-install/uninstall.sh") + " 2>&1";

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
        EXPECT_TRUE(Ran(RunShell(install + " 2>&1"), 0));
        ShellIn(dir_.path(), "rm -rf tmp && mkdir tmp");
      }
      if (Exists(prefix + "/Corvane/Big/.zaro-install/uninstall.sh")) {
        EXPECT_TRUE(Ran(RunShell(uninstall), 0));
      }
      EXPECT_EQ(TreeListing(dir_ / "scratch"), before);
    }
  }

  // Killed while renaming its record into place: the rerun takes the temporary name back too.
  WriteFile(dir_ / "bin/mv",
            "#!/bin/sh\ncase \"$2\" in */.record.zaro-new) kill -KILL 0;; esac\nexec /bin/mv \"$@\"\n");
  ShellIn(dir_.path(), "chmod 755 bin/mv");
  EXPECT_NE(RunShell("PATH=" + Quote(dir_ / "bin") + ":$PATH " + install + " 2>&1").code, 0);
  ASSERT_TRUE(Exists(prefix + "/Corvane/Big/.zaro-install/.record.zaro-new")) << TreeListing(dir_ / "scratch");
  EXPECT_TRUE(Ran(RunShell(install + " 2>&1"), 0));
  ASSERT_TRUE(Ran(RunShell(uninstall), 0));
  EXPECT_EQ(TreeListing(dir_ / "scratch"), before);

  // Stopped or killed once the staging folder's record folder is made, before its journal is.
  WriteFile(dir_ / "bin/mv", "#!/bin/sh\nexec /bin/mv \"$@\"\n");
  WriteFile(dir_ / "bin/mkdir", "#!/bin/sh\n/bin/mkdir \"$@\" || exit\n"
                                "case \"$1\" in */.zaro-staging-*/.zaro-install) kill -$SIG 0;; esac\n");
  ShellIn(dir_.path(), "chmod 755 bin/mkdir");
  for (const std::string signal : {"TERM", "KILL"}) {
    SCOPED_TRACE(signal + " before the journal");
    EXPECT_NE(RunShell("SIG=" + signal + " PATH=" + Quote(dir_ / "bin") + ":$PATH " + install + " 2>&1").code, 0);
    if (signal == "KILL") {
      EXPECT_TRUE(Ran(RunShell(install + " 2>&1"), 0)) << "the rerun clears the staging folder";
      EXPECT_TRUE(Ran(RunShell(uninstall), 0));
    }
    EXPECT_EQ(TreeListing(dir_ / "scratch"), before);
  }
}

class InstallerRegistration : public Installer {
 protected:
  void SetUp() override {
    Build("Corvane/Movie App", "com.example.Movie", "",
          "<fileTypes>" + MakeFileType("docA", "abc", "application/x-zaro-doca", kMovieIcons, "Doc A") +
              MakeFileType("docB", "xyz", "application/x-zaro-docb") + "</fileTypes>");
  }
};

TEST_F(InstallerRegistration, RegistersTheTypesAndUninstallingTakesExactlyThatAwayAndNothingThroughALink) {
  const std::string prefix = dir_ / "my prefix", share = prefix + "/share";
  // Another application's icon for a type of ours stays untouched.
  const std::string foreign = share + "/icons/hicolor/32x32/mimetypes/application-x-zaro-doca.png";
  WriteFile(foreign, "someone else's");
  const std::string before = TreeListing(prefix);
  ASSERT_TRUE(Ran(Install(prefix), 0, "leaving " + foreign));
  EXPECT_EQ(ReadFile(foreign), "someone else's");
  const std::string entry = ReadFile(share + "/applications/com.example.Movie.desktop");
  const std::string launcher = prefix + "/Corvane/Movie App/META-INF/ZARO/desktop/open";
  EXPECT_TRUE(Contains(entry, "Exec=\"" + launcher + "\" %f\n")) << entry;
  EXPECT_TRUE(Contains(entry, "MimeType=application/x-zaro-doca;application/x-zaro-docb;\n")) << entry;
  EXPECT_TRUE(Contains(ReadFile(share + "/mime/packages/com.example.Movie.xml"),
                       "<mime-type type=\"application/x-zaro-docb\">"));
  EXPECT_EQ(ReadFile(share + "/icons/hicolor/16x16/mimetypes/application-x-zaro-doca.png"),
            ReadFile(movie() + "/icons/i16.png"));
  EXPECT_TRUE(Ran(RunShell("PATH=/usr/bin:/bin " + Quote(launcher) + " x.abc 2>&1"), 1, "needs the ZARO runtime"));
  EXPECT_TRUE(Quiet(RunShell("desktop-file-validate " + Quote(share + "/applications/com.example.Movie.desktop") +
                             " 2>&1")));
  EXPECT_TRUE(Exists(share + "/mime/application/x-zaro-doca.xml")) << "the installer updated the database";
  EXPECT_TRUE(Contains(ReadFile(share + "/mime/globs2"), "application/x-zaro-docb:*.xyz"));
  EXPECT_TRUE(Ran(Uninstall(prefix + "/Corvane/Movie App"), 0));
  EXPECT_EQ(TreeListing(prefix), before);

  // A recorded file turned into a link, or reached through a folder turned into one, is not removed.
  ASSERT_EQ(Install(prefix).code, 0);
  const std::string icon = share + "/icons/hicolor/16x16/mimetypes/application-x-zaro-doca.png";
  const std::string outside = Quote(dir_ / "outside");
  ShellIn(share, "mkdir " + outside + " && mv " + Quote(icon) + " " + outside + " && ln -s " + outside +
                     "/application-x-zaro-doca.png " + Quote(icon) + " && mv mime/packages " + outside +
                     " && ln -s " + outside + "/packages mime/packages");
  const std::string listing = TreeListing(dir_ / "outside");
  EXPECT_TRUE(Ran(Uninstall(prefix + "/Corvane/Movie App"), 0,
                  {"not removed, a link is on its path: share/icons/hicolor/16x16",
                   "not removed, a link is on its path: share/mime/packages/"}));
  EXPECT_EQ(TreeListing(dir_ / "outside"), listing);
  EXPECT_TRUE(std::filesystem::is_symlink(icon)) << "the link itself stays too";
}

TEST_F(InstallerRegistration, SharedDatabasesAreRegeneratedWhileAnotherApplicationRemains) {
  const std::string prefix = dir_ / "prefix", share = prefix + "/share", other = dir_ / "Other.exe";
  ShellIn(dir_.path(), "mkdir prefix");
  const std::string before = TreeListing(prefix);
  Build("Other", "org.example.Other", other,
        "<fileTypes>" + MakeFileType("oth", "oth", "text/x-zaro-other") + "</fileTypes>");
  ASSERT_EQ(Install(prefix).code, 0);
  ASSERT_TRUE(Ran(Install(prefix, "", other), 0));
  ToolRun again = Install(prefix);
  ASSERT_TRUE(Ran(again, 0));
  EXPECT_FALSE(Contains(again.output, "leaving")) << "the first installation's files were taken away first";

  ASSERT_EQ(Uninstall(prefix + "/Other").code, 0);  // the one that made share/mime, reinstalled, stays last
  EXPECT_FALSE(Contains(ReadFile(share + "/mime/globs2"), "text/x-zaro-other")) << "the database no longer names it";
  EXPECT_TRUE(Exists(share + "/mime/application/x-zaro-doca.xml"));
  ASSERT_EQ(Uninstall(prefix + "/Corvane/Movie App").code, 0);
  EXPECT_EQ(TreeListing(prefix), before);

  ASSERT_EQ(Install(prefix).code, 0);
  ASSERT_EQ(Install(prefix, "", other).code, 0);  // the one that made share/mime goes first
  ASSERT_EQ(Uninstall(prefix + "/Corvane/Movie App").code, 0);
  EXPECT_FALSE(Exists(share + "/mime/packages/com.example.Movie.xml"));
  EXPECT_FALSE(Exists(share + "/mime/application/x-zaro-doca.xml"));
  EXPECT_TRUE(Exists(share + "/mime/text/x-zaro-other.xml"));
  EXPECT_TRUE(Contains(ReadFile(share + "/mime/globs2"), "text/x-zaro-other:*.oth"));
  EXPECT_TRUE(Exists(share + "/applications/org.example.Other.desktop"));
  ASSERT_EQ(Uninstall(prefix + "/Other").code, 0);
  EXPECT_FALSE(Exists(share + "/mime/globs2")) << "no package left: the generated files go";
  EXPECT_EQ(RunShell("find " + Quote(share) + " ! -type d").output, "") << "only empty folders are left";
  ShellIn(prefix, "rm -r share");

  ASSERT_EQ(Install(prefix).code, 0);
  WriteFile(share + "/mime/my-notes.txt", "mine");  // kept in a database folder the installation made
  ASSERT_EQ(Uninstall(prefix + "/Corvane/Movie App").code, 0);
  EXPECT_EQ(ReadFile(share + "/mime/my-notes.txt"), "mine");
  EXPECT_FALSE(Exists(share + "/mime/globs2")) << "no package left: the generated files go";
  EXPECT_FALSE(Exists(share + "/applications"));
}

TEST_F(InstallerRegistration, APlantedLinkOnAnyPathIsRefusedWithNothingWritten) {
  for (const std::string where : {"share", "share/mime/packages", "share/applications",
                                  "share/icons/hicolor/16x16/mimetypes", "Corvane",
                                  "share/applications/com.example.Movie.desktop", "share/mime"}) {
    SCOPED_TRACE(where);
    TempFolder scratch;
    const std::string planted = scratch / "prefix/" + where;
    ShellIn(scratch.path(), "mkdir -p outside " + Quote(planted) + " && rmdir " + Quote(planted));
    // A file in place of a folder, a link to a folder outside, or a dangling one for the desktop entry.
    const std::string to = scratch / (Contains(where, ".desktop") ? "outside/gone" : "outside");
    if (where == "share/mime") WriteFile(planted, "not a folder");
    else ASSERT_EQ(symlink(to.c_str(), planted.c_str()), 0);
    const std::string before = TreeListing(scratch.path());
    EXPECT_TRUE(Ran(Install(scratch / "prefix"), 7, "is in the way; nothing was installed"));
    EXPECT_EQ(TreeListing(scratch.path()), before);
  }
}

}  // namespace
}  // namespace zpk
