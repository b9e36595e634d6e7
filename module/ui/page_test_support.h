#pragma once
// Scaffolding of the page tests: filling and reading forms, and a movie folder with a parsed
// descriptor on top of the signing tests' registry, settings and scripted window system.
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "descriptor/descriptor_document.h"
#include "descriptor/descriptor_reader.h"
#include "descriptor/descriptor_test_support.h"
#include "signing/signing_test_support.h"
#include "ui/form_state.h"

namespace zaro::testing_support {

// Sets the fields of a page or sheet in order; a refused one fails the test.
inline void Set(FormState& form, const std::vector<std::pair<std::string, std::u16string>>& fields) {
  for (const auto& [name, value] : fields) ASSERT_TRUE(form.SetField(name, value)) << name;
}

// A page opened (filled) as the sheet opens it.
template <typename Page>
std::unique_ptr<Page> Opened() {
  auto page = std::make_unique<Page>();
  page->Activate();
  return page;
}

// The texts of the named fields, in order (a check box's is "true" or "false").
inline std::vector<std::u16string> Texts(const FormState& form, std::initializer_list<const char*> names) {
  std::vector<std::u16string> texts;
  for (const char* name : names) texts.push_back(form.Text(name));
  return texts;
}

// The values of the named settings, in order.
inline std::vector<std::u16string> Settings(std::initializer_list<std::u16string_view> keys) {
  std::vector<std::u16string> values;
  for (std::u16string_view key : keys) values.push_back(GetSetting(key));
  return values;
}

// Stores the extra entries of the included-files list: their count, then the items.
inline void Include(const std::vector<std::u16string>& items) {
  SetSetting(keys::kIncludedCount, FromUtf8(std::to_string(items.size())));
  for (size_t index = 0; index < items.size(); ++index) SetSetting(IncludedItemKey(long(index)), items[index]);
}

// The texts of the message boxes shown so far, in order.
inline std::vector<std::u16string> MessagesOf(const ScriptedUi& ui) {
  std::vector<std::u16string> texts;
  for (const UiEvent& event : ui.Events())
    if (event.kind == "message") texts.push_back(event.text);
  return texts;
}

inline const std::string kIphoneDescriptor =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">\n"
    "  <id>com.example.demo</id>\n  <filename>Demo</filename>\n  <name>Demo Game</name>\n  <version>1.0</version>\n"
    "  <initialWindow>\n    <content>Demo.qmv</content>\n    <fullScreen> TRUE </fullScreen>\n"
    "    <aspectRatio>Landscape</aspectRatio>\n    <renderMode>gpu</renderMode>\n  </initialWindow>\n</application>\n";

// A movie "Demo" in a folder of its own, its descriptor written and parsed by the test.
class PageTest : public SigningTest {
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

  std::filesystem::path DescriptorFile() const { return movies_ / "Demo-app.xml"; }

  // The iPhone pages' setting: the sample descriptor, iPhone publishing on, the packager there.
  void UseIphone() {
    UseDescriptor();
    SetSetting(keys::kPubIpa, u"true");
    MakeFile("bin/MPK/lib/mpk.jar");
  }

  std::string SavedDescriptor() const { return ReadBytes(DescriptorFile()); }

  static std::u16string Element(std::u16string_view tag) {
    std::u16string text;
    GetElementText(MovieDescriptor(), tag, text);
    return text;
  }

  std::filesystem::path movies_;
};

}  // namespace zaro::testing_support
