// "TestMovie" and "DebugMovie" through the staged host, with the kit's real debug launcher.
#include <gtest/gtest.h>

#include "launch_e2e_support.h"

namespace publish_e2e {
namespace {

using tessel::e2e::RunOptions;
using Arguments = std::vector<std::string>;

constexpr const char* kUnparsableDescriptor = "无法解析应用程序描述符文件。";
constexpr const char* kOutputTypeSnippet = "getDataFromDocument(\"com.corvane.tessel.brisel.output.type\")";

class LaunchCommands : public PublishTest {
 protected:
  fs::path NewDocument(const std::string& name, int asVersion = 3) {
    return PublishTest::NewDocument(name, "desktop", asVersion);
  }
  // Everything the run and the launchers it started wrote on standard output.
  std::string FullOutput() {
    const std::optional<std::string> output = OutputAfterLaunchers(box_);
    EXPECT_TRUE(output) << "a debug launcher was still running";
    return output.value_or("");
  }

  // The host call as tessel prints it, for a descriptor in the work folder.
  static std::string HostCall(const fs::path& kit, const fs::path& descriptor, const std::string& debug,
                              const std::optional<std::string>& profile) {
    std::string call = "debugZAROMovie(\"" + (kit / "bin" / "zrl.exe").string() + "\", \"" +
                       (kit / "runtimes" / "zaro" / "win").string() + "\", \"" + descriptor.string() + "\", \"" +
                       debug + "\"";
    if (profile) call += ", \"" + *profile + "\"";
    return call + ")";
  }

  // A host script that runs TestMovie while debugZAROMovie is replaced by `replacement`.
  RunResult TestMovieWithHostAnswer(const fs::path& document, const std::string& replacement, RunOptions options = {}) {
    const std::string source = "var d = tx.getDocumentDOM();\n"
                               "d.debugZAROMovie = " + replacement + ";\n"
                               "zaro.TestMovie(tessel.movieURL, tessel.documentURL, tessel.kitVersion, 'extendedDesktop');\n";
    return box_.RunScript(source, document, options);
  }
};

TEST_F(LaunchCommands, AFailedExportEndsTestMovieWithFailureAndNoLaunch) {
  const fs::path doc = NewDocument("Hello", 2);
  fs::remove(Movie(doc));
  fs::create_directory(Movie(doc));  // nothing can be written in its place

  const RunResult run = box_.Run({"test", doc.string(), "--profile", "extendedDesktop"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_TRUE(Contains(run.err, "\"TestMovie\" reported failure")) << run.err;
  EXPECT_EQ(run.OutputLines("tessel: exportQMV(").size(), 1u);
  EXPECT_TRUE(LauncherReports(FullOutput()).empty());
  EXPECT_FALSE(fs::exists(Descriptor(doc)));
}

// DebugMovie goes through the host (the profile is the snippet's fifth argument); TestMovie
// of an older script version exports the movie and starts the launcher itself. Profiles
// "undefined" and "desktop" add nothing (the comparison is case-sensitive), others are
// handed over whole, and blanks and quotes in folders reach the host and the launcher.
TEST_F(LaunchCommands, BothLaunchesHandTheProfileAndTheFoldersOverIntact) {
  RecordingStage stage(box_);
  ASSERT_TRUE(stage.Ready());
  const struct {
    std::string folder, profile;
    bool added;
  } cases[] = {{"", "undefined", false},
               {"", "desktop", false},
               {"", "Desktop", true},
               {"", "extended \"wide\" Desktop", true},
               {"Say \"Hi\" 'now'/", "extendedDesktop", true}};
  int number = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder + "profile " + c.profile);
    const std::string name = c.folder + "Movie" + std::to_string(++number);
    for (const fs::path& doc : {NewDocument(name), NewDocument(name + "-old", 2)}) {
      const bool older = Contains(doc.stem().string(), "-old");
      if (older) fs::remove(Movie(doc));  // the export must make it
      stage.ForgetLaunches();
      const RunResult run = box_.Run({older ? "test" : "debug", doc.string(), "--profile", c.profile, "--trace"});
      ASSERT_EQ(run.exitStatus, 0) << run.err;
      const std::optional<std::string> hostProfile = c.added ? std::optional(c.profile) : std::nullopt;
      if (older) {
        EXPECT_EQ(run.OutputLines("tessel: exportQMV("),
                  Arguments{"tessel: exportQMV(\"" + Sandbox::FileUrl(Movie(doc)) + "\", \"true\")"});
        EXPECT_TRUE(run.OutputLines("tessel: debugZAROMovie(").empty());
        EXPECT_FALSE(RanSnippetContaining(run, "debugZAROMovie")) << run.err;
        EXPECT_EQ(ReadText(Movie(doc)).substr(0, 3), "QMV");
      } else {
        // The module finds the kit beside the running host and asks the host to launch.
        const std::string call = HostCall(stage.Kit(), Descriptor(doc), "true", hostProfile);
        if (!Contains(c.folder + c.profile, "\"")) {  // quotes are escaped in the snippet
          EXPECT_TRUE(RanSnippetContaining(run, "tx.getDocumentDOM()." + call + ";")) << run.err;
        }
        EXPECT_EQ(run.OutputLines("tessel: debugZAROMovie("), Arguments{"tessel: " + call});
      }
      const std::vector<LauncherReport> launches = LauncherReports(FullOutput());
      ASSERT_EQ(launches.size(), 1u) << run.err;
      EXPECT_EQ(launches[0].id, doc.stem().string());
      EXPECT_EQ(launches[0].name, doc.stem().string());
      EXPECT_EQ(launches[0].content, Movie(doc).string());
      EXPECT_EQ(launches[0].profile, c.added ? c.profile : "desktop");
      Arguments arguments{Descriptor(doc).string()};
      if (c.added) arguments.insert(arguments.end(), {"-profile", c.profile});
      EXPECT_EQ(stage.Launches(), std::vector<Arguments>{arguments});
    }
  }
}

TEST_F(LaunchCommands, OnlyAHostAnswerOfTwoMakesTestMovieStartTheLauncherItself) {
  RecordingStage stage(box_);
  ASSERT_TRUE(stage.Ready());
  const fs::path doc = NewDocument("Hello");
  const std::string hostCall = HostCall(stage.Kit(), Descriptor(doc), "false", "extendedDesktop");

  // The host runs the movie itself (answer 0), or answers 2 and starts nothing, so that the
  // module starts the launcher directly: one launch either way.
  for (const bool hostDebug : {true, false}) {
    SCOPED_TRACE(hostDebug ? "the host launches" : "the host answers 2");
    stage.ForgetLaunches();
    Arguments arguments{"test", doc.string(), "--profile", "extendedDesktop"};
    if (!hostDebug) arguments.push_back("--no-host-debug");
    const RunResult run = box_.Run(arguments);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.OutputLines("tessel: debugZAROMovie("), Arguments{"tessel: " + hostCall});
    const std::vector<LauncherReport> launches = LauncherReports(FullOutput());
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].id, "Hello");
    EXPECT_EQ(launches[0].profile, "extendedDesktop");
    EXPECT_EQ(stage.Launches(), (std::vector<Arguments>{{Descriptor(doc).string(), "-profile", "extendedDesktop"}}));
  }

  // Any other answer: nothing is started.
  stage.ForgetLaunches();
  const RunResult other = TestMovieWithHostAnswer(doc, "function () { print('host answered 7'); return 7; }");
  ASSERT_EQ(other.exitStatus, 0) << other.err;
  EXPECT_TRUE(Contains(other.out, "host answered 7\n"));
  EXPECT_TRUE(LauncherReports(FullOutput()).empty());
  EXPECT_TRUE(stage.Launches().empty());
}

class SceneMovie : public LaunchCommands {
 protected:
  void SetUp() override {
    LaunchCommands::SetUp();
    doc_ = NewDocument("Movie_Scene 1");
    StoreMovieSettings(doc_);
    // A first launch writes the default descriptor (there is none yet).
    const RunResult first = box_.Run({"debug", doc_.string()});
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    ASSERT_EQ(LauncherReports(FullOutput()).size(), 1u);
    fresh_ = ReadText(Descriptor(doc_));
    ASSERT_TRUE(Contains(fresh_, "<id>Movie-Scene-1</id>")) << fresh_;
    customised_ = fresh_;
    customised_.replace(customised_.find("<id>Movie-Scene-1</id>"), 22, "<id>scene.customised</id>");
    WriteText(Descriptor(doc_), customised_);
  }

  fs::path doc_;
  std::string fresh_;
  std::string customised_;
};

TEST_F(SceneMovie, DebugMovieKeepsTheDescriptorAndTestMovieWritesAFreshOneOnEveryLaunch) {
  const struct {
    Arguments arguments;
    bool fresh;
  } cases[] = {{{"debug", doc_.string(), "--profile", "extendedDesktop"}, false},
               {{"test", doc_.string(), "--profile", "extendedDesktop"}, true},
               {{"test", doc_.string(), "--profile", "extendedDesktop", "--no-host-debug"}, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[0] + (c.arguments.size() > 4 ? " (host answers 2)" : ""));
    WriteText(Descriptor(doc_), customised_);
    const RunResult run = box_.Run(c.arguments);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(ReadText(Descriptor(doc_)), c.fresh ? fresh_ : customised_);
    const std::vector<LauncherReport> launches = LauncherReports(FullOutput());
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].id, c.fresh ? "Movie-Scene-1" : "scene.customised");
    EXPECT_EQ(launches[0].content, Movie(doc_).string());
    EXPECT_EQ(launches[0].profile, "extendedDesktop");
  }
}

TEST_F(SceneMovie, AfterAHostAnswerOfTwoTheDescriptorIsWrittenOnceMore) {
  // The host spoils the descriptor (it compiles the movie over it) and then answers 2: only
  // a second fresh write lets the direct launch parse it.
  auto spoil = [](const fs::path& doc) {
    return "function () { d.exportQMV(" + Json(Sandbox::FileUrl(Descriptor(doc))).dump() + ", true); return 2; }";
  };
  const RunOptions options = WithAnswers({});
  const RunResult scene = TestMovieWithHostAnswer(doc_, spoil(doc_), options);
  ASSERT_EQ(scene.exitStatus, 0) << scene.err;
  EXPECT_TRUE(scene.EventsOf("message").empty());
  EXPECT_EQ(ReadText(Descriptor(doc_)), fresh_);
  std::vector<LauncherReport> launches = LauncherReports(FullOutput());
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].id, "Movie-Scene-1");

  // A movie that is no scene keeps its descriptor, so the spoilt one is refused.
  const fs::path plain = NewDocument("Plain");
  StoreMovieSettings(plain);
  ASSERT_EQ(box_.Run({"test", plain.string(), "--no-host-debug"}).exitStatus, 0);
  ASSERT_EQ(LauncherReports(FullOutput()).size(), 1u);
  const RunResult other = TestMovieWithHostAnswer(plain, spoil(plain), options);
  ASSERT_EQ(other.exitStatus, 0) << other.err;
  const auto messages = other.EventsOf("message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, kUnparsableDescriptor);
  EXPECT_TRUE(LauncherReports(FullOutput()).empty());
}

TEST_F(LaunchCommands, ADescriptorThatCannotBeParsedStopsBothCommandsWithSuccess) {
  const fs::path doc = NewDocument("Broken");
  const std::string broken = "<?xml version=\"1.0\"?>\n<application xmlns=\"x\"><id>broken</application>\n";
  WriteText(Descriptor(doc), broken);
  const RunOptions options = WithAnswers({});
  for (const std::string verb : {"debug", "test"}) {
    SCOPED_TRACE(verb);
    const RunResult run = box_.Run({verb, doc.string(), "--profile", "extendedDesktop"}, options);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    ASSERT_EQ(run.events.size(), 1u) << run.err;
    EXPECT_EQ(run.events[0].event + "|" + run.events[0].text + "|" + std::to_string(run.events[0].style),
              std::string("message|") + kUnparsableDescriptor + "|48");
    EXPECT_TRUE(run.OutputLines("tessel: debugZAROMovie(").empty());
    EXPECT_TRUE(LauncherReports(FullOutput()).empty());
    EXPECT_EQ(ReadText(Descriptor(doc)), broken);
  }
}

TEST_F(LaunchCommands, DebugMovieWithoutAStoredMovieFolderLeavesTheDocumentAlone) {
  const fs::path doc = NewDocument("Hello");
  ASSERT_EQ(box_.Run({"debug", doc.string()}).exitStatus, 0);  // writes the descriptor
  ASSERT_EQ(LauncherReports(FullOutput()).size(), 1u);
  const std::string descriptor = ReadText(Descriptor(doc));
  const std::string before = ReadText(doc);

  const RunResult debug = box_.Run({"debug", doc.string(), "--trace"});
  ASSERT_EQ(debug.exitStatus, 0) << debug.err;
  EXPECT_FALSE(RanSnippetContaining(debug, kOutputTypeSnippet)) << debug.err;
  EXPECT_EQ(ReadText(doc), before);
  EXPECT_FALSE(Sandbox::DocumentValue(doc, "tessel.tsd.filepath"));
  EXPECT_EQ(ReadText(Descriptor(doc)), descriptor);
  EXPECT_EQ(LauncherReports(FullOutput()).size(), 1u);

  // TestMovie on the same document does take the output type into account, and saves nothing.
  const RunResult test = box_.Run({"test", doc.string(), "--trace"});
  ASSERT_EQ(test.exitStatus, 0) << test.err;
  EXPECT_TRUE(RanSnippetContaining(test, kOutputTypeSnippet)) << test.err;
  EXPECT_EQ(ReadText(doc), before);
  EXPECT_EQ(LauncherReports(FullOutput()).size(), 1u);
}

// Every command carries the descriptor of a document saved under a new name ("Save As":
// the same document and movie copied) over to the new movie, and leaves the earlier
// document and its descriptor as they were.
TEST_F(LaunchCommands, EveryCommandCarriesTheDescriptorOfADocumentSavedUnderANewName) {
  const fs::path old = NewDocument("Old");
  const std::string destination = (box_.WorkFolder() / "out" / "Old.zaro").string();
  StoreMovieSettings(old);
  PutDocumentText(old, "com.zaro.quessa.destination", destination);
  const std::string body = "\n<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
                           "  <id>carried.app</id>\n  <filename>Old</filename>\n  <name>Old</name>\n"
                           "  <description>kept as it was</description>\n"
                           "  <initialWindow>\n    <content>Old.qmv</content>\n    <width>640</width>\n"
                           "  </initialWindow>\n</application>\n";
  WriteText(Descriptor(old), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>" + body);
  const std::string oldDescriptor = ReadText(Descriptor(old));
  const std::string oldDocument = ReadText(old);
  const RunOptions cancel = WithAnswers({Form("Settings", {Press("Cancel")})});

  for (const std::string verb : {"debug", "test", "publish", "settings"}) {
    SCOPED_TRACE(verb);
    const std::string name = "New-" + verb;
    const fs::path renamed = box_.WorkFolder() / (name + ".tsd");
    fs::copy_file(old, renamed);
    fs::copy_file(Movie(old), Movie(renamed));

    const RunResult run = box_.Run({verb, renamed.string()}, cancel);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::string expected = body;
    for (const std::string from : {">Old<", ">Old<", ">Old.qmv<"}) {
      expected.replace(expected.find(from), from.size(), from == ">Old<" ? ">" + name + "<" : ">" + name + ".qmv<");
    }
    const std::string carried = ReadText(Descriptor(renamed));
    EXPECT_EQ(carried.substr(carried.find("?>") + 2), expected);
    const std::vector<LauncherReport> launches = LauncherReports(FullOutput());
    if (verb == "debug" || verb == "test") {
      EXPECT_TRUE(run.events.empty());
      ASSERT_EQ(launches.size(), 1u);
      EXPECT_EQ(launches[0].id, "carried.app");
      EXPECT_EQ(launches[0].name, name);
      EXPECT_EQ(launches[0].content, Movie(renamed).string());
    } else {
      // Without a certificate Publish opens the sheet too; Cancel builds and launches nothing.
      ASSERT_EQ(run.events.size(), 1u) << run.err;
      EXPECT_EQ(run.events[0].event + "|" + run.events[0].text + "|" + run.events[0].answer, "form|Settings|cancel");
      EXPECT_TRUE(launches.empty());
      EXPECT_FALSE(Sandbox::DocumentValue(renamed, "com.zaro.quessa.destination"));
    }
  }
  EXPECT_EQ(ReadText(Descriptor(old)), oldDescriptor);
  EXPECT_EQ(ReadText(old), oldDocument);
}

}  // namespace
}  // namespace publish_e2e
