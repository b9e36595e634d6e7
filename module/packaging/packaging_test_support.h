#pragma once
// Scaffolding of the packaging tests: a temporary movie folder with a movie and a
// descriptor, a fake tool standing in for the Java launcher, settings, registry and the
// scripted window system.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "descriptor/descriptor_document.h"
#include "descriptor/descriptor_reader.h"
#include "platform/scripted_ui.h"
#include "platform/text.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"
#include "testing/scratch.h"

namespace zaro::packaging_testing {

namespace fs = std::filesystem;

inline void WriteText(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// A tool that records its arguments and answers as its folder tells it. Run n (from 1)
// writes its arguments, NUL-terminated, to args.n and its process id to pid; it sleeps for
// the seconds in "sleep", prints output.n (else output) and exits with exit.n (else exit,
// else 0).
inline constexpr char kFakeTool[] = R"SH(#!/bin/sh
dir=$(dirname "$0")
n=$(( $(cat "$dir/count" 2>/dev/null || echo 0) + 1 ))
echo "$n" > "$dir/count"
echo "$$" > "$dir/pid"
: > "$dir/args.$n"
for a in "$@"; do printf '%s\0' "$a" >> "$dir/args.$n"; done
if [ -f "$dir/sleep" ]; then sleep "$(cat "$dir/sleep")"; fi
if [ -f "$dir/output.$n" ]; then cat "$dir/output.$n"; elif [ -f "$dir/output" ]; then cat "$dir/output"; fi
code=0
if [ -f "$dir/exit.$n" ]; then code=$(cat "$dir/exit.$n"); elif [ -f "$dir/exit" ]; then code=$(cat "$dir/exit"); fi
exit "$code"
)SH";

inline void InstallFakeTool(const fs::path& path) {
  WriteText(path, kFakeTool);
  ::chmod(path.c_str(), 0755);
}

inline std::string Descriptor(const std::string& inner) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
         "  <id>com.example.demo</id>\n  <filename>Hello</filename>\n  <name>Demo</name>\n"
         "  <version>1.0</version>\n  <initialWindow><content>Hello.qmv</content></initialWindow>\n" +
         inner + "</application>\n";
}

class PackagingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(root_.empty());
    ::setenv("TESSEL_REGISTRY_FILE", (root_ / "registry").c_str(), 1);
    ::setenv("TESSEL_COMMON_APPDATA", (root_ / "ProgramData").c_str(), 1);
    toolDir_ = root_ / "ProgramData" / "Corvane" / "KV5" / "jre" / "bin";
    InstallFakeTool(toolDir_ / "java.exe");

    testing::ClearSettings();
    movieFolder_ = root_ / "movie";
    UseMovieFolder(FromUtf8(movieFolder_.string() + "/"), movieFolder_);
    SetSetting(keys::kLaunchPath, FromUtf8((root_ / "bin").string() + "/"));
    SetSetting(keys::kKitName, u"ZSK2.0");
    SetSetting(keys::kCertPath, FromUtf8((root_ / "cert.p12").string()));
    SetSetting(keys::kCertPassword, u"secret");
    WriteRegistryValue(u"DigitalSign", u"sign");
    ReleaseDescriptor(MovieDescriptor());
  }

  void TearDown() override {
    ReleaseDescriptor(MovieDescriptor());
  }

  // Points the settings at a movie folder (as stored) that is `posixFolder` on disk, with
  // the movie Hello.qmv and its descriptor in it.
  void UseMovieFolder(const std::u16string& stored, const fs::path& posixFolder, const std::string& inner = "") {
    SetSetting(keys::kMovieFolder, stored);
    SetSetting(keys::kMovieBaseName, u"Hello");
    WriteText(posixFolder / "Hello.qmv", std::string("QMV\x01", 4));
    WriteText(posixFolder / "Hello-app.xml", Descriptor(inner));
  }

  std::u16string Folder() const { return GetSetting(keys::kMovieFolder); }
  std::string FolderUtf8() const { return ToUtf8(Folder()); }

  int ToolRuns() const {
    const std::string count = ReadText(toolDir_ / "count");
    return count.empty() ? 0 : std::stoi(count);
  }
  // The arguments the tool received on run n.
  std::vector<std::string> ToolArgs(int run = 1) const {
    std::vector<std::string> args;
    std::string all = ReadText(toolDir_ / ("args." + std::to_string(run)));
    size_t start = 0;
    for (size_t end; (end = all.find('\0', start)) != std::string::npos; start = end + 1) {
      args.push_back(all.substr(start, end - start));
    }
    return args;
  }
  void ToolAnswers(int exitCode, const std::string& output, int run = 0) {
    const std::string suffix = run == 0 ? "" : "." + std::to_string(run);
    WriteText(toolDir_ / ("exit" + suffix), std::to_string(exitCode));
    WriteText(toolDir_ / ("output" + suffix), output);
  }

  std::vector<UiEvent> Messages() const {
    std::vector<UiEvent> messages;
    for (const UiEvent& event : ui_->Events()) {
      if (event.kind == "message") messages.push_back(event);
    }
    return messages;
  }

  testing::ScratchFolder scratch_{"packaging-test"};
  const fs::path root_ = scratch_.Path();
  fs::path toolDir_;
  fs::path movieFolder_;
  testing::ScopedScriptedUi ui_;
};

// Position of an argument, or -1.
inline int IndexOf(const std::vector<std::string>& args, const std::string& value) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == value) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace zaro::packaging_testing
