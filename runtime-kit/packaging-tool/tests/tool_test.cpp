// Runs the built tool end to end on small generated inputs.
#include <zip.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "openssl_util.h"
#include "test_support.h"
#include "test_tsa.h"

namespace zpk {
namespace {

using namespace zpk::testing;

const std::string kIcons = "<image16x16>icons/i16.png</image16x16><image32x32>icons/i32.png</image32x32>";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class PackagingToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    keys_ = new TempFolder();
    signingKey_ = MakeRsaKey(2048).release();
    X509Ptr cert = MakeCertificate(signingKey_, "Test Author", -1, 365);
    WriteKeystore(keystore(), "secret", signingKey_, cert.get());
    WriteFile(*keys_ / "signer.pem", CertificatePem(cert.get()));
  }
  static void TearDownTestSuite() {
    EVP_PKEY_free(signingKey_);
    delete keys_;
  }
  static std::string keystore() { return *keys_ / "good.p12"; }

  void SetUp() override { MakeMovieFolder(movie(), MakeDescriptor(kIcons)); }

  std::string movie() const { return dir_ / "movie"; }
  std::string descriptor() const { return movie() + "/Movie-app.xml"; }

  std::vector<std::string> Package(const std::string& output, const std::string& tsa = "none",
                                   const std::string& store = "", const std::string& password = "secret") const {
    return {"-package", "-storetype", "PKCS12", "-keystore", store.empty() ? keystore() : store, "-storepass", password,
            "-tsa", tsa, output, descriptor(), "-C", movie() + "/", "Movie.qmv", "icons/i16.png", "icons/i32.png"};
  }

  TempFolder dir_;
  static TempFolder* keys_;
  static EVP_PKEY* signingKey_;
};

TempFolder* PackagingToolTest::keys_ = nullptr;
EVP_PKEY* PackagingToolTest::signingKey_ = nullptr;

struct SignedParts {
  std::string manifest, signature, token;
};

SignedParts ExtractSignedParts(const std::string& package) {
  std::string text = ReadZipEntry(package, "META-INF/signatures.xml");
  SignedParts parts;
  size_t begin = text.find("<manifest"), end = text.find("</manifest>");
  if (begin == std::string::npos || end == std::string::npos) return parts;
  parts.manifest = text.substr(begin, end + 11 - begin);
  auto between = [&](const std::string& open, const std::string& close) {
    size_t a = text.find(open);
    if (a == std::string::npos) return std::string();
    a += open.size();
    std::string data;
    Base64Decode(text.substr(a, text.find(close, a) - a), data);
    return data;
  };
  parts.signature = between("<signature algorithm=\"RSA-SHA256\">", "</signature>");
  parts.token = between("<timestamp>", "</timestamp>");
  return parts;
}

// Folders are added whole, an empty one as an entry of its own; a file named twice (here
// through its folder) goes in once.
TEST_F(PackagingToolTest, SignedPackageVerifiesWithTheToolAndWithOpenssl) {
  WriteFile(movie() + "/assets/notes.txt", MakeBytes(5000, true, 2));
  WriteFile(movie() + "/assets/deep/photo.jpg", MakeBytes(3000, false, 3));
  std::filesystem::create_directories(movie() + "/assets/empty");
  std::vector<std::string> args = Package(dir_ / "out.zaro");
  args.insert(args.end(), {"icons", "-C", movie(), "./assets/"});
  ToolRun run = RunTool(args);
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(run.output, "");

  // The layout: mimetype first and stored, compressed formats stored, text deflated.
  int error = 0;
  zip_t* za = zip_open((dir_ / "out.zaro").c_str(), ZIP_RDONLY, &error);
  ASSERT_NE(za, nullptr);
  std::vector<std::string> names;
  for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) names.push_back(zip_get_name(za, i, 0));
  EXPECT_EQ(names, (std::vector<std::string>{"mimetype", "META-INF/ZARO/application.xml", "Movie.qmv",
                                             "icons/i16.png", "icons/i32.png", "assets/deep/photo.jpg",
                                             "assets/empty/", "assets/notes.txt", "META-INF/signatures.xml"}));
  auto method = [&](const char* name) {
    zip_stat_t st;
    zip_stat(za, name, 0, &st);
    return st.comp_method;
  };
  EXPECT_EQ(method("mimetype"), ZIP_CM_STORE);
  EXPECT_EQ(method("icons/i16.png"), ZIP_CM_STORE);
  EXPECT_EQ(method("assets/deep/photo.jpg"), ZIP_CM_STORE);
  EXPECT_EQ(method("assets/notes.txt"), ZIP_CM_DEFLATE);
  zip_discard(za);
  EXPECT_EQ(ReadZipEntry(dir_ / "out.zaro", "mimetype"), "application/vnd.corvane.zaro-package+zip");
  EXPECT_EQ(ReadZipEntry(dir_ / "out.zaro", "META-INF/ZARO/application.xml"), ReadFile(descriptor()));

  ToolRun verify = RunTool({"-verify", dir_ / "out.zaro"});
  EXPECT_EQ(verify.code, 0) << verify.output;
  EXPECT_TRUE(Contains(verify.output, "signer: CN=Test Author")) << verify.output;
  EXPECT_TRUE(Contains(verify.output, "entries: 8 checked, every digest matches")) << verify.output;
  EXPECT_EQ(ReadZipEntry(dir_ / "out.zaro", "assets/notes.txt"), MakeBytes(5000, true, 2));

  // The manifest holds the real digest of the movie, and the signature verifies with the
  // public key of the keystore's certificate, outside this tool.
  SignedParts parts = ExtractSignedParts(dir_ / "out.zaro");
  EXPECT_TRUE(Contains(parts.manifest, "<entry name=\"Movie.qmv\" digest=\"" +
                                           Base64Encode(Sha256(ReadFile(movie() + "/Movie.qmv"))) + "\"/>"));
  WriteFile(dir_ / "manifest.bin", parts.manifest);
  WriteFile(dir_ / "sig.bin", parts.signature);
  std::string d = dir_.path();
  ToolRun openssl = RunShell("cd '" + d + "' && openssl pkcs12 -in '" + keystore() +
                             "' -passin pass:secret -nokeys -clcerts -out cert.pem && "
                             "openssl x509 -in cert.pem -pubkey -noout > pub.pem && "
                             "openssl dgst -sha256 -verify pub.pem -signature sig.bin manifest.bin");
  EXPECT_EQ(openssl.code, 0) << openssl.output;
  EXPECT_TRUE(Contains(openssl.output, "Verified OK")) << openssl.output;
}

TEST_F(PackagingToolTest, ChangingOneByteOfAStoredEntryFailsVerification) {
  ASSERT_EQ(RunTool(Package(dir_ / "out.zaro")).code, 0);
  std::string original = ReadFile(dir_ / "out.zaro");

  // A byte of a stored entry flipped in the file; an entry rewritten whole but not re-signed
  // is one of the hostile packages.
  std::string damaged = original;
  size_t at = damaged.find(MakePng(32, 32));
  ASSERT_NE(at, std::string::npos);
  damaged[at + 40] ^= 0x01;
  WriteFile(dir_ / "damaged.zaro", damaged);
  ToolRun broken = RunTool({"-verify", dir_ / "damaged.zaro"});
  EXPECT_EQ(broken.code, 1);
  EXPECT_TRUE(Contains(broken.output, "verification failed: entry icons/i32.png")) << broken.output;

  EXPECT_EQ(RunTool({"-verify", dir_ / "out.zaro"}).code, 0);
}

TEST_F(PackagingToolTest, PreparedFileSignedLaterVerifies) {
  ToolRun prepared = RunTool({"-prepare", dir_ / "out.zaroi", descriptor(), "-C", movie(), "Movie.qmv", "icons"});
  ASSERT_EQ(prepared.code, 0) << prepared.output;
  EXPECT_EQ(prepared.output, "");
  EXPECT_EQ(ReadZipEntry(dir_ / "out.zaroi", "mimetype"), "application/vnd.corvane.zaro-intermediate+zip");
  EXPECT_EQ(ReadZipEntry(dir_ / "out.zaroi", "META-INF/signatures.xml"), "");
  ToolRun unsignedVerify = RunTool({"-verify", dir_ / "out.zaroi"});
  EXPECT_EQ(unsignedVerify.code, 1);
  EXPECT_TRUE(Contains(unsignedVerify.output, "unsigned intermediate")) << unsignedVerify.output;

  ToolRun sign = RunTool({"-sign", "-storetype", "PKCS12", "-keystore", keystore(), "-storepass", "secret", "-tsa",
                          "none", dir_ / "out.zaroi", dir_ / "signed.zaro"});
  ASSERT_EQ(sign.code, 0) << sign.output;
  EXPECT_EQ(sign.output, "");
  ToolRun verify = RunTool({"-verify", dir_ / "signed.zaro"});
  EXPECT_EQ(verify.code, 0) << verify.output;
  EXPECT_TRUE(Contains(verify.output, "entries: 5 checked")) << verify.output;
  EXPECT_EQ(ReadZipEntry(dir_ / "signed.zaro", "Movie.qmv"), ReadFile(movie() + "/Movie.qmv"));

  // Signing something that is not an intermediate file is refused.
  WriteFile(dir_ / "text.zaroi", "not a zip");
  ToolRun notZip = RunTool({"-sign", "-keystore", keystore(), "-storepass", "secret", "-tsa", "none",
                            dir_ / "text.zaroi", dir_ / "x.zaro"});
  EXPECT_EQ(notZip.code, 5);
  EXPECT_TRUE(Contains(notZip.output, "not an intermediate file")) << notZip.output;
  EXPECT_FALSE(Exists(dir_ / "x.zaro"));
}

TEST_F(PackagingToolTest, TimeStampedPackageVerifiesAndItsTokenChecksOutsideTheTool) {
  TestTimeStampAuthority tsa;
  ASSERT_TRUE(tsa.running());
  WriteFile(dir_ / "tsa.pem", tsa.certificatePem());
  ToolRun run = RunTool(Package(dir_ / "out.zaro", tsa.url()));
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(tsa.requests(), 1);

  ToolRun trusted = RunTool({"-verify", "-tsacafile", dir_ / "tsa.pem", dir_ / "out.zaro"});
  EXPECT_EQ(trusted.code, 0) << trusted.output;
  EXPECT_TRUE(Contains(trusted.output, "by CN=Test Time-Stamp Authority, token verified and its authority trusted"))
      << trusted.output;
  ToolRun untrusted = RunTool({"-verify", "-tsacafile", *keys_ / "signer.pem", dir_ / "out.zaro"});
  EXPECT_EQ(untrusted.code, 1) << untrusted.output;

  SignedParts parts = ExtractSignedParts(dir_ / "out.zaro");
  ASSERT_FALSE(parts.token.empty());
  WriteFile(dir_ / "sig.bin", parts.signature);
  WriteFile(dir_ / "token.der", parts.token);
  std::string d = dir_.path();
  ToolRun openssl = RunShell("cd '" + d + "' && openssl ts -verify -data sig.bin -in token.der -token_in -CAfile tsa.pem");
  EXPECT_EQ(openssl.code, 0) << openssl.output;
  EXPECT_TRUE(Contains(openssl.output, "Verification: OK")) << openssl.output;
}

TEST_F(PackagingToolTest, UsageAndInputFileErrors) {
  ToolRun none = RunTool({});
  EXPECT_EQ(none.code, 2);
  EXPECT_EQ(none.output.rfind("usage:", 0), 0u);

  std::vector<std::string> args = Package(dir_ / "out.zaro");
  args.push_back("icons\\missing.png");
  ToolRun missing = RunTool(args);
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.output.rfind("no such file icons/missing.png\r\nusage:", 0), 0u) << missing.output;

  WriteFile(dir_ / "secret.txt", "secret");
  args = Package(dir_ / "out.zaro");
  args.push_back("../secret.txt");
  ToolRun escape = RunTool(args);
  EXPECT_EQ(escape.code, 2);
  EXPECT_TRUE(Contains(escape.output, "../secret.txt: refused")) << escape.output;
  args.back() = dir_ / "secret.txt";
  EXPECT_EQ(RunTool(args).code, 2);
  EXPECT_FALSE(Exists(dir_ / "out.zaro"));

  args = Package(dir_ / "no-such-folder/out.zaro");
  ToolRun unwritable = RunTool(args);
  EXPECT_EQ(unwritable.code, 6);
  EXPECT_TRUE(Contains(unwritable.output, "cannot be written")) << unwritable.output;
}

TEST_F(PackagingToolTest, KeystoreAndCertificateErrors) {
  PkeyPtr key = MakeRsaKey(1024);
  WriteFile(dir_ / "junk.p12", "junk");
  WriteKeystore(dir_ / "expired.p12", "pw", key.get(), MakeCertificate(key.get(), "Old", -30, -1).get());
  WriteKeystore(dir_ / "future.p12", "pw", key.get(), MakeCertificate(key.get(), "Future", 2, 30).get());
  WriteKeystore(dir_ / "nokey.p12", "pw", nullptr, MakeCertificate(key.get(), "Current", -1, 30).get());
  // The key of another certificate cannot make a signature that the certificate verifies.
  WriteMismatchedKeystore(dir_ / "mismatch.p12", "pw", key.get(), MakeCertificate(signingKey_, "Other", -1, 30).get());
  struct Case {
    std::string store, password;
    int code;
    const char* message;
  };
  for (const Case& c : {Case{"", "wrong", 7, "password may be incorrect"}, Case{"junk.p12", "secret", 7, ""},
                        Case{"absent.p12", "secret", 7, ""}, Case{"expired.p12", "pw", 8, "the certificate expired on"},
                        Case{"future.p12", "pw", 8, ""}, Case{"nokey.p12", "pw", 8, "no private key"},
                        Case{"mismatch.p12", "pw", 9, "signing failed"}}) {
    SCOPED_TRACE(c.store);
    ToolRun run = RunTool(Package(dir_ / "out.zaro", "none", c.store.empty() ? "" : dir_ / c.store, c.password));
    EXPECT_EQ(run.code, c.code) << run.output;
    EXPECT_TRUE(Contains(run.output, c.message)) << run.output;
    EXPECT_FALSE(Exists(dir_ / "out.zaro"));
  }
}

struct DescriptorCase {
  const char* error;
  std::function<void(const std::string& movie, std::vector<std::string>& args)> provoke;
};

void SetDescriptor(const std::string& movie, const std::string& from, const std::string& to) {
  std::string xml = ReadFile(movie + "/Movie-app.xml");
  xml.replace(xml.find(from), from.size(), to);
  WriteFile(movie + "/Movie-app.xml", xml);
}

// The descriptor check's own errors are tested with it; here one of them, and the errors of
// the files, as the tool reports them: exit status 12 and no output file.
TEST_F(PackagingToolTest, DescriptorAndFileErrorsExit12WithTheirNumber) {
  // A file type with the icon `icon`; icons/bad.png (not a PNG image) is packaged too.
  auto withTypeIcon = [](const std::string& icon) {
    return [=](const std::string& m, std::vector<std::string>& args) {
      SetDescriptor(m, "</application>", "<fileTypes><fileType><name>doc</name><extension>abc</extension><contentType>"
                                         "a/b</contentType><icon>" + icon + "</icon></fileType></fileTypes></application>");
      WriteFile(m + "/icons/bad.png", "GIF89a........");
      args.push_back("icons/bad.png");
    };
  };
  std::vector<DescriptorCase> cases = {
      {"error 100: ", [](const std::string& m, auto&) { SetDescriptor(m, "</application>", "</applicatio>"); }},
      {"error 200: ",
       [](const std::string& m, auto& args) {
         SetDescriptor(m, "</icon>", "<image48x48>folder.png</image48x48></icon>");
         WriteFile(m + "/folder.png/inner.txt", "x");
         args.push_back("folder.png");
       }},
      {"error 201: application.icon.image32x32 must be 32x32 pixels, the image is 16x16",
       [](const std::string& m, auto&) { WriteFile(m + "/icons/i32.png", MakePng(16, 16)); }},
      {"error 202: application.icon.image16x16 is not a PNG image",
       [](const std::string& m, auto&) { WriteFile(m + "/icons/i16.png", "GIF89a................."); }},
      {"error 201: application.fileTypes.fileType.icon.image32x32 must be 32x32 pixels",
       withTypeIcon("<image32x32>icons/i16.png</image32x32>")},
      {"error 202: application.fileTypes.fileType.icon.image16x16 is not a PNG",
       withTypeIcon("<image16x16>icons/bad.png</image16x16>")},
      {"error 303: the icon icons/gone.png", withTypeIcon("<image48x48>icons/gone.png</image48x48>")},
      {"error 300: ",
       [](const std::string& m, auto& args) {
         ASSERT_EQ(symlink("nowhere.txt", (m + "/dangling.txt").c_str()), 0);
         args.push_back("dangling.txt");
       }},
      {"error 301: ", [](const std::string& m, auto&) { unlink((m + "/Movie-app.xml").c_str()); }},
      {"error 302: the root content Movie.qmv is not among the packaged files",
       [](const std::string&, auto& args) { args.erase(std::find(args.begin(), args.end(), "Movie.qmv")); }},
      {"error 303: the icon icons/i32.png (application.icon.image32x32) is not among the packaged files",
       [](const std::string&, auto& args) { args.pop_back(); }},
      {"error 304: Movie.qmv is not a QMV movie",
       [](const std::string& m, auto&) { WriteFile(m + "/Movie.qmv", "FWS not a movie"); }},
  };
  for (const DescriptorCase& c : cases) {
    SCOPED_TRACE(c.error);
    TempFolder folder;
    std::string m = folder / "movie";
    MakeMovieFolder(m, MakeDescriptor(kIcons));
    std::vector<std::string> args = {"-package", "-keystore", keystore(), "-storepass", "secret", "-tsa", "none",
                                     folder / "out.zaro", m + "/Movie-app.xml", "-C", m, "Movie.qmv",
                                     "icons/i16.png", "icons/i32.png"};
    c.provoke(m, args);
    ToolRun run = RunTool(args);
    EXPECT_EQ(run.code, 12) << run.output;
    EXPECT_TRUE(Contains(run.output, c.error)) << run.output;
    EXPECT_TRUE(Contains(run.output, ": error ")) << run.output;
    EXPECT_FALSE(Exists(folder / "out.zaro"));
  }
}

TEST(CertificateCommand, MakesAKeystoreThatOpensslOpensAndPackagingAccepts) {
  TempFolder dir;
  for (const char* type : {"2048-RSA", "1024-RSA"}) {
    std::string file = dir / (std::string(type) + ".p12");
    ToolRun made = RunTool({"-certificate", "-cn", "张三 Studio", "-ou", "Games", "-o", "Corvane Test", "-c", "CN",
                            type, file, "pa ss"});
    ASSERT_EQ(made.code, 0) << made.output;
    EXPECT_EQ(made.output, "");
    ToolRun shown = RunShell("openssl pkcs12 -in '" + file + "' -passin 'pass:pa ss' -nokeys -clcerts | "
                             "openssl x509 -noout -subject -text -nameopt RFC2253,-esc_msb");
    EXPECT_EQ(shown.code, 0) << shown.output;
    EXPECT_TRUE(Contains(shown.output, "subject=C=CN,O=Corvane Test,OU=Games,CN=张三 Studio")) << shown.output;
    EXPECT_TRUE(Contains(shown.output, std::string("Public-Key: (") + (type[0] == '2' ? "2048" : "1024") + " bit)"))
        << shown.output;
    EXPECT_NE(RunShell("openssl pkcs12 -in '" + file + "' -passin pass:wrong -nokeys -noout").code, 0);
  }

  std::string movie = dir / "movie";
  MakeMovieFolder(movie, MakeDescriptor());
  ToolRun packaged = RunTool({"-package", "-storetype", "PKCS12", "-keystore", dir / "2048-RSA.p12", "-storepass",
                              "pa ss", "-tsa", "none", dir / "out.zaro", movie + "/Movie-app.xml", "-C", movie,
                              "Movie.qmv"});
  ASSERT_EQ(packaged.code, 0) << packaged.output;
  ToolRun verify = RunTool({"-verify", dir / "out.zaro"});
  EXPECT_EQ(verify.code, 0) << verify.output;
  EXPECT_TRUE(Contains(verify.output, "CN=张三 Studio")) << verify.output;
  EXPECT_TRUE(Contains(verify.output, "self-signed")) << verify.output;
}

TEST(CertificateCommand, CountryAndFileProblems) {
  TempFolder dir;
  ToolRun country = RunTool({"-certificate", "-cn", "A", "-ou", "B", "-o", "C", "-c", "XX", "1024-RSA",
                             dir / "a.p12", "pw"});
  EXPECT_EQ(country.code, 2);
  EXPECT_TRUE(Contains(country.output, "invalid country code XX")) << country.output;
  EXPECT_FALSE(Exists(dir / "a.p12"));
  ToolRun nowhere = RunTool({"-certificate", "-cn", "A", "-ou", "B", "-o", "C", "-c", "AN", "1024-RSA",
                             dir / "missing/a.p12", "pw"});
  EXPECT_EQ(nowhere.code, 11);
  EXPECT_TRUE(Contains(nowhere.output, "cannot be created")) << nowhere.output;
}

}  // namespace
}  // namespace zpk
