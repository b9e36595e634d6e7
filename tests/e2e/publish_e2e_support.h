#pragma once
// Shared pieces of the publishing end-to-end tests: a recording Java launcher in the
// sandbox, the kit's packaging tool run directly (certificates, -verify), answers-file
// builders, document and descriptor edits, and the catalogue texts the tests expect.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tessel_e2e.h"

namespace publish_e2e {

namespace fs = std::filesystem;
using tessel::e2e::Json;
using tessel::e2e::ReadText;
using tessel::e2e::RunResult;
using tessel::e2e::Sandbox;
using tessel::e2e::UiEvent;
using tessel::e2e::WriteText;

// Catalogue texts, byte for byte.
inline constexpr char kCreateFileError[] = "创建文件时出错。\n\n";
inline constexpr char kZaroCreated[] = "已创建 ZARO 文件。";
inline constexpr char kZaroiCreated[] = "已创建 ZAROI 文件。";
inline constexpr char kInstallerCreated[] = "Windows 安装文件已创建。";
inline constexpr char kMissingFile[] = "缺少文件或无法打开文件。";
inline constexpr char kCertificateInaccessible[] = "无法访问数字证书。";
inline constexpr char kInvalidValue[] = "应用程序描述符文件中的属性或元素包含无效的值。";
inline constexpr char kIconsMissing[] = "缺少图标文件。";
inline constexpr char kCannotWrite[] = "无法写入到目标目录。";
inline constexpr char kExportFailed[] = "导出 QMV 文件时出错。请在编译器错误面板中查看错误。";
inline constexpr char kNoTimestampQuestion[] =
    "如果 ZARO 应用程序没有时间戳，则当数字证书过期时它将无法安装。\n\n是否确定要禁用时间戳？";
inline constexpr char kCertificateCreated[] = "已创建自签名的证书。";
inline constexpr char kDefaultAuthority[] = "https://timestamp.corvane.example/tsa";

// A POSIX path in the Windows form an author types into a dialog ("\" separators).
inline std::string WindowsForm(const fs::path& path) {
  std::string text = path.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

// ---- answers ---------------------------------------------------------------------------

inline Json Message(const std::string& button) { return Json{{"message", button}}; }
inline Json Set(const std::string& field, const std::string& value) {
  Json fields = Json::object();
  fields[field] = value;
  return Json{{"set", fields}};
}
inline Json Press(const std::string& button) { return Json{{"press", button}}; }
inline Json Wait(int milliseconds) { return Json{{"wait", milliseconds}}; }
inline Json Form(const std::string& name, const std::vector<Json>& steps) {
  return Json{{"form", name}, {"steps", Json(steps)}};
}
inline tessel::e2e::RunOptions WithAnswers(const std::vector<Json>& answers) {
  tessel::e2e::RunOptions options;
  options.answers = tessel::e2e::Answers(Json(answers));
  return options;
}

// ---- what the run showed ---------------------------------------------------------------

// One line per event, "kind|text|style|answer" (style and answer only for messages), so a
// whole sequence compares in one assertion with a readable difference.
inline std::vector<std::string> Shown(const RunResult& run) {
  std::vector<std::string> lines;
  for (const UiEvent& event : run.events) {
    if (event.event == "message") {
      lines.push_back("message|" + event.text + "|" + std::to_string(event.style) + "|" + event.answer);
    } else {
      lines.push_back(event.event + "|" + event.text);
    }
  }
  return lines;
}
inline std::string MessageLine(const std::string& text, unsigned style, const std::string& answer = "ok") {
  return "message|" + text + "|" + std::to_string(style) + "|" + answer;
}
inline std::string FormLine(const std::string& name) { return "form|" + name; }

inline std::string Describe(const RunResult& run) {
  std::string text = "exit " + std::to_string(run.exitStatus) + "\nstdout:\n" + run.out + "\nstderr:\n" + run.err +
                     "\nshown:\n";
  for (const UiEvent& event : run.events) text += event.raw.dump() + "\n";
  return text;
}

// ---- the kit ---------------------------------------------------------------------------

inline fs::path StagedBin() {
  std::error_code code;
  fs::path bin = fs::canonical(Sandbox::Stage() / "bin", code);
  return code ? Sandbox::Stage() / "bin" : bin;
}
inline fs::path PackagingTool() { return StagedBin() / "ZSK2.0" / "lib" / "ZPK.jar"; }
inline fs::path RealJavaLauncher() {
  return Sandbox::Stage() / "ProgramData" / "Corvane" / "KV5" / "jre" / "bin" / "java.exe";
}

struct ToolRun {
  int exitCode = -1;
  std::string output;
};

// Runs a kit tool (a native executable) with its output and errors collected.
inline ToolRun RunTool(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& scratch) {
  auto quoted = [](const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  };
  std::string command = quoted(program.string());
  for (const std::string& argument : arguments) command += " " + quoted(argument);
  const fs::path outFile = scratch / "kit-tool.out";
  const int status = std::system((command + " > " + quoted(outFile.string()) + " 2>&1").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(outFile)};
}
inline ToolRun RunKitTool(const std::vector<std::string>& arguments, const fs::path& scratch) {
  return RunTool(PackagingTool(), arguments, scratch);
}

// A self-signed keystore made with the kit's own "-certificate" command.
inline bool MakeKeystore(const fs::path& file, const std::string& password, const fs::path& scratch) {
  fs::create_directories(file.parent_path());
  const ToolRun run = RunKitTool(
      {"-certificate", "-cn", "Ann Author", "-ou", "Publishing", "-o", "Example", "-c", "US", "1024-RSA", file.string(),
       password},
      scratch);
  return run.exitCode == 0 && fs::exists(file);
}

inline ToolRun Verify(const fs::path& package, const fs::path& scratch) {
  return RunKitTool({"-verify", package.string()}, scratch);
}
inline ToolRun VerifyIpa(const fs::path& ipa, const fs::path& scratch) {
  return RunTool(StagedBin() / "MPK" / "lib" / "mpk.jar", {"-verify", ipa.string()}, scratch);
}

// True when the file holds an unsigned intermediate file's type entry.
inline bool IsIntermediateFile(const fs::path& file) {
  return ReadText(file).find("application/vnd.corvane.zaro-intermediate+zip") != std::string::npos;
}

// ---- the recording Java launcher -------------------------------------------------------

// Stands in for the Java launcher in the sandbox's common application data folder: it
// records every run's arguments and then runs the real staged launcher. A "sleep" file in its
// folder makes every run wait that many seconds first (its process ids in "pid" and
// "sleeper", and "finished" written once the wait is over).
class RecordingLauncher {
 public:
  explicit RecordingLauncher(const Sandbox& box) : folder_(box.CommonAppData() / "Corvane" / "KV5" / "jre" / "bin") {
    const fs::path jre = folder_.parent_path();
    std::error_code code;
    fs::remove(jre, code);  // the link to the staged runtime
    fs::create_directories(folder_);
    const fs::path script = folder_ / "java.exe";
    WriteText(script, "#!/bin/sh\n"
                      "dir=$(dirname \"$0\")\n"
                      "n=$(( $(cat \"$dir/count\" 2>/dev/null || echo 0) + 1 ))\n"
                      "echo \"$n\" > \"$dir/count\"\n"
                      ": > \"$dir/args.$n\"\n"
                      "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$dir/args.$n\"; done\n"
                      "if [ -f \"$dir/sleep\" ]; then\n"
                      "  echo $$ > \"$dir/pid\"\n"
                      "  sleep \"$(cat \"$dir/sleep\")\" &\n"
                      "  echo $! > \"$dir/sleeper\"\n"
                      "  wait $!\n"
                      "  echo done > \"$dir/finished\"\n"
                      "fi\n"
                      "exec '" + RealJavaLauncher().string() + "' \"$@\"\n");
    ::chmod(script.c_str(), 0755);
  }

  // Forgets earlier runs and steering files.
  void Reset() {
    std::error_code code;
    for (const auto& entry : fs::directory_iterator(folder_, code)) {
      if (entry.path().filename() != "java.exe") fs::remove(entry.path(), code);
    }
  }

  void SleepFirst(int seconds) { WriteText(folder_ / "sleep", std::to_string(seconds)); }

  // Every run's arguments, in order.
  std::vector<std::vector<std::string>> Calls() const {
    std::vector<std::vector<std::string>> calls;
    for (int run = 1; fs::exists(folder_ / ("args." + std::to_string(run))); ++run) {
      std::vector<std::string> args;
      const std::string all = ReadText(folder_ / ("args." + std::to_string(run)));
      size_t start = 0;
      for (size_t end; (end = all.find('\0', start)) != std::string::npos; start = end + 1) {
        args.push_back(all.substr(start, end - start));
      }
      calls.push_back(std::move(args));
    }
    return calls;
  }

  std::optional<pid_t> ProcessId(const std::string& name) const {
    const std::string text = ReadText(folder_ / name);
    if (text.empty()) return std::nullopt;
    return static_cast<pid_t>(std::stol(text));
  }
  bool Finished() const { return fs::exists(folder_ / "finished"); }

 private:
  fs::path folder_;
};

// The packaging tool's arguments as the launcher received them, "-jar" and the archive first.
inline std::vector<std::string> ToolCommand(std::vector<std::string> toolArguments) {
  std::vector<std::string> all{"-jar", PackagingTool().string()};
  all.insert(all.end(), toolArguments.begin(), toolArguments.end());
  return all;
}

// True once the process is gone (a zombie counts as gone); a killed process may take a
// moment to be torn down, so this looks again for up to five seconds.
inline bool ProcessGone(pid_t pid) {
  for (int attempt = 0; attempt < 100; ++attempt, ::usleep(50 * 1000)) {
    const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z' || stat[close + 2] == 'X') {
      return true;
    }
  }
  return false;
}

// ---- documents and descriptors ---------------------------------------------------------

// Adds or replaces one text value in a saved document, as an earlier session left it.
inline void PutDocumentText(const fs::path& document, const std::string& key, const std::string& value) {
  Json parsed = Sandbox::ReadDocument(document);
  Json& data = parsed["data"];
  bool replaced = false;
  for (Json& entry : data) {
    if (entry.value("key", "") == key) {
      entry["value"] = value;
      replaced = true;
    }
  }
  if (!replaced) data.push_back(Json{{"key", key}, {"type", "string"}, {"value", value}});
  WriteText(document, parsed.dump(2));
}

// A descriptor for the movie `baseName` as an author might keep it beside the movie.
inline std::string DescriptorXml(const std::string& baseName, const std::string& id, const std::string& extra = "") {
  return "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
         "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
         "  <id>" + id + "</id>\n  <version>1.0</version>\n  <filename>" + baseName + "</filename>\n"
         "  <name>" + baseName + "</name>\n"
         "  <initialWindow><content>" + baseName + ".qmv</content><systemChrome>standard</systemChrome>"
         "<transparent>false</transparent><visible>true</visible></initialWindow>\n" +
         extra + "</application>\n";
}

// Host-script lines that run the module's commands on the open document.
inline constexpr char kScriptCommands[] =
    "function settings() { zaro.OpenSettingDialog(tessel.documentURL, tessel.movieURL, tessel.kitVersion); }\n"
    "function publish() { zaro.Publish(tessel.documentURL, tessel.movieURL, tessel.kitVersion); }\n"
    "var doc = tx.getDocumentDOM();\n";

// A sandbox of its own for each test, with what the publishing scenarios share.
class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(box_.Ready()) << box_.Error(); }
  fs::path Work() const { return box_.WorkFolder(); }
  static fs::path Descriptor(const fs::path& document) {
    return document.parent_path() / (document.stem().string() + "-app.xml");
  }
  static fs::path Movie(const fs::path& document) { return document.parent_path() / (document.stem().string() + ".qmv"); }
  fs::path NewDocument(const std::string& name, const std::string& target = "desktop", int asVersion = 3) {
    const auto document = box_.NewDocument(name, target, asVersion);
    EXPECT_TRUE(document) << box_.Error();
    return document.value_or(fs::path());
  }
  // A host script: kScriptCommands, then the body, on the document.
  RunResult Script(const std::string& body, const fs::path& document, const std::vector<Json>& answers = {}) {
    return box_.RunScript(std::string(kScriptCommands) + body, document, WithAnswers(answers));
  }

  Sandbox box_;
};

}  // namespace publish_e2e
