// Under SOURCE_DATE_EPOCH the iPhone packager gives the same archive, byte for byte, from
// the same inputs, whatever the file times and whenever it runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "test_support.h"
#include "testing/profile_maker.h"

namespace {

TEST(IpaReproducible, SameInputsGiveTheSameArchiveUnderSourceDateEpoch) {
  zpk::testing::TempFolder temp;
  const zaro::testing::TestIdentity phone = zaro::testing::MakeTestIdentity("Phone Developer");
  ASSERT_TRUE(zaro::testing::WriteKeystore(temp / "phone.p12", phone, "secret"));
  zaro::testing::ProfileContent content;
  content.applicationIdentifier = "ABCDE12345.com.example.Movie";
  content.developerCertificates = {phone.certificateDer};
  content.provisionedDevices = {"0123456789abcdef0123456789abcdef01234567"};
  ASSERT_TRUE(zaro::testing::WriteProfile(temp / "p.mobileprovision", content));
  std::string archives[2];
  for (int copy = 0; copy < 2; ++copy) {
    const std::string movie = temp / ("movie" + std::to_string(copy));
    zpk::testing::MakeMovieFolder(movie, zpk::testing::MakeDescriptor());
    zpk::testing::WriteFile(movie + "/assets/b.txt", "second\n");
    zpk::testing::WriteFile(movie + "/assets/a.txt", "first\n");
    if (copy == 1) zpk::testing::RunShell("touch -d 2001-02-03 '" + movie + "'/assets/* '" + movie + "/Movie.qmv'");
    const std::string output = temp / ("out" + std::to_string(copy) + ".ipa");
    const zpk::testing::ToolRun run = zpk::testing::RunShell(
        "SOURCE_DATE_EPOCH=1700000000 '" MPK_TOOL_PATH "' -package -target ipa-test -provisioning-profile '" +
        temp / "p.mobileprovision" + "' -storetype PKCS12 -keystore '" + temp / "phone.p12" +
        "' -storepass secret '" + output + "' '" + movie + "/Movie-app.xml' -C '" + movie + "' Movie.qmv assets");
    ASSERT_EQ(run.code, 0) << run.output;
    archives[copy] = zpk::testing::ReadFile(output);
    if (copy == 0) sleep(1);  // a signing time taken from the clock would differ
  }
  EXPECT_FALSE(archives[0].empty());
  EXPECT_TRUE(archives[0] == archives[1]);
  // The signature with its fixed signing time still holds, for the packager and openssl.
  const std::string output = temp / "out1.ipa";
  EXPECT_EQ(zpk::testing::RunShell("'" MPK_TOOL_PATH "' -verify '" + output + "'").code, 0);
  zpk::testing::WriteFile(temp / "res", zpk::testing::ReadZipEntry(output, "Payload/Movie.app/_CodeSignature/CodeResources"));
  zpk::testing::WriteFile(temp / "sig", zpk::testing::ReadZipEntry(output, "Payload/Movie.app/_CodeSignature/CodeSignature"));
  const zpk::testing::ToolRun cms = zpk::testing::RunShell(
      "openssl cms -verify -binary -inform DER -in '" + temp / "sig" + "' -content '" + temp / "res" +
      "' -noverify -out /dev/null && openssl cms -cmsout -print -inform DER -in '" + temp / "sig" + "'");
  EXPECT_EQ(cms.code, 0) << cms.output;
  EXPECT_NE(cms.output.find("UTCTIME:Nov 14 22:13:20 2023 GMT"), std::string::npos) << cms.output;
}

}  // namespace
