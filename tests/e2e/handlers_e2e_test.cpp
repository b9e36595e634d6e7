// "Publish" and "OpenSettingDialog" through the staged host: descriptor namespaces and iPhone
// documents without credentials.
#include <gtest/gtest.h>

#include "publish_e2e_support.h"

namespace publish_e2e {
namespace {

class Handlers : public PublishTest {
 protected:
  // Runs the verb on the document, where the settings sheet alone is shown and left with Cancel.
  RunResult OnlyTheSheet(const std::string& verb, const fs::path& document) {
    RunResult run = Run({verb, document.string()}, {Form("Settings", {Press("Cancel")})});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(Shown(run, true), Lines{"form|Settings|cancel"});
    return run;
  }
};

TEST_F(Handlers, OnlyPublishUpgradesADescriptorWrittenForRuntime11) {
  const fs::path doc = NewDocument("Legacy");
  const std::string body = R"(
<application xmlns="http://ns.corvane.example/zaro/application/1.1">
  <id>legacy.app</id>
  <filename>Legacy</filename>
  <name>Legacy</name>
  <version>3.1</version>
  <initialWindow>
    <content>Legacy.qmv</content>
    <visible>true</visible>
  </initialWindow>
</application>
)";
  const std::string legacy = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>" + body;
  WriteText(Descriptor(doc), legacy);
  OnlyTheSheet("settings", doc);
  EXPECT_EQ(ReadText(Descriptor(doc)), legacy);
  OnlyTheSheet("publish", doc);  // no certificate yet: the sheet instead of a package
  std::string upgraded = body, written = ReadText(Descriptor(doc));
  upgraded.replace(upgraded.find("1.1\""), 3, "2.0");
  // Everything after the XML declaration, which the library's writer may spell its own way.
  EXPECT_EQ(written.substr(written.find("?>") + 2), upgraded);
}

// A fresh iPhone document, one with a certificate but no password, and a desktop document
// whose saved output type is "ipa" all need credentials first: Publish opens the sheet. A
// document never published takes its own template, never a descriptor that happens to lie
// in the working folder.
TEST_F(Handlers, PublishingForTheIphoneWithoutCredentialsOpensTheSheetAndBuildsNothing) {
  const fs::path fresh = NewDocument("Phone", "iphone"), withCertificate = NewDocument("Signed", "iphone");
  const fs::path outputType = NewDocument("Fresh");
  PutDocumentText(withCertificate, "com.zaro.quessa.ipacertpath", (Work() / "ios.p12").string());
  WriteText(Work() / "ios.p12", "not read: the password is missing");
  PutDocumentText(outputType, "com.corvane.tessel.brisel.output.type", "ipa");
  WriteText(Work() / "-app.xml", DescriptorXml("Stray", "stray.app"));
  for (const fs::path& doc : {fresh, withCertificate, outputType}) {
    SCOPED_TRACE(doc.stem().string());
    const std::string before = ReadText(doc);
    // Only the default descriptor was written; no package, and Cancel kept the document.
    EXPECT_EQ(OnlyTheSheet("publish", doc).filesMade, std::vector<fs::path>{Descriptor(doc).filename()});
    const std::string descriptor = ReadText(Descriptor(doc));
    EXPECT_TRUE(Contains(descriptor, "<content>" + doc.stem().string() + ".qmv</content>")) << descriptor;
    EXPECT_FALSE(Contains(descriptor, "stray")) << descriptor;
    EXPECT_EQ(ReadText(doc), before);
  }
}

}  // namespace
}  // namespace publish_e2e
