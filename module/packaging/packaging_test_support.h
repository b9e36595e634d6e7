#pragma once
// Scaffolding of the packaging tests: on top of the descriptor tests' movie folder, the movie and its descriptor,
// settings for signing, and a fake tool standing in for the Java launcher.
#include "descriptor/descriptor_test_support.h"
#include "settings/registry_values.h"

namespace zaro::packaging_testing {

namespace fs = std::filesystem;

inline constexpr auto* WriteText = &testing_support::WriteBytes;
inline constexpr auto* ReadText = &testing_support::ReadBytes;

// A tool that records its arguments and answers as its folder tells it. Run n (from 1) writes its arguments,
// NUL-terminated, to args.n and its process id to pid; it sleeps for the seconds in "sleep", prints output.n (else
// output) and exits with exit.n (else exit, else 0).
inline constexpr char kFakeTool[] = R"SH(#!/bin/sh
dir=$(dirname "$0")
n=$(( $(cat "$dir/count" 2>/dev/null || echo 0) + 1 ))
echo "$n" > "$dir/count"
echo "$$" > "$dir/pid"
printf '%s\0' "$@" > "$dir/args.$n"
if [ -f "$dir/sleep" ]; then sleep "$(cat "$dir/sleep")"; fi
cat "$dir/output.$n" 2>/dev/null || cat "$dir/output" 2>/dev/null
exit "$(cat "$dir/exit.$n" 2>/dev/null || cat "$dir/exit" 2>/dev/null || echo 0)"
)SH";

inline std::string Descriptor(const std::string& inner) {
  return R"(<?xml version="1.0" encoding="utf-8"?>
<application xmlns="http://ns.corvane.example/zaro/application/2.0">
  <id>com.example.demo</id><filename>Hello</filename><name>Demo</name><version>1.0</version>
  <initialWindow><content>Hello.qmv</content></initialWindow>
)" + inner + "</application>\n";
}

class PackagingTest : public testing_support::DescriptorTest {
 protected:
  void SetUp() override {
    DescriptorTest::SetUp();
    fs::remove(toolDir_ / "count");
    WriteText(toolDir_ / "java.exe", kFakeTool);
    ::chmod((toolDir_ / "java.exe").c_str(), 0755);
    UseMovieFolder(FromUtf8(movieFolder_.string() + "/"), movieFolder_);
    SetSetting(keys::kLaunchPath, FromUtf8((root_ / "bin").string() + "/"));
    SetSetting(keys::kKitName, u"ZSK2.0");
    SetSetting(keys::kCertPath, FromUtf8((root_ / "cert.p12").string()));
    SetSetting(keys::kCertPassword, u"secret");
    WriteRegistryValue(u"DigitalSign", u"sign");
  }

  // Points the settings at a movie folder (as stored) that is `posixFolder` on disk, with Hello.qmv and its descriptor.
  void UseMovieFolder(const std::u16string& stored, const fs::path& posixFolder, const std::string& inner = "") {
    SetSetting(keys::kMovieFolder, stored);
    SetSetting(keys::kMovieBaseName, u"Hello");
    WriteText(posixFolder / "Hello.qmv", std::string("QMV\x01", 4));
    WriteText(posixFolder / "Hello-app.xml", Descriptor(inner));
  }

  std::u16string Folder() const { return GetSetting(keys::kMovieFolder); }

  int ToolRuns() const { return std::atoi(ReadText(toolDir_ / "count").c_str()); }
  // The arguments the tool received on run n.
  std::vector<std::string> ToolArgs(int run = 1) const {
    std::istringstream all(ReadText(toolDir_ / ("args." + std::to_string(run))));
    std::vector<std::string> args;
    for (std::string arg; std::getline(all, arg, '\0');) args.push_back(arg);
    return args;
  }
  void ToolAnswers(int exitCode, const std::string& output, int run = 0) {
    const std::string suffix = run == 0 ? "" : "." + std::to_string(run);
    WriteText(toolDir_ / ("exit" + suffix), std::to_string(exitCode));
    WriteText(toolDir_ / ("output" + suffix), output);
  }

  std::vector<UiEvent> Messages() const {
    std::vector<UiEvent> messages;
    std::ranges::copy_if(ui_->Events(), std::back_inserter(messages),
                         [](const UiEvent& event) { return event.kind == "message"; });
    return messages;
  }

  const fs::path toolDir_ = root_ / "ProgramData" / "Corvane" / "KV5" / "jre" / "bin";
};

}  // namespace zaro::packaging_testing
