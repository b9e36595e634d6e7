// The General and Icons pages end to end: an author sets identity, output, window style,
// profiles, included files and icons on a new document's settings sheet, publishes and
// leaves with OK; a second sheet reads every value back with "expect".
#include <gtest/gtest.h>

#include <cstdint>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutBig32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// A grey RGB PNG of side x side pixels (zlib stream of one stored block).
std::string MakePng(int side) {
  std::string raw;
  for (int y = 0; y < side; ++y) raw += std::string(1, '\0') + std::string(3 * static_cast<size_t>(side), '\x80');
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  std::string zlib = "\x78\x01";
  zlib += '\x01';
  const auto length = static_cast<std::uint16_t>(raw.size());
  zlib += static_cast<char>(length & 0xFF);
  zlib += static_cast<char>(length >> 8);
  zlib += static_cast<char>(~length & 0xFF);
  zlib += static_cast<char>((~length >> 8) & 0xFF);
  zlib += raw;
  PutBig32(zlib, (b << 16) | a);
  auto chunk = [](const std::string& type, const std::string& data) {
    std::string out;
    PutBig32(out, static_cast<std::uint32_t>(data.size()));
    out += type + data;
    PutBig32(out, Crc32(type + data));
    return out;
  };
  std::string header;
  PutBig32(header, static_cast<std::uint32_t>(side));
  PutBig32(header, static_cast<std::uint32_t>(side));
  header += std::string("\x08\x02\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", zlib) + chunk("IEND", "");
}

Json Expect(std::vector<std::pair<std::string, std::string>> fields) {
  Json object = Json::object();
  for (auto& [name, text] : fields) object[name] = text;
  return Json{{"expect", object}};
}

class GeneralAndIcons : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box_.Ready()) << box_.Error();
    folder_ = box_.WorkFolder() / "My Movies";
    fs::create_directories(folder_);
    const auto document = box_.NewDocument("My Movies/Hello");
    ASSERT_TRUE(document) << box_.Error();
    document_ = *document;
  }

  Sandbox box_;
  fs::path folder_;
  fs::path document_;
};

TEST_F(GeneralAndIcons, EverythingSetOnTheSheetIsPublishedSavedAndReadBack) {
  const std::string password = "secret";
  const fs::path keystore = box_.Root() / "keys" / "ann.p12";
  ASSERT_TRUE(MakeKeystore(keystore, password, box_.Root()));
  WriteText(folder_ / "icons" / "app 16.png", MakePng(16));
  WriteText(box_.Root() / "outside" / "big.png", MakePng(128));
  WriteText(folder_ / "readme.txt", "read me");
  WriteText(folder_ / "assets" / "data.txt", "data");

  const std::vector<std::pair<std::string, std::string>> values = {
      {"General.appid", "com.example.hello"},
      {"General.appname", "Hello App"},
      {"General.version", "1.2.3"},
      {"General.filename", "HelloApp"},
      {"General.description", "First line\r\nSecond line"},
      {"General.copyright", "© 2026 Ann"},
      {"General.windowstyle", "自定义镶边（透明）"},
      {"General.desktop", "true"},
      {"General.mobileDevice", "false"},
      {"General.extendedDesktop", "true"},
      {"General.extendedMobileDevice", "false"}};
  std::vector<Json> steps;
  for (const auto& [field, text] : values) steps.push_back(Set(field, text));
  for (const Json& step : std::vector<Json>{
           Press("General.addfile"), Press("General.addfolder"), Set("Icons.size", "图标 16x16"), Press("Icons.browse"),
           Set("Icons.size", "图标 128x128"), Press("Icons.browse"), Set("Signature.certpath", WindowsForm(keystore)),
           Set("Signature.password", password), Set("Signature.timestamp", "false"), Press("Publish"), Press("OK")}) {
    steps.push_back(step);
  }
  const RunResult run = box_.Run(
      {"settings", document_.string()},
      WithAnswers({Form("Settings", steps), Json{{"file", WindowsForm(folder_ / "readme.txt")}},
                   Json{{"folder", WindowsForm(folder_ / "assets")}},
                   Json{{"file", WindowsForm(folder_ / "icons" / "app 16.png")}},
                   Json{{"file", WindowsForm(box_.Root() / "outside" / "big.png")}}, Message("ok"), Message("yes"),
                   Message("yes")}));
  ASSERT_EQ(run.exitStatus, 0) << Describe(run);

  const std::string descriptor = ReadText(folder_ / "Hello-app.xml");
  for (const char* part : {"<id>com.example.hello</id>", "<name>Hello App</name>", "<version>1.2.3</version>",
                           "<filename>HelloApp</filename>", "<description>First line\nSecond line</description>",
                           "<copyright>© 2026 Ann</copyright>", "<systemChrome>none</systemChrome>",
                           "<transparent>true</transparent>", "<supportedProfiles>desktop extendedDesktop </supportedProfiles>",
                           "<image16x16>icons/app%2016.png</image16x16>",
                           "<image128x128>AppIconsForPublish/big.png</image128x128>"}) {
    EXPECT_NE(descriptor.find(part), std::string::npos) << part << "\n" << descriptor;
  }
  EXPECT_TRUE(fs::exists(folder_ / "AppIconsForPublish" / "big.png"));
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.zarodest"), "Hello.zaro");
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.pubexe"), "false");
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.included.count"), "2");
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.included.item0"), "readme.txt");
  EXPECT_EQ(Sandbox::DocumentText(document_, "com.zaro.quessa.included.item1"), "assets");

  const fs::path package = folder_ / "Hello.zaro";
  const ToolRun verified = Verify(package, box_.Root());
  EXPECT_EQ(verified.exitCode, 0) << verified.output;
  const std::string bytes = ReadText(package);
  for (const char* entry : {"icons/app 16.png", "AppIconsForPublish/big.png", "readme.txt", "assets/data.txt"}) {
    EXPECT_NE(bytes.find(entry), std::string::npos) << entry;
  }

  // A second sheet reads every value back from the saved files.
  std::vector<std::pair<std::string, std::string>> shown = values;
  shown.emplace_back("General.destination", "Hello.zaro");
  shown.emplace_back("General.installer", "false");
  shown.emplace_back("Icons.path", "icons/app 16.png");  // the page opens on its first size
  const std::vector<Json> check = {Expect(shown),
                                   Set("Icons.size", "图标 128x128"),
                                   Expect({{"Icons.path", "AppIconsForPublish/big.png"}}),
                                   Set("General.included", "assets"),
                                   Expect({{"General.included", "assets"}}),
                                   Press("Cancel")};
  const RunResult again = box_.Run({"settings", document_.string()}, WithAnswers({Form("Settings", check)}));
  EXPECT_EQ(again.exitStatus, 0) << Describe(again);
  EXPECT_TRUE(again.EventsOf("form-error").empty()) << Describe(again);
  const std::vector<UiEvent> forms = again.EventsOf("form");
  ASSERT_FALSE(forms.empty());
  EXPECT_EQ(forms.back().raw["fields"]["General.appid"], "com.example.hello");

  const RunResult wrong = box_.Run({"settings", document_.string()},
                                   WithAnswers({Form("Settings", {Expect({{"General.version", "9.9"}}), Press("Cancel")})}));
  EXPECT_EQ(wrong.exitStatus, 1);
  const std::vector<UiEvent> errors = wrong.EventsOf("form-error");
  ASSERT_EQ(errors.size(), 1u) << Describe(wrong);
  EXPECT_EQ(errors[0].answer, "field General.version holds \"1.2.3\", expected \"9.9\"");
}

}  // namespace
}  // namespace publish_e2e
