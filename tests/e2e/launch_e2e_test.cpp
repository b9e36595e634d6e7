// "TestMovie" and "DebugMovie" through the staged host, with the kit's real debug launcher.

#include <chrono>
#include <thread>

#include "publish_e2e_support.h"

namespace {
using namespace publish_e2e;

constexpr const char* kUnparsableDescriptor = "无法解析应用程序描述符文件。";
// `--trace` reports every snippet the module evaluated on stderr, after this.
constexpr const char* kRan = "tessel: ran tx.getDocumentDOM().";
constexpr const char* kOutputTypeSnippet = "getDataFromDocument(\"com.corvane.tessel.brisel.output.type\")";

// True when some process still has the file open (a detached launcher writing into it).
bool FileHasWriters(const fs::path& file) {
  std::error_code code;
  const fs::path target = fs::canonical(file, code);
  for (auto process = fs::directory_iterator("/proc", code); !code && process != fs::directory_iterator();
       process.increment(code)) {
    std::error_code fdCode;
    for (auto fd = fs::directory_iterator(process->path() / "fd", fdCode); !fdCode && fd != fs::directory_iterator();
         fd.increment(fdCode)) {
      std::error_code linkCode;
      if (fs::read_symlink(fd->path(), linkCode) == target) return true;
    }
  }
  return false;
}

// Stores the movie settings a document keeps once it has been published from where it is.
void StoreMovieSettings(const fs::path& doc) {
  PutDocumentTexts(doc, {{"qmv.folder.path", doc.parent_path().string() + "/"},
                         {"tessel.qmv.basename", doc.stem().string()}, {"tessel.tsd.filepath", doc.string()}});
}

// A staged tree in the sandbox, in a folder with a blank, that the sandbox's later runs use: tessel
// (the module finds the kit beside the running program), the real module and kit, but a
// bin/zrl.exe that records its arguments before it runs the real launcher.
class RecordingStage {
 public:
  explicit RecordingStage(Sandbox& box) : stage_(box.Root() / "staged kit") {
    const fs::path real = fs::canonical(Sandbox::Stage()) / "bin", bin = stage_ / "bin", kit = Kit();
    std::error_code code;
    fs::create_directories(kit / "bin", code);
    fs::create_hard_link(real / "tessel", bin / "tessel", code);
    if (code) fs::copy_file(real / "tessel", bin / "tessel", code);
    fs::create_symlink(real / "libzaropublish.so", bin / "libzaropublish.so", code);
    fs::create_directory_symlink(real / "ZSK2.0" / "samples", kit / "samples", code);
    fs::create_directory_symlink(real / "ZSK2.0" / "runtimes", kit / "runtimes", code);
    launcher_.emplace(kit / "bin" / "zrl.exe", real / "ZSK2.0" / "bin" / "zrl.exe");
    box.UseTessel(bin / "tessel");
  }
  bool Ready() const { return fs::exists(stage_ / "bin" / "tessel"); }
  fs::path Kit() const { return stage_ / "bin" / "ZSK2.0"; }
  // The argument lists of the launches since the last call; read once the launches ended.
  std::vector<Lines> Launches() const { return launcher_->Calls(); }

 private:
  fs::path stage_;
  std::optional<RecordingProgram> launcher_;
};

std::string Report(const std::string& id, const std::string& name, const fs::path& movie, const std::string& profile) {
  return id + "|" + name + "|" + movie.string() + "|" + profile;
}

class LaunchCommands : public PublishTest {
 protected:
  // The latest run's debug launchers' reports, "id|name|content|profile", once they have finished
  // (they inherit tessel's standard output and may still write after tessel has ended).
  Lines Launched() {
    const fs::path file = box_.LastOutputFile();
    for (int attempt = 0; attempt < 750 && FileHasWriters(file); ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(FileHasWriters(file)) << "a debug launcher was still running";
    Lines reports;
    for (const std::string& line : LinesStartingWith(ReadText(file), "")) {
      const size_t colon = line.find(": ");
      if (colon == std::string::npos) continue;
      const std::string key = line.substr(0, colon), value = line.substr(colon + 2);
      if (key == "id") reports.push_back(value);
      if (!reports.empty() && (key == "name" || key == "content" || key == "profile")) reports.back() += "|" + value;
    }
    return reports;
  }

  static std::string HostCall(const fs::path& kit, const fs::path& descriptor, const std::string& debug,
                              const std::optional<std::string>& profile) {
    std::string call = "debugZAROMovie(\"" + (kit / "bin" / "zrl.exe").string() + "\", \"" +
                       (kit / "runtimes" / "zaro" / "win").string() + "\", \"" + descriptor.string() + "\", \"" +
                       debug + "\"";
    return call + (profile ? ", \"" + *profile + "\"" : "") + ")";
  }

  RunResult TestMovieWithHostAnswer(const fs::path& document, const std::string& replacement, RunOptions options = {}) {
    return box_.RunScript("var d = tx.getDocumentDOM();\nd.debugZAROMovie = " + replacement + ";\nzaro.TestMovie(" +
                              "tessel.movieURL, tessel.documentURL, tessel.kitVersion, 'extendedDesktop');\n",
                          document, options);
  }
};

TEST_F(LaunchCommands, AFailedExportEndsTestMovieWithFailureAndNoLaunch) {
  const fs::path doc = NewDocument("Hello", "desktop", 2);
  fs::remove(Movie(doc));
  fs::create_directory(Movie(doc));  // nothing can be written in its place
  const RunResult run = box_.Run({"test", doc.string(), "--profile", "extendedDesktop"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Contains(run.err, "\"TestMovie\" reported failure")) << run.err;
  EXPECT_EQ(run.OutputLines("tessel: exportQMV(").size(), 1u);
  EXPECT_EQ(Launched(), Lines{});
  EXPECT_FALSE(fs::exists(Descriptor(doc)));
}

// DebugMovie goes through the host (the profile is the snippet's fifth argument); TestMovie of an
// older script version exports the movie and starts the launcher itself. Profiles "undefined" and
// "desktop" add nothing (case-sensitive), others go whole; blanks and quotes in folders get through.
TEST_F(LaunchCommands, BothLaunchesHandTheProfileAndTheFoldersOverIntact) {
  RecordingStage stage(box_);
  ASSERT_TRUE(stage.Ready());
  const std::pair<std::string, std::string> cases[] = {{"", "undefined"}, {"", "desktop"}, {"", "Desktop"},
                                                       {"", "extended \"wide\" Desktop"},
                                                       {"Say \"Hi\" 'now'/", "extendedDesktop"}};
  int number = 0;
  for (const auto& [folder, profile] : cases) {
    SCOPED_TRACE(folder + "profile " + profile);
    const bool added = profile != "undefined" && profile != "desktop";
    const std::string name = folder + "Movie" + std::to_string(++number);
    for (const fs::path& doc : {NewDocument(name), NewDocument(name + "-old", "desktop", 2)}) {
      const bool older = Contains(doc.stem().string(), "-old");
      if (older) fs::remove(Movie(doc));  // the export must make it
      const RunResult run =
          Succeeded(box_.Run({older ? "test" : "debug", doc.string(), "--profile", profile, "--trace"}));
      const std::string call =
          HostCall(stage.Kit(), Descriptor(doc), "true", added ? std::optional(profile) : std::nullopt);
      if (older) {
        EXPECT_EQ(run.OutputLines("tessel: exportQMV("),
                  Lines{"tessel: exportQMV(\"" + Sandbox::FileUrl(Movie(doc)) + "\", \"true\")"});
        EXPECT_EQ(run.OutputLines("tessel: debugZAROMovie("), Lines{});
        EXPECT_FALSE(Contains(run.err, kRan + std::string("debugZAROMovie"))) << run.err;
        EXPECT_EQ(ReadText(Movie(doc)).substr(0, 3), "QMV");
      } else {
        // The kit beside the running host, in the snippet (where quotes are escaped) and the host call.
        if (!Contains(folder + profile, "\"")) {
          EXPECT_TRUE(Contains(run.err, kRan + call + ";")) << run.err;
        }
        EXPECT_EQ(run.OutputLines("tessel: debugZAROMovie("), Lines{"tessel: " + call});
      }
      EXPECT_EQ(Launched(), Lines{Report(doc.stem(), doc.stem(), Movie(doc), added ? profile : "desktop")}) << run.err;
      Lines arguments{Descriptor(doc).string()};
      if (added) arguments.insert(arguments.end(), {"-profile", profile});
      EXPECT_EQ(stage.Launches(), std::vector<Lines>{arguments});
    }
  }
}

// The host runs the movie itself (answer 0), or answers 2 and the module starts the launcher
// directly: one launch either way. Any other answer starts nothing.
TEST_F(LaunchCommands, OnlyAHostAnswerOfTwoMakesTestMovieStartTheLauncherItself) {
  RecordingStage stage(box_);
  ASSERT_TRUE(stage.Ready());
  const fs::path doc = NewDocument("Hello");
  for (const bool hostDebug : {true, false}) {
    SCOPED_TRACE(hostDebug ? "the host launches" : "the host answers 2");
    Lines arguments{"test", doc.string(), "--profile", "extendedDesktop"};
    if (!hostDebug) arguments.push_back("--no-host-debug");
    EXPECT_EQ(Succeeded(box_.Run(arguments)).OutputLines("tessel: debugZAROMovie("),
              Lines{"tessel: " + HostCall(stage.Kit(), Descriptor(doc), "false", "extendedDesktop")});
    EXPECT_EQ(Launched(), Lines{Report("Hello", "Hello", Movie(doc), "extendedDesktop")});
    EXPECT_EQ(stage.Launches(), (std::vector<Lines>{{Descriptor(doc).string(), "-profile", "extendedDesktop"}}));
  }
  const std::string seven = "function () { print('host answered 7'); return 7; }";
  EXPECT_TRUE(Contains(Succeeded(TestMovieWithHostAnswer(doc, seven)).out, "host answered 7\n"));
  EXPECT_EQ(Launched(), Lines{});
  EXPECT_EQ(stage.Launches(), std::vector<Lines>{});
}

// A scene's descriptor: DebugMovie keeps it, TestMovie writes a fresh one on every launch. When
// the host spoils it (compiles the movie over it) and answers 2, only a second fresh write lets the
// direct launch parse it. A movie that is no scene keeps its descriptor: the spoilt one is refused.
TEST_F(LaunchCommands, TestMovieWritesAFreshDescriptorForAScene) {
  const fs::path doc = NewDocument("Movie_Scene 1");
  StoreMovieSettings(doc);
  Succeeded(box_.Run({"debug", doc.string()}));  // writes the default descriptor (there is none yet)
  ASSERT_EQ(Launched().size(), 1u);
  const std::string fresh = ReadText(Descriptor(doc));
  ASSERT_TRUE(Contains(fresh, "<id>Movie-Scene-1</id>")) << fresh;
  std::string customised = fresh;
  customised.replace(customised.find("<id>Movie-Scene-1</id>"), 22, "<id>scene.customised</id>");
  auto launch = [&](const std::string& id) { return Report(id, "Movie_Scene 1", Movie(doc), "extendedDesktop"); };
  for (const std::string extra : {"debug", "test", "--no-host-debug"}) {
    SCOPED_TRACE(extra);
    WriteText(Descriptor(doc), customised);
    const bool debug = extra == "debug";
    Lines arguments{debug ? "debug" : "test", doc.string(), "--profile", "extendedDesktop"};
    if (extra == "--no-host-debug") arguments.push_back(extra);
    Succeeded(box_.Run(arguments));
    EXPECT_EQ(ReadText(Descriptor(doc)), debug ? customised : fresh);
    EXPECT_EQ(Launched(), Lines{launch(debug ? "scene.customised" : "Movie-Scene-1")});
  }

  auto spoil = [](const fs::path& document) {
    return "function () { d.exportQMV(" + Json(Sandbox::FileUrl(Descriptor(document))).dump() + ", true); return 2; }";
  };
  WriteText(Descriptor(doc), customised);
  EXPECT_EQ(Shown(Succeeded(TestMovieWithHostAnswer(doc, spoil(doc), WithAnswers({})))), Lines{});
  EXPECT_EQ(ReadText(Descriptor(doc)), fresh);
  EXPECT_EQ(Launched(), Lines{launch("Movie-Scene-1")});
  const fs::path plain = NewDocument("Plain");
  StoreMovieSettings(plain);
  Succeeded(box_.Run({"test", plain.string(), "--no-host-debug"}));
  ASSERT_EQ(Launched().size(), 1u);
  EXPECT_EQ(Shown(Succeeded(TestMovieWithHostAnswer(plain, spoil(plain), WithAnswers({})))),
            Lines{MessageLine(kUnparsableDescriptor, 48)});
  EXPECT_EQ(Launched(), Lines{});
}

// A descriptor that cannot be parsed stops both commands with success. Without a stored movie
// folder neither saves the document; TestMovie alone takes the output type into account.
TEST_F(LaunchCommands, BothCommandsStopAtAnUnparsableDescriptorAndLeaveAnUnpublishedDocumentAlone) {
  const fs::path broken = NewDocument("Broken"), doc = NewDocument("Hello");
  const std::string spoilt = "<?xml version=\"1.0\"?>\n<application xmlns=\"x\"><id>broken</application>\n";
  WriteText(Descriptor(broken), spoilt);
  Succeeded(box_.Run({"debug", doc.string()}));  // writes the descriptor
  ASSERT_EQ(Launched().size(), 1u);
  const std::string descriptor = ReadText(Descriptor(doc)), before = ReadText(doc);
  for (const std::string verb : {"debug", "test"}) {
    SCOPED_TRACE(verb);
    const RunResult stopped = Run({verb, broken.string(), "--profile", "extendedDesktop"}, {});
    EXPECT_EQ(Shown(stopped), Lines{MessageLine(kUnparsableDescriptor, 48)});
    EXPECT_EQ(stopped.OutputLines("tessel: debugZAROMovie("), Lines{});
    EXPECT_EQ(Launched(), Lines{});
    EXPECT_EQ(ReadText(Descriptor(broken)), spoilt);
    const RunResult run = Succeeded(box_.Run({verb, doc.string(), "--trace"}));
    EXPECT_EQ(Contains(run.err, kRan + std::string(kOutputTypeSnippet)), verb == "test") << run.err;
    EXPECT_EQ(ReadText(doc), before);
    EXPECT_EQ(Texts(doc, {"tessel.tsd.filepath"}), Lines{"-"});
    EXPECT_EQ(ReadText(Descriptor(doc)), descriptor);
    EXPECT_EQ(Launched().size(), 1u);
  }
}

// Every command carries the descriptor of a document saved under a new name (document and movie
// copied) over to the new movie, and leaves the earlier document and its descriptor as they were.
TEST_F(LaunchCommands, EveryCommandCarriesTheDescriptorOfADocumentSavedUnderANewName) {
  const fs::path old = NewDocument("Old");
  StoreMovieSettings(old);
  PutDocumentTexts(old, {{"com.zaro.quessa.destination", (Work() / "out" / "Old.zaro").string()}});
  // Everything after the XML declaration, which the library's writer may spell its own way.
  auto body = [](const std::string& text) { return text.substr(text.find("?>") + 2); };
  auto named = [](const std::string& name) {
    return DescriptorXml(name, "carried.app", "  <description>kept as it was</description>\n");
  };
  WriteText(Descriptor(old), named("Old"));
  const std::string oldDocument = ReadText(old);

  for (const std::string verb : {"debug", "test", "publish", "settings"}) {
    SCOPED_TRACE(verb);
    const std::string name = "New-" + verb;
    const fs::path renamed = Work() / (name + ".tsd");
    fs::copy_file(old, renamed);
    fs::copy_file(Movie(old), Movie(renamed));
    const RunResult run = Run({verb, renamed.string()}, {Form("Settings", {Press("Cancel")})});
    EXPECT_EQ(body(ReadText(Descriptor(renamed))), body(named(name)));
    if (verb == "debug" || verb == "test") {
      EXPECT_EQ(Shown(run), Lines{});
      EXPECT_EQ(Launched(), Lines{Report("carried.app", name, Movie(renamed), "desktop")});
    } else {
      // Without a certificate Publish opens the sheet too; Cancel builds and launches nothing.
      EXPECT_EQ(Shown(run, true), Lines{"form|Settings|cancel"});
      EXPECT_EQ(Launched(), Lines{});
      EXPECT_EQ(Texts(renamed, {"com.zaro.quessa.destination"}), Lines{"-"});
    }
  }
  EXPECT_EQ(ReadText(Descriptor(old)), named("Old"));
  EXPECT_EQ(ReadText(old), oldDocument);
}

}  // namespace
