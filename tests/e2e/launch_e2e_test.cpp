// "TestMovie" and "DebugMovie" through the staged host, with the kit's real debug launcher.
#include <gtest/gtest.h>

#include <set>

#include "launch_e2e_support.h"

namespace {

namespace fs = std::filesystem;
using launch_e2e::Contains;
using launch_e2e::LauncherReport;
using launch_e2e::LauncherReports;
using launch_e2e::OutputAfterLaunchers;
using launch_e2e::RanSnippetContaining;
using launch_e2e::ReadText;
using launch_e2e::RecordingStage;
using launch_e2e::ScopedStage;
using launch_e2e::StoreMovieSettings;
using launch_e2e::WriteText;
using tessel::e2e::Answers;
using tessel::e2e::Json;
using tessel::e2e::RunOptions;
using tessel::e2e::RunResult;
using tessel::e2e::Sandbox;

using Arguments = std::vector<std::string>;

constexpr const char* kUnparsableDescriptor = "无法解析应用程序描述符文件。";
constexpr const char* kOutputTypeSnippet = "getDataFromDocument(\"com.corvane.tessel.brisel.output.type\")";

class LaunchCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box_.Ready()) << box_.Error();
    ASSERT_TRUE(fs::exists(Sandbox::Stage() / "bin" / "libzaropublish.so")) << "the module is not staged";
    ASSERT_TRUE(fs::exists(Sandbox::Stage() / "bin" / "ZSK2.0" / "bin" / "zrl.exe")) << "the launcher is not staged";
  }

  fs::path NewDocument(const std::string& name, int asVersion = 3) {
    const auto made = box_.NewDocument(name, "desktop", asVersion);
    EXPECT_TRUE(made) << box_.Error();
    return made.value_or(fs::path());
  }

  // Everything the run and the launchers it started wrote on standard output.
  std::string FullOutput() {
    const std::optional<std::string> output = OutputAfterLaunchers(box_);
    EXPECT_TRUE(output) << "a debug launcher was still running";
    return output.value_or("");
  }

  static fs::path Descriptor(const fs::path& document) {
    return document.parent_path() / (document.stem().string() + "-app.xml");
  }
  static fs::path Movie(const fs::path& document) {
    return document.parent_path() / (document.stem().string() + ".qmv");
  }
  static fs::path RealKit() { return fs::canonical(Sandbox::Stage()) / "bin" / "ZSK2.0"; }

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

  Sandbox box_;
};

TEST_F(LaunchCommands, DebugMovieEvaluatesTheHostSnippetAndTheLauncherRuns) {
  const fs::path doc = NewDocument("Movie");
  const RunResult run = box_.Run({"debug", doc.string(), "--profile", "mobileDevice", "--trace"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const fs::path descriptor = Descriptor(doc);
  EXPECT_TRUE(RanSnippetContaining(
      run, "tx.getDocumentDOM()." + HostCall(RealKit(), descriptor, "true", "mobileDevice") + ";"))
      << run.err;
  EXPECT_EQ(run.OutputLines("tessel: debugZAROMovie("),
            Arguments{"tessel: " + HostCall(RealKit(), descriptor, "true", "mobileDevice")});
  ASSERT_TRUE(fs::exists(descriptor));

  const std::vector<LauncherReport> launches = LauncherReports(FullOutput());
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].id, "Movie");
  EXPECT_EQ(launches[0].name, "Movie");
  EXPECT_EQ(launches[0].content, Movie(doc).string());
  EXPECT_EQ(launches[0].profile, "mobileDevice");
}

TEST_F(LaunchCommands, TestMovieOfAnOlderScriptVersionExportsAndStartsTheLauncherItself) {
  RecordingStage stage(box_);
  ASSERT_TRUE(stage.Ready());
  const ScopedStage useIt(stage.Root());
  const fs::path doc = NewDocument("Hello", 2);
  fs::remove(Movie(doc));  // the export must make it

  const RunResult run = box_.Run({"test", doc.string(), "--profile", "extendedDesktop", "--trace"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.OutputLines("tessel: exportQMV("),
            Arguments{"tessel: exportQMV(\"" + Sandbox::FileUrl(Movie(doc)) + "\", \"true\")"});
  EXPECT_TRUE(run.OutputLines("tessel: debugZAROMovie(").empty());
  EXPECT_FALSE(RanSnippetContaining(run, "debugZAROMovie")) << run.err;
  EXPECT_EQ(ReadText(Movie(doc)).substr(0, 3), "QMV");

  const std::vector<LauncherReport> launches = LauncherReports(FullOutput());
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].content, Movie(doc).string());
  EXPECT_EQ(launches[0].profile, "extendedDesktop");
  EXPECT_EQ(stage.Launches(), (std::vector<Arguments>{{Descriptor(doc).string(), "-profile", "extendedDesktop"}}));
}

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

TEST_F(LaunchCommands, ProfilesUndefinedAndDesktopAddNothingOtherProfilesAreAdded) {
  RecordingStage stage(box_);
  ASSERT_TRUE(stage.Ready());
  const ScopedStage useIt(stage.Root());
  const fs::path current = NewDocument("Current");
  const fs::path older = NewDocument("Older", 2);

  for (const std::string profile : {"undefined", "desktop", "Desktop"}) {
    SCOPED_TRACE("profile " + profile);
    const bool added = profile == "Desktop";  // the comparison is case-sensitive
    const std::optional<std::string> expected = added ? std::optional(profile) : std::nullopt;

    // Through the host: the snippet's fifth argument, which the host hands to the launcher.
    stage.ForgetLaunches();
    const RunResult debug = box_.Run({"debug", current.string(), "--profile", profile});
    ASSERT_EQ(debug.exitStatus, 0) << debug.err;
    EXPECT_EQ(debug.OutputLines("tessel: debugZAROMovie("),
              Arguments{"tessel: " + HostCall(stage.Kit(), Descriptor(current), "true", expected)});
    std::vector<LauncherReport> launches = LauncherReports(FullOutput());
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].profile, added ? profile : "desktop");
    Arguments arguments{Descriptor(current).string()};
    if (added) arguments.insert(arguments.end(), {"-profile", profile});
    EXPECT_EQ(stage.Launches(), std::vector<Arguments>{arguments});

    // Directly: the launcher's command line.
    stage.ForgetLaunches();
    const RunResult test = box_.Run({"test", older.string(), "--profile", profile});
    ASSERT_EQ(test.exitStatus, 0) << test.err;
    launches = LauncherReports(FullOutput());
    ASSERT_EQ(launches.size(), 1u);
    arguments = {Descriptor(older).string()};
    if (added) arguments.insert(arguments.end(), {"-profile", profile});
    EXPECT_EQ(stage.Launches(), std::vector<Arguments>{arguments});
  }
}

TEST_F(LaunchCommands, BlanksAndQuotesInFoldersReachTheHostAndTheLauncherIntact) {
  RecordingStage stage(box_);
  ASSERT_TRUE(stage.Ready());
  const ScopedStage useIt(stage.Root());
  const fs::path current = NewDocument("Say \"Hi\" 'now'/Hello");
  const fs::path older = NewDocument("Say \"Hi\" 'now'/Older", 2);

  const RunResult debug = box_.Run({"debug", current.string(), "--profile", "mobileDevice"});
  ASSERT_EQ(debug.exitStatus, 0) << debug.err;
  EXPECT_EQ(debug.OutputLines("tessel: debugZAROMovie("),
            Arguments{"tessel: " + HostCall(stage.Kit(), Descriptor(current), "true", "mobileDevice")});
  std::vector<LauncherReport> launches = LauncherReports(FullOutput());
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].content, Movie(current).string());

  stage.ForgetLaunches();
  const RunResult test = box_.Run({"test", older.string(), "--profile", "extendedDesktop"});
  ASSERT_EQ(test.exitStatus, 0) << test.err;
  launches = LauncherReports(FullOutput());
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].content, Movie(older).string());
  EXPECT_EQ(stage.Launches(), (std::vector<Arguments>{{Descriptor(older).string(), "-profile", "extendedDesktop"}}));
}

TEST_F(LaunchCommands, AProfileWithBlanksAndQuotesReachesTheLauncherAsOneArgument) {
  RecordingStage stage(box_);
  ASSERT_TRUE(stage.Ready());
  const ScopedStage useIt(stage.Root());
  const fs::path current = NewDocument("Current");
  const fs::path older = NewDocument("Older", 2);
  const std::string profile = "extended \"wide\" Desktop";

  // DebugMovie goes through the host; TestMovie of an older script version starts the
  // launcher itself. Both must hand the profile over whole.
  for (const auto& [verb, doc] : {std::pair<std::string, fs::path>{"debug", current}, {"test", older}}) {
    SCOPED_TRACE(verb);
    stage.ForgetLaunches();
    const RunResult run = box_.Run({verb, doc.string(), "--profile", profile});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::vector<LauncherReport> launches = LauncherReports(FullOutput());
    ASSERT_EQ(launches.size(), 1u) << run.err;
    EXPECT_EQ(launches[0].profile, profile);
    EXPECT_EQ(stage.Launches(), (std::vector<Arguments>{{Descriptor(doc).string(), "-profile", profile}}));
  }
}

TEST_F(LaunchCommands, OnlyAHostAnswerOfTwoMakesTestMovieStartTheLauncherItself) {
  RecordingStage stage(box_);
  ASSERT_TRUE(stage.Ready());
  const ScopedStage useIt(stage.Root());
  const fs::path doc = NewDocument("Hello");
  const std::string hostCall = HostCall(stage.Kit(), Descriptor(doc), "false", "extendedDesktop");

  // The host runs the movie itself (answer 0): one launch, the host's.
  const RunResult hosted = box_.Run({"test", doc.string(), "--profile", "extendedDesktop"});
  ASSERT_EQ(hosted.exitStatus, 0) << hosted.err;
  EXPECT_EQ(hosted.OutputLines("tessel: debugZAROMovie("), Arguments{"tessel: " + hostCall});
  EXPECT_EQ(LauncherReports(FullOutput()).size(), 1u);
  EXPECT_EQ(stage.Launches(), (std::vector<Arguments>{{Descriptor(doc).string(), "-profile", "extendedDesktop"}}));

  // The host answers 2 and starts nothing: the module starts the launcher directly.
  stage.ForgetLaunches();
  const RunResult fallback = box_.Run({"test", doc.string(), "--profile", "extendedDesktop", "--no-host-debug"});
  ASSERT_EQ(fallback.exitStatus, 0) << fallback.err;
  EXPECT_EQ(fallback.OutputLines("tessel: debugZAROMovie("), Arguments{"tessel: " + hostCall});
  std::vector<LauncherReport> launches = LauncherReports(FullOutput());
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].id, "Hello");
  EXPECT_EQ(launches[0].profile, "extendedDesktop");
  EXPECT_EQ(stage.Launches(), (std::vector<Arguments>{{Descriptor(doc).string(), "-profile", "extendedDesktop"}}));

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
    ASSERT_EQ(StoreMovieSettings(box_, doc_).exitStatus, 0);
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

TEST_F(SceneMovie, DebugMovieKeepsAnExistingDescriptor) {
  const RunResult run = box_.Run({"debug", doc_.string()});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(ReadText(Descriptor(doc_)), customised_);
  const std::vector<LauncherReport> launches = LauncherReports(FullOutput());
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].id, "scene.customised");
  EXPECT_EQ(launches[0].content, Movie(doc_).string());
}

TEST_F(SceneMovie, TestMovieWritesAFreshDefaultDescriptorOnEveryLaunch) {
  for (const bool hostDebug : {true, false}) {
    SCOPED_TRACE(hostDebug ? "through the host" : "host answers 2");
    WriteText(Descriptor(doc_), customised_);
    Arguments arguments{"test", doc_.string(), "--profile", "extendedDesktop"};
    if (!hostDebug) arguments.push_back("--no-host-debug");
    const RunResult run = box_.Run(arguments);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(ReadText(Descriptor(doc_)), fresh_);
    const std::vector<LauncherReport> launches = LauncherReports(FullOutput());
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].id, "Movie-Scene-1");
    EXPECT_EQ(launches[0].profile, "extendedDesktop");
  }
}

TEST_F(SceneMovie, AfterAHostAnswerOfTwoTheDescriptorIsWrittenOnceMore) {
  // The host spoils the descriptor (it compiles the movie over it) and then answers 2: only
  // a second fresh write lets the direct launch parse it.
  const std::string spoil = "function () { d.exportQMV(" + Json(Sandbox::FileUrl(Descriptor(doc_))).dump() +
                            ", true); return 2; }";
  RunOptions options;
  options.answers = Answers(Json::array());
  const RunResult scene = TestMovieWithHostAnswer(doc_, spoil, options);
  ASSERT_EQ(scene.exitStatus, 0) << scene.err;
  EXPECT_TRUE(scene.EventsOf("message").empty());
  EXPECT_EQ(ReadText(Descriptor(doc_)), fresh_);
  std::vector<LauncherReport> launches = LauncherReports(FullOutput());
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].id, "Movie-Scene-1");

  // A movie that is no scene keeps its descriptor, so the spoilt one is refused.
  const fs::path plain = NewDocument("Plain");
  ASSERT_EQ(StoreMovieSettings(box_, plain).exitStatus, 0);
  ASSERT_EQ(box_.Run({"test", plain.string(), "--no-host-debug"}).exitStatus, 0);
  ASSERT_EQ(LauncherReports(FullOutput()).size(), 1u);
  const std::string plainSpoil = "function () { d.exportQMV(" + Json(Sandbox::FileUrl(Descriptor(plain))).dump() +
                                 ", true); return 2; }";
  const RunResult other = TestMovieWithHostAnswer(plain, plainSpoil, options);
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
  RunOptions options;
  options.answers = Answers(Json::array());
  for (const std::string verb : {"debug", "test"}) {
    SCOPED_TRACE(verb);
    const RunResult run = box_.Run({verb, doc.string(), "--profile", "extendedDesktop"}, options);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    ASSERT_EQ(run.events.size(), 1u) << run.err;
    EXPECT_EQ(run.events[0].event, "message");
    EXPECT_EQ(run.events[0].text, kUnparsableDescriptor);
    EXPECT_EQ(run.events[0].style, 48u);
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

TEST_F(LaunchCommands, BothCommandsCarryTheDescriptorOfADocumentSavedUnderANewName) {
  const fs::path old = NewDocument("Old");
  ASSERT_EQ(StoreMovieSettings(box_, old).exitStatus, 0);
  WriteText(Descriptor(old),
           "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
           "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
           "  <id>carried.app</id>\n  <filename>Old</filename>\n  <name>Old</name>\n"
           "  <initialWindow>\n    <content>Old.qmv</content>\n  </initialWindow>\n</application>\n");
  const std::string oldDescriptor = ReadText(Descriptor(old));

  for (const std::string verb : {"debug", "test"}) {
    SCOPED_TRACE(verb);
    const std::string name = verb == "debug" ? "Renamed" : "Moved";
    const fs::path renamed = box_.WorkFolder() / (name + ".tsd");
    fs::copy_file(old, renamed);
    fs::copy_file(Movie(old), Movie(renamed));

    const RunResult run = box_.Run({verb, renamed.string()});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::string carried = ReadText(Descriptor(renamed));
    EXPECT_TRUE(Contains(carried, "<id>carried.app</id>")) << carried;
    EXPECT_TRUE(Contains(carried, "<content>" + name + ".qmv</content>")) << carried;
    const std::vector<LauncherReport> launches = LauncherReports(FullOutput());
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].id, "carried.app");
    EXPECT_EQ(launches[0].name, name);
    EXPECT_EQ(launches[0].content, Movie(renamed).string());
  }
  EXPECT_EQ(ReadText(Descriptor(old)), oldDescriptor);
}

}  // namespace
