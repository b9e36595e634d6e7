#pragma once
// Shared scaffolding of the descriptor tests: a temporary movie folder, settings, the
// scripted window system and file helpers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>

#include "descriptor/descriptor_document.h"
#include "descriptor/descriptor_reader.h"
#include "descriptor/descriptor_template.h"
#include "platform/text.h"
#include "testing/scratch.h"

namespace zaro::testing_support {

inline const std::string kBom = "\xEF\xBB\xBF";

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// What `body` printed.
inline std::string Printed(const std::function<void()>& body) {
  ::testing::internal::CaptureStdout();
  body();
  return ::testing::internal::GetCapturedStdout();
}

inline std::filesystem::path SourceSample() {
  return std::filesystem::path(ZARO_SOURCE_DIR) / "runtime-kit" / "samples" / "descriptor-sample.xml";
}

// Runs `body` where a read-only folder really refuses writes: as the tests may run as the
// superuser, the body then runs in a child process that has given its rights up.
inline bool RunWithoutPrivileges(const std::function<bool()>& body) {
  if (::geteuid() != 0) return body();
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    const bool ok = body();
    std::fflush(stdout);
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class DescriptorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(root_.empty());
    ::setenv("TESSEL_REGISTRY_FILE", (root_ / "registry").c_str(), 1);
    ::setenv("TESSEL_COMMON_APPDATA", (root_ / "ProgramData").c_str(), 1);
    std::filesystem::create_directories(movieFolder_);
    testing::ClearSettings();
    SetSetting(keys::kMovieFolder, FromUtf8(movieFolder_.string() + "/"));
    SetSetting(keys::kLaunchPath, FromUtf8((root_ / "bin").string()));
    SetMovie("Movie");
    ReleaseDescriptor(MovieDescriptor());
    ReleaseDescriptor(UpgradeDescriptor());
  }

  void SetMovie(const std::string& baseName) { SetSetting(keys::kMovieBaseName, FromUtf8(baseName)); }

  std::filesystem::path DescriptorFile(const std::string& base) const { return movieFolder_ / (base + "-app.xml"); }

  // Places a sample descriptor where the kit keeps it; "" removes it.
  void InstallSample(const std::string& content) {
    const std::filesystem::path sample = root_ / "bin" / "ZSK2.0" / "samples" / "descriptor-sample.xml";
    std::filesystem::remove(sample);
    if (!content.empty()) WriteBytes(sample, content);
  }

  // Writes `content` as the descriptor of the movie "Movie" ("" for the template) and parses it.
  void LoadMovie(const std::string& content = "") {
    if (!content.empty()) WriteBytes(DescriptorFile("Movie"), content);
    ASSERT_EQ(LoadDescriptor(true), 0);
  }
  DescriptorDocument& Doc() { return MovieDescriptor(); }
  // Saves the descriptor of the movie "Movie" and returns the file's bytes.
  std::string SavedMovie() {
    EXPECT_EQ(SaveDescriptor(Doc(), MovieDescriptorPath()), 0);
    return ReadBytes(DescriptorFile("Movie"));
  }
  // The text of the first element of the tag in the movie's descriptor; "<missing>" when none.
  std::u16string ElementText(const char16_t* tag) {
    std::u16string text = u"<missing>";
    GetElementText(Doc(), tag, text);
    return text;
  }

  int MessagesShown() const {
    return std::count_if(ui_->Events().begin(), ui_->Events().end(), [](auto& e) { return e.kind == "message"; });
  }

  // True when exactly one box was shown: message 8031 as a warning.
  bool ShowedUnparsableOnce() const {
    return MessagesShown() == 1 && ui_->Events().back().text == u"无法解析应用程序描述符文件。" &&
           ui_->Events().back().style == 48;
  }

  testing::ScratchFolder scratch_{"descriptor-test"};
  const std::filesystem::path root_ = scratch_.Path();
  const std::filesystem::path movieFolder_ = root_ / "movies";
  testing::ScopedScriptedUi ui_;
};

}  // namespace zaro::testing_support
