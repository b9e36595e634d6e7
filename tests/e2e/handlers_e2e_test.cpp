// "Publish" and "OpenSettingDialog" through the staged host: descriptor namespaces, documents
// saved under a new name and iPhone documents without credentials.
#include <gtest/gtest.h>

#include "launch_e2e_support.h"

namespace {

namespace fs = std::filesystem;
using launch_e2e::Contains;
using launch_e2e::ReadText;
using launch_e2e::StoreMovieSettings;
using launch_e2e::WriteText;
using tessel::e2e::Answers;
using tessel::e2e::Json;
using tessel::e2e::RunOptions;
using tessel::e2e::RunResult;
using tessel::e2e::Sandbox;

constexpr const char* kNamespaceBase = "http://ns.corvane.example/zaro/application/";

// The settings sheet, closed with Cancel.
RunOptions CancelTheSheet() {
  RunOptions options;
  options.answers = Answers(Json::array({{{"form", "Settings"}, {"steps", Json::array({{{"press", "Cancel"}}})}}}));
  return options;
}

// Everything after the XML declaration, which the library's writer may spell its own way.
std::string AfterDeclaration(const std::string& xml) {
  const size_t end = xml.find("?>");
  return end == std::string::npos ? xml : xml.substr(end + 2);
}

class Handlers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box_.Ready()) << box_.Error();
    ASSERT_TRUE(fs::exists(Sandbox::Stage() / "bin" / "libzaropublish.so")) << "the module is not staged";
    ASSERT_TRUE(fs::exists(Sandbox::Stage() / "bin" / "ZSK2.0" / "samples" / "descriptor-sample.xml"));
  }

  fs::path NewDocument(const std::string& name, const std::string& target = "desktop") {
    const auto made = box_.NewDocument(name, target);
    EXPECT_TRUE(made) << box_.Error();
    return made.value_or(fs::path());
  }

  static fs::path Descriptor(const fs::path& document) {
    return document.parent_path() / (document.stem().string() + "-app.xml");
  }

  static void ExpectOnlyTheSheetWasShown(const RunResult& run) {
    ASSERT_EQ(run.events.size(), 1u) << run.err;
    EXPECT_EQ(run.events[0].event, "form");
    EXPECT_EQ(run.events[0].text, "Settings");
    EXPECT_EQ(run.events[0].answer, "cancel");
  }

  void ExpectDescriptorCarriedOver(Sandbox& box, const std::string& verb);

  Sandbox box_;
};

TEST_F(Handlers, OnlyPublishUpgradesADescriptorWrittenForRuntime11) {
  const fs::path doc = NewDocument("Legacy");
  const std::string body = "\n<application xmlns=\"" + std::string(kNamespaceBase) + "1.1\">\n"
                           "  <id>legacy.app</id>\n"
                           "  <filename>Legacy</filename>\n"
                           "  <name>Legacy</name>\n"
                           "  <version>3.1</version>\n"
                           "  <initialWindow>\n"
                           "    <content>Legacy.qmv</content>\n"
                           "    <visible>true</visible>\n"
                           "  </initialWindow>\n"
                           "</application>\n";
  const std::string legacy = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>" + body;
  WriteText(Descriptor(doc), legacy);

  const RunResult settings = box_.Run({"settings", doc.string()}, CancelTheSheet());
  ASSERT_EQ(settings.exitStatus, 0) << settings.err;
  ExpectOnlyTheSheetWasShown(settings);
  EXPECT_EQ(ReadText(Descriptor(doc)), legacy);

  const RunResult publish = box_.Run({"publish", doc.string()}, CancelTheSheet());
  ASSERT_EQ(publish.exitStatus, 0) << publish.err;
  ExpectOnlyTheSheetWasShown(publish);  // no certificate yet: the sheet instead of a package
  std::string upgraded = body;
  upgraded.replace(upgraded.find("1.1\""), 3, "2.0");
  EXPECT_EQ(AfterDeclaration(ReadText(Descriptor(doc))), upgraded);
}

// Publish and the settings sheet both carry the earlier movie's descriptor over.
TEST_F(Handlers, ADocumentSavedUnderANewNameCarriesItsOldDescriptorOver) {
  for (const std::string verb : {"publish", "settings"}) {
    SCOPED_TRACE(verb);
    Sandbox box;
    ExpectDescriptorCarriedOver(box, verb);
  }
}

void Handlers::ExpectDescriptorCarriedOver(Sandbox& box, const std::string& verb) {
  const auto made = box.NewDocument("Old");
  ASSERT_TRUE(made) << box.Error();
  const fs::path old = *made;
  const std::string destination = (box.WorkFolder() / "out" / "Old.zaro").string();
  ASSERT_EQ(StoreMovieSettings(box, old,
                               "d.addDataToDocument('com.zaro.quessa.destination', 'string', " +
                                   Json(destination).dump() + ");\n")
                .exitStatus,
            0);
  ASSERT_EQ(Sandbox::DocumentText(old, "com.zaro.quessa.destination"), destination);
  const std::string oldDescriptor =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
      "<application xmlns=\"" + std::string(kNamespaceBase) + "2.0\">\n"
      "  <id>old.app</id>\n"
      "  <filename>Old</filename>\n"
      "  <name>Old</name>\n"
      "  <description>kept as it was</description>\n"
      "  <initialWindow>\n"
      "    <content>Old.qmv</content>\n"
      "    <width>640</width>\n"
      "  </initialWindow>\n"
      "</application>\n";
  WriteText(Descriptor(old), oldDescriptor);

  // Save As: the same document and movie under another name.
  const fs::path renamed = box.WorkFolder() / "New.tsd";
  fs::copy_file(old, renamed);
  fs::copy_file(box.WorkFolder() / "Old.qmv", box.WorkFolder() / "New.qmv");

  const RunResult run = box.Run({verb, renamed.string()}, CancelTheSheet());
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  ExpectOnlyTheSheetWasShown(run);
  std::string expected = AfterDeclaration(oldDescriptor);
  for (const std::string element : {"filename", "name"}) {
    const std::string from = "<" + element + ">Old</" + element + ">";
    expected.replace(expected.find(from), from.size(), "<" + element + ">New</" + element + ">");
  }
  expected.replace(expected.find("Old.qmv"), 7, "New.qmv");
  EXPECT_EQ(AfterDeclaration(ReadText(Descriptor(renamed))), expected);
  EXPECT_FALSE(Sandbox::DocumentValue(renamed, "com.zaro.quessa.destination"));
  // The earlier document and its descriptor are left as they were.
  EXPECT_EQ(ReadText(Descriptor(old)), oldDescriptor);
  EXPECT_EQ(Sandbox::DocumentText(old, "com.zaro.quessa.destination"), destination);
}

TEST_F(Handlers, PublishingAnIphoneDocumentWithoutCredentialsOpensTheSheetAndBuildsNothing) {
  const fs::path fresh = NewDocument("Phone", "iphone");
  const fs::path withCertificate = NewDocument("Signed", "iphone");
  const std::string certificate = (box_.WorkFolder() / "ios.p12").string();
  WriteText(certificate, "not read: the password is missing");
  ASSERT_EQ(box_.RunScript("tx.getDocumentDOM().addDataToDocument('com.zaro.quessa.ipacertpath', 'string', " +
                               Json(certificate).dump() + ");",
                           withCertificate)
                .exitStatus,
            0);

  for (const fs::path& doc : {fresh, withCertificate}) {
    SCOPED_TRACE(doc.stem().string());
    const std::string before = ReadText(doc);
    const RunResult run = box_.Run({"publish", doc.string()}, CancelTheSheet());
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    ExpectOnlyTheSheetWasShown(run);
    // Only the default descriptor was written; no package, and the sheet's Cancel kept the
    // document as it was.
    EXPECT_EQ(run.filesMade, std::vector<fs::path>{Descriptor(doc).filename()});
    EXPECT_TRUE(Contains(ReadText(Descriptor(doc)), "<content>" + doc.stem().string() + ".qmv</content>"));
    EXPECT_EQ(ReadText(doc), before);
  }
}

}  // namespace
