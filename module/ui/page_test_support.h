#pragma once
// Scaffolding of the iPhone page tests: a movie folder with a parsed descriptor on top of
// the signing tests' registry, settings and scripted window system.
#include <filesystem>
#include <string>

#include "descriptor/descriptor_document.h"
#include "descriptor/descriptor_reader.h"
#include "signing/signing_test_support.h"
#include "ui/form_state.h"

namespace zaro::testing_support {

inline const std::string kIphoneDescriptor =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
    "  <id>com.example.demo</id>\n  <filename>Demo</filename>\n  <name>Demo Game</name>\n  <version>1.0</version>\n"
    "  <initialWindow>\n    <content>Demo.qmv</content>\n    <fullScreen> TRUE </fullScreen>\n"
    "    <aspectRatio>Landscape</aspectRatio>\n    <renderMode>gpu</renderMode>\n  </initialWindow>\n"
    "</application>\n";

class IpaPageTest : public SigningTest {
 protected:
  void SetUp() override {
    SigningTest::SetUp();
    movies_ = root_ / "movies";
    std::filesystem::create_directories(movies_);
    SetSetting(keys::kMovieFolder, FromUtf8(movies_.string() + "/"));
    SetSetting(keys::kMovieBaseName, u"Demo");
    SetSetting(keys::kLaunchPath, FromUtf8((root_ / "bin").string() + "/"));
    ReleaseDescriptor(MovieDescriptor());
  }

  void TearDown() override {
    ReleaseDescriptor(MovieDescriptor());
    SigningTest::TearDown();
  }

  // Writes the movie's descriptor and parses it as the sheet would.
  void UseDescriptor(const std::string& content = kIphoneDescriptor) {
    std::ofstream(DescriptorFile(), std::ios::binary | std::ios::trunc) << content;
    ASSERT_EQ(InitDescriptorParser(MovieDescriptor()), 0);
    ASSERT_EQ(ParseDescriptor(MovieDescriptor(), platform::ToWindowsForm(DescriptorFile().string())), kParsed);
  }

  // Sets the fields of a page or sheet in order; a refused one fails the test.
  static void Set(FormState& form, const std::vector<std::pair<std::string, std::u16string>>& fields) {
    for (const auto& [name, value] : fields) ASSERT_TRUE(form.SetField(name, value)) << name;
  }

  std::filesystem::path DescriptorFile() const { return movies_ / "Demo-app.xml"; }

  std::string SavedDescriptor() const {
    std::ifstream in(DescriptorFile(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  static std::u16string Element(std::u16string_view tag) {
    std::u16string text;
    GetElementText(MovieDescriptor(), tag, text);
    return text;
  }

  std::filesystem::path movies_;
};

}  // namespace zaro::testing_support
