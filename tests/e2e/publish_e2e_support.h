#pragma once
// Shared pieces of the publishing end-to-end tests: answers, what a run showed, the kit's tools
// run directly (-verify), a recording Java launcher, document and descriptor edits.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessel_e2e.h"
#include "test_support.h"

namespace publish_e2e {

namespace fs = std::filesystem;
using namespace tessel::e2e;
using Lines = std::vector<std::string>;

inline constexpr char kCreateFileError[] = "创建文件时出错。\n\n";
inline constexpr char kZaroCreated[] = "已创建 ZARO 文件。";
inline constexpr char kZaroiCreated[] = "已创建 ZAROI 文件。";
inline constexpr char kNoTimestampQuestion[] =
    "如果 ZARO 应用程序没有时间戳，则当数字证书过期时它将无法安装。\n\n是否确定要禁用时间戳？";

// A POSIX path in the Windows form an author types into a dialog ("\" separators).
inline std::string WindowsForm(const fs::path& path) {
  std::string text = path.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

// A "set" or "expect" step takes several fields, applied in their order.
inline Json Message(const std::string& button) { return Json{{"message", button}}; }
inline Json File(const fs::path& path) { return Json{{"file", WindowsForm(path)}}; }
inline Json Set(Json fields) { return Json{{"set", std::move(fields)}}; }
inline Json Expect(Json fields) { return Json{{"expect", std::move(fields)}}; }
inline Json Press(const std::string& button) { return Json{{"press", button}}; }
inline Json Form(const std::string& name, const std::vector<Json>& steps) {
  return Json{{"form", name}, {"steps", Json(steps)}};
}
inline RunOptions WithAnswers(const std::vector<Json>& answers) { return {Answers(Json(answers)), {}, false}; }

// One line per event, "kind|text|style|answer" for messages and "kind|text" for the rest
// (with "|answer" where `answers` asks for it), so a whole sequence compares in one assertion.
inline std::string MessageLine(const std::string& text, unsigned style, const std::string& answer = "ok") {
  return "message|" + text + "|" + std::to_string(style) + "|" + answer;
}
inline Lines Shown(const RunResult& run, bool answers = false) {
  Lines lines;
  for (const UiEvent& event : run.events) {
    lines.push_back(event.event == "message" ? MessageLine(event.text, event.style, event.answer)
                                             : event.event + "|" + event.text + (answers ? "|" + event.answer : ""));
  }
  return lines;
}
inline std::string FormLine(const std::string& name) { return "form|" + name; }
inline const Lines kZaroiPublished{FormLine("CProgressDlg"), MessageLine(kZaroiCreated, 64)};

// The document's values under the keys: texts as they are, others as JSON, "-" when absent.
inline Lines Texts(const fs::path& document, const Lines& keys) {
  Lines values;
  for (const std::string& key : keys) {
    const std::optional<Json> value = Sandbox::DocumentValue(document, key);
    values.push_back(!value ? "-" : value->is_string() ? value->get<std::string>() : value->dump());
  }
  return values;
}

inline fs::path PackagingTool() {
  std::error_code code;
  const fs::path bin = fs::canonical(Sandbox::Stage() / "bin", code);
  return (code ? Sandbox::Stage() / "bin" : bin) / "ZSK2.0" / "lib" / "ZPK.jar";
}
inline zpk::testing::ToolRun Verify(const fs::path& package, const std::string& tool = PackagingTool().string()) {
  return zpk::testing::RunProgram(tool, {"-verify", package.string()}, {});
}
inline zpk::testing::ToolRun VerifyIpa(const fs::path& ipa) {
  return Verify(ipa, (Sandbox::Stage() / "bin" / "MPK" / "lib" / "mpk.jar").string());
}
inline void ExpectHolds(const std::string& text, const Lines& parts) {
  for (const std::string& part : parts) EXPECT_TRUE(Contains(text, part)) << part << " is not in\n" << text;
}
inline bool IsIntermediateFile(const fs::path& file) {
  return Contains(ReadText(file), "application/vnd.corvane.zaro-intermediate+zip");
}
// The packaging tool's arguments as the launcher received them, "-jar" and the archive first.
inline Lines ToolCommand(Lines toolArguments) {
  toolArguments.insert(toolArguments.begin(), {"-jar", PackagingTool().string()});
  return toolArguments;
}

// Stands in for `program`: records every run's arguments, one a line, in the program's folder
// and then runs `real`.
class RecordingProgram {
 public:
  RecordingProgram(const fs::path& program, const fs::path& real) : folder_(program.parent_path()) {
    WriteText(program, R"sh(#!/bin/sh
dir=$(dirname "$0")
n=$(( $(cat "$dir/count" 2>/dev/null || echo 0) + 1 ))
echo "$n" > "$dir/count"
printf '%s\n' "$@" > "$dir/args.$n"
exec ')sh" + real.string() + "' \"$@\"\n");
    ::chmod(program.c_str(), 0755);
  }
  // Every run's arguments since the last call, in order.
  std::vector<Lines> Calls() const {
    std::vector<Lines> calls;
    for (int run = 1; fs::exists(folder_ / ("args." + std::to_string(run))); ++run) {
      calls.push_back(LinesStartingWith(ReadText(folder_ / ("args." + std::to_string(run))), ""));
      fs::remove(folder_ / ("args." + std::to_string(run)));
    }
    fs::remove(folder_ / "count");
    return calls;
  }

 private:
  fs::path folder_;
};

// The Java launcher in the sandbox's common application data folder, in place of the staged one.
struct RecordingLauncher : RecordingProgram {
  explicit RecordingLauncher(const Sandbox& box)
      : RecordingProgram(Replaced(box.CommonAppData() / "Corvane" / "KV5" / "jre"),
                         Sandbox::Stage() / "ProgramData" / "Corvane" / "KV5" / "jre" / "bin" / "java.exe") {}
  static fs::path Replaced(const fs::path& jre) {
    fs::remove(jre);
    return jre / "bin" / "java.exe";
  }
};

// Adds or replaces text values in a saved document, as an earlier session left them.
inline void PutDocumentTexts(const fs::path& document, const std::vector<std::pair<std::string, std::string>>& texts) {
  Json parsed = Sandbox::ReadDocument(document);
  Json& data = parsed["data"];
  for (const auto& [key, value] : texts) {
    const auto entry = std::find_if(data.begin(), data.end(), [&](const Json& e) { return e.value("key", "") == key; });
    if (entry != data.end()) (*entry)["value"] = value;
    if (entry == data.end()) data.push_back(Json{{"key", key}, {"type", "string"}, {"value", value}});
  }
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

// A sandbox of its own for each test.
class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(box_.Ready()) << box_.Error(); }
  fs::path Work() const { return box_.WorkFolder(); }
  static fs::path Descriptor(const fs::path& doc) { return doc.parent_path() / (doc.stem().string() + "-app.xml"); }
  static fs::path Movie(const fs::path& doc) { return doc.parent_path() / (doc.stem().string() + ".qmv"); }
  fs::path NewDocument(const std::string& name, const std::string& target = "desktop", int asVersion = 3) {
    const auto document = box_.NewDocument(name, target, asVersion);
    EXPECT_TRUE(document) << box_.Error();
    return document.value_or(fs::path());
  }
  fs::path Keystore(const std::string& name, const std::string& password) {
    const fs::path file = box_.Root() / "keys" / name;
    zpk::testing::WriteTestKeystore(file.string(), password, "Ann Author", 1024);
    return file;
  }
  RunResult Run(const Lines& arguments, const std::vector<Json>& answers) {
    return Succeeded(box_.Run(arguments, WithAnswers(answers)));
  }
  // A host script on the document: the module's commands as functions, `doc`, then the body.
  RunResult Script(const std::string& body, const fs::path& document, const std::vector<Json>& answers = {}) {
    return Succeeded(box_.RunScript(
        "function settings() { zaro.OpenSettingDialog(tessel.documentURL, tessel.movieURL, tessel.kitVersion); }\n"
        "function publish() { zaro.Publish(tessel.documentURL, tessel.movieURL, tessel.kitVersion); }\n"
        "var doc = tx.getDocumentDOM();\n" + body,
        document, WithAnswers(answers)));
  }
  static RunResult Succeeded(RunResult run) {
    std::string shown;
    for (const UiEvent& event : run.events) shown += event.raw.dump() + "\n";
    EXPECT_EQ(run.exitStatus, 0) << "stdout:\n" << run.out << "\nstderr:\n" << run.err << "\nshown:\n" << shown;
    return run;
  }
  static void ExpectVerified(const zpk::testing::ToolRun& verified, const std::string& part, int code = 0) {
    EXPECT_EQ(verified.code, code) << verified.output;
    EXPECT_TRUE(Contains(verified.output, part)) << verified.output;
  }

  Sandbox box_;
};

}  // namespace publish_e2e
