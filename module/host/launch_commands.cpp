#include <optional>
#include <string>

#include "descriptor/descriptor_reader.h"
#include "descriptor/descriptor_template.h"
#include "host/command_arguments.h"
#include "host/command_paths.h"
#include "host/commands.h"
#include "host/host_table.h"
#include "host/descriptor_reuse.h"
#include "host/script_bridge.h"
#include "packaging/package_command.h"
#include "platform/files.h"
#include "platform/process_runner.h"
#include "settings/settings_store.h"

namespace zaro {
namespace {

// The host answers its debugging run with 2 when it cannot start the launcher itself.
constexpr std::int32_t kHostCannotLaunch = 2;

// Argument 4: a runtime profile, unless it is missing, "undefined" or "desktop".
std::optional<std::u16string> LaunchProfile(ScriptContext context, std::uint32_t argc, const ScriptValue* argv) {
  const HostText text = HostValueToString(context, ArgumentAt(argc, argv, 3));
  if (text.text == nullptr) return std::nullopt;
  std::u16string profile(text.text, text.length);
  if (profile == u"undefined" || profile == u"desktop") return std::nullopt;
  return profile;
}

std::u16string LauncherPath(const CommandPaths& paths) { return paths.launchFolder + paths.kitName + u"/bin/zrl.exe"; }

std::u16string HostDebugSnippet(const CommandPaths& paths, bool debug, const std::optional<std::u16string>& profile) {
  std::u16string snippet = u"tx.getDocumentDOM().debugZAROMovie(\"";
  snippet += EscapeScriptString(LauncherPath(paths)) + u"\", \"";
  snippet += EscapeScriptString(paths.launchFolder + paths.kitName + u"/runtimes/zaro/win") + u"\", \"";
  snippet += EscapeScriptString(paths.descriptorPath);
  snippet += debug ? u"\", \"true" : u"\", \"false";
  if (profile) snippet += u"\", \"" + EscapeScriptString(*profile);
  snippet += u"\");";
  return snippet;
}

// Writes the descriptor where the launch needs one; false only when writing the template
// reports failure.
bool EnsureDescriptor(ScriptContext context, ScriptObject object) {
  const CommandPaths& paths = CurrentCommandPaths();
  if (MovieFolderUnset(context, object)) {
    ApplyOutputType(context, object);
    SetSetting(keys::kDocumentPath, paths.documentPath);
    if (!platform::PathExists(paths.descriptorPath)) return WriteDescriptorTemplate();
    return true;
  }
  // A scene test always starts from a fresh default descriptor.
  if (paths.movieBaseName.find(u"_Scene ") != std::u16string::npos) return WriteDescriptorTemplate();
  return MakeMissingDescriptor(context, object, OutputTypeRule::Keep);
}

std::int32_t LaunchDebugLauncher(ScriptContext context, ScriptObject object, std::uint32_t argc,
                                 const ScriptValue* argv) {
  const auto profile = LaunchProfile(context, argc, argv);
  if (!EnsureDescriptor(context, object)) return 0;
  const CommandPaths& paths = CurrentCommandPaths();
  if (!UpgradeDescriptorNamespace(paths.descriptorPath)) return 1;
  std::u16string commandLine = QuoteArgument(LauncherPath(paths)) + u" " + QuoteArgument(paths.descriptorPath);
  // The profile is quoted like the paths, so blanks or quotes in it stay one argument.
  if (profile) commandLine += u" -profile " + QuoteArgument(*profile);
  std::string ignored;
  CreateWinProcess(commandLine, false, ignored, nullptr);
  return 1;
}

}  // namespace

std::int32_t TestMovieHandler(ScriptContext context, ScriptObject object, std::uint32_t argc, ScriptValue* argv,
                              ScriptValue*) {
  RememberScriptContext(context, object);
  // TestMovie names the movie first and the document second.
  if (!PrepareCommand(context, object, ArgumentAt(argc, argv, 1), ArgumentAt(argc, argv, 0),
                      ArgumentAt(argc, argv, 2))) {
    return 1;
  }
  const CommandPaths& paths = CurrentCommandPaths();
  if (!IsScriptVersion3(context, object)) {
    // The export counts only when it ran and answered true; the raw word alone cannot tell,
    // since the host's word 1 stands for "no value".
    const ExportResult exported = ExportMovie(context, object, paths.movieUrl);
    std::int32_t succeeded = 0;
    if (exported.ran == 1) HostValueToBoolean(context, exported.raw, succeeded);
    if (succeeded != 1) return 0;
    return LaunchDebugLauncher(context, object, argc, argv);
  }
  const auto profile = LaunchProfile(context, argc, argv);
  if (!EnsureDescriptor(context, object)) return 0;
  if (!UpgradeDescriptorNamespace(paths.descriptorPath)) return 1;
  if (EvaluateForInteger(context, object, HostDebugSnippet(paths, false, profile)) == kHostCannotLaunch) {
    return LaunchDebugLauncher(context, object, argc, argv);
  }
  return 1;
}

std::int32_t DebugMovieHandler(ScriptContext context, ScriptObject object, std::uint32_t argc, ScriptValue* argv,
                               ScriptValue*) {
  RememberScriptContext(context, object);
  if (!PrepareCommand(context, object, ArgumentAt(argc, argv, 0), ArgumentAt(argc, argv, 1),
                      ArgumentAt(argc, argv, 2))) {
    return 1;
  }
  const auto profile = LaunchProfile(context, argc, argv);
  const CommandPaths& paths = CurrentCommandPaths();
  // No scene or movie-folder test here: an existing descriptor is always kept.
  if (!MakeMissingDescriptor(context, object, OutputTypeRule::Keep)) return 0;
  if (!UpgradeDescriptorNamespace(paths.descriptorPath)) return 1;
  EvaluateSnippet(context, object, HostDebugSnippet(paths, true, profile), false);
  return 1;
}

}  // namespace zaro
