// "Publish" and "OpenSettingDialog" through the staged host: descriptor namespaces and iPhone
// documents without credentials.
#include <gtest/gtest.h>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

using tessel::e2e::Contains;

constexpr const char* kNamespaceBase = "http://ns.corvane.example/zaro/application/";

// The settings sheet, closed with Cancel.
tessel::e2e::RunOptions CancelTheSheet() { return WithAnswers({Form("Settings", {Press("Cancel")})}); }

// Everything after the XML declaration, which the library's writer may spell its own way.
std::string AfterDeclaration(const std::string& xml) {
  const size_t end = xml.find("?>");
  return end == std::string::npos ? xml : xml.substr(end + 2);
}

class Handlers : public PublishTest {
 protected:
  static void ExpectOnlyTheSheetWasShown(const RunResult& run) {
    ASSERT_EQ(run.events.size(), 1u) << run.err;
    EXPECT_EQ(run.events[0].event + "|" + run.events[0].text + "|" + run.events[0].answer, "form|Settings|cancel");
  }
};

TEST_F(Handlers, OnlyPublishUpgradesADescriptorWrittenForRuntime11) {
  const fs::path doc = NewDocument("Legacy");
  const std::string body = "\n<application xmlns=\"" + std::string(kNamespaceBase) + "1.1\">\n"
                           "  <id>legacy.app</id>\n  <filename>Legacy</filename>\n  <name>Legacy</name>\n"
                           "  <version>3.1</version>\n  <initialWindow>\n    <content>Legacy.qmv</content>\n"
                           "    <visible>true</visible>\n  </initialWindow>\n</application>\n";
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

// A fresh iPhone document, one with a certificate but no password, and a desktop document
// whose saved output type is "ipa" all need credentials first: Publish opens the sheet. A
// document never published takes its own template, never a descriptor that happens to lie
// in the working folder.
TEST_F(Handlers, PublishingForTheIphoneWithoutCredentialsOpensTheSheetAndBuildsNothing) {
  const fs::path fresh = NewDocument("Phone", "iphone");
  const fs::path withCertificate = NewDocument("Signed", "iphone");
  const fs::path outputType = NewDocument("Fresh");
  PutDocumentText(withCertificate, "com.zaro.quessa.ipacertpath", (Work() / "ios.p12").string());
  WriteText(Work() / "ios.p12", "not read: the password is missing");
  PutDocumentText(outputType, "com.corvane.tessel.brisel.output.type", "ipa");
  WriteText(Work() / "-app.xml", DescriptorXml("Stray", "stray.app"));

  for (const fs::path& doc : {fresh, withCertificate, outputType}) {
    SCOPED_TRACE(doc.stem().string());
    const std::string before = ReadText(doc);
    const RunResult run = box_.Run({"publish", doc.string()}, CancelTheSheet());
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    ExpectOnlyTheSheetWasShown(run);
    // Only the default descriptor was written; no package, and Cancel kept the document.
    EXPECT_EQ(run.filesMade, std::vector<fs::path>{Descriptor(doc).filename()});
    const std::string descriptor = ReadText(Descriptor(doc));
    EXPECT_TRUE(Contains(descriptor, "<content>" + doc.stem().string() + ".qmv</content>")) << descriptor;
    EXPECT_FALSE(Contains(descriptor, "stray")) << descriptor;
    EXPECT_EQ(ReadText(doc), before);
  }
}

}  // namespace
}  // namespace publish_e2e
