#include <zip.h>

#include <algorithm>
#include <filesystem>


#include "signature_file.h"
#include "test_servers.h"

namespace zpk {
namespace {

using namespace zpk::testing;

const std::vector<std::string> kFiles = {"Movie.qmv", "icons/i16.png", "icons/i32.png"};

class PackagingToolTest : public ToolTest {
 protected:
  void SetUp() override { MakeMovieFolder(movie(), MakeDescriptor(kMovieIcons)); }
  // The parts of the package's signature file, written as manifest.bin, sig.bin and token.der.
  ParsedSignatures WriteSignedParts(const std::string& package) const {
    ParsedSignatures parts;
    std::string error;
    EXPECT_TRUE(ParseSignaturesFile(ReadZipEntry(package, "META-INF/signatures.xml"), parts, error)) << error;
    WriteFile(dir_ / "manifest.bin", parts.manifest);
    WriteFile(dir_ / "sig.bin", parts.signature);
    WriteFile(dir_ / "token.der", parts.timeStampToken);
    return parts;
  }
};

// Folders go in whole, an empty one too; a file named twice goes in once; compressed formats are stored.
TEST_F(PackagingToolTest, SignedPackageVerifiesWithTheToolAndWithOpensslAndNotOnceChanged) {
  WriteFile(movie() + "/assets/notes.txt", MakeBytes(5000, true, 2));
  WriteFile(movie() + "/assets/deep/photo.jpg", MakeBytes(3000, false, 3));
  std::filesystem::create_directories(movie() + "/assets/empty");
  std::vector<std::string> files = kFiles;
  files.insert(files.end(), {"icons", "-C", movie(), "./assets/"});
  const std::string out = dir_ / "out.zaro";
  EXPECT_TRUE(Quiet(RunTool(Package(out, files))));

  std::vector<std::string> layout;
  EditZip(out, [&](zip_t* za) {
    zip_stat_t st;
    for (zip_int64_t i = 0; zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) == 0; ++i)
      layout.push_back(std::string(st.name) + (st.comp_method == ZIP_CM_STORE ? " stored" : " deflated"));
  });
  EXPECT_EQ(layout, (std::vector<std::string>{"mimetype stored", "META-INF/ZARO/application.xml deflated",
                                              "Movie.qmv stored", "icons/i16.png stored", "icons/i32.png stored",
                                              "assets/deep/photo.jpg stored", "assets/empty/ stored",
                                              "assets/notes.txt deflated", "META-INF/signatures.xml deflated"}));
  EXPECT_EQ(ReadZipEntry(out, "mimetype"), "application/vnd.corvane.zaro-package+zip");
  EXPECT_EQ(ReadZipEntry(out, "META-INF/ZARO/application.xml"), ReadFile(movie() + "/Movie-app.xml"));
  EXPECT_EQ(ReadZipEntry(out, "assets/notes.txt"), MakeBytes(5000, true, 2));
  EXPECT_TRUE(
      Ran(RunTool({"-verify", out}), 0, {"signer: CN=Test Author", "entries: 8 checked, every digest matches"}));

  std::string damaged = ReadFile(out);  // a byte of a stored entry flipped
  size_t at = damaged.find(MakePng(32, 32));
  ASSERT_NE(at, std::string::npos);
  damaged[at + 40] ^= 0x01;
  WriteFile(dir_ / "damaged.zaro", damaged);
  EXPECT_TRUE(Ran(RunTool({"-verify", dir_ / "damaged.zaro"}), 1, "verification failed: entry icons/i32.png"));

  ParsedSignatures parts = WriteSignedParts(out);  // the manifest and the signature check out outside this tool
  EXPECT_TRUE(Contains(parts.manifest, "<entry name=\"Movie.qmv\" digest=\"" +
                                           Base64Encode(Sha256(ReadFile(movie() + "/Movie.qmv"))) + "\"/>"));
  EXPECT_TRUE(Ran(RunShell("cd " + Quote(dir_.path()) + " && openssl pkcs12 -in '" + keystore() +
                           "' -passin pass:secret -nokeys -clcerts | openssl x509 -pubkey -noout > pub.pem && "
                           "openssl dgst -sha256 -verify pub.pem -signature sig.bin manifest.bin"), 0, "Verified OK"));
}

TEST_F(PackagingToolTest, PreparedFileSignedLaterVerifies) {
  const std::string in = dir_ / "out.zaroi", out = dir_ / "signed.zaro";
  EXPECT_TRUE(Quiet(RunTool({"-prepare", in, movie() + "/Movie-app.xml", "-C", movie(), "Movie.qmv", "icons"})));
  EXPECT_EQ(ReadZipEntry(in, "mimetype"), "application/vnd.corvane.zaro-intermediate+zip");
  EXPECT_EQ(ReadZipEntry(in, "META-INF/signatures.xml"), "");
  EXPECT_TRUE(Ran(RunTool({"-verify", in}), 1, "unsigned intermediate"));
  auto sign = [&](const std::string& from, const std::string& to) {
    return RunTool({"-sign", "-keystore", keystore(), "-storepass", "secret", "-tsa", "none", from, to});
  };
  ASSERT_TRUE(Quiet(sign(in, out)));
  EXPECT_TRUE(Ran(RunTool({"-verify", out}), 0, "entries: 5 checked"));
  EXPECT_EQ(ReadZipEntry(out, "Movie.qmv"), ReadFile(movie() + "/Movie.qmv"));

  WriteFile(dir_ / "text.zaroi", "not a zip");
  EXPECT_TRUE(Ran(sign(dir_ / "text.zaroi", dir_ / "x.zaro"), 5, "not an intermediate file"));
  EXPECT_FALSE(Exists(dir_ / "x.zaro"));
}

TEST_F(PackagingToolTest, TimeStampedPackageVerifiesAndItsTokenChecksOutsideTheTool) {
  TestTimeStampAuthority tsa;
  ASSERT_TRUE(tsa.running());
  WriteFile(dir_ / "tsa.pem", tsa.certificatePem());
  WriteFile(dir_ / "signer.pem", CertificatePem(MakeCertificate(signingKey(), "Test Author", -1, 365).get()));
  ASSERT_TRUE(Quiet(RunTool(Package(dir_ / "out.zaro", kFiles, tsa.url()))));
  EXPECT_EQ(tsa.requests(), 1);
  EXPECT_TRUE(Ran(RunTool({"-verify", "-tsacafile", dir_ / "tsa.pem", dir_ / "out.zaro"}), 0,
                  "by CN=Test Time-Stamp Authority, token verified and its authority trusted"));
  EXPECT_TRUE(Ran(RunTool({"-verify", "-tsacafile", dir_ / "signer.pem", dir_ / "out.zaro"}), 1));
  ASSERT_FALSE(WriteSignedParts(dir_ / "out.zaro").timeStampToken.empty());
  EXPECT_TRUE(Ran(RunShell("cd " + Quote(dir_.path()) + " && openssl ts -verify -data sig.bin -in token.der "
                           "-token_in -CAfile tsa.pem"), 0, "Verification: OK"));
}

TEST_F(PackagingToolTest, UsageInputFileAndKeystoreErrors) {
  EXPECT_EQ(RunTool({}).output.rfind("usage:", 0), 0u);
  EXPECT_EQ(RunTool({}).code, 2);
  ToolRun missing = RunTool(Package(dir_ / "out.zaro", {"Movie.qmv", "icons\\missing.png"}));
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.output.rfind("no such file icons/missing.png\r\nusage:", 0), 0u) << missing.output;
  EXPECT_TRUE(Ran(RunTool(Package(dir_ / "no-such-folder/out.zaro", kFiles)), 6, "cannot be written"));

  PkeyPtr key = MakeRsaKey(1024);
  WriteFile(dir_ / "secret.txt", "secret");
  WriteFile(dir_ / "junk.p12", "junk");
  WriteKeystore(dir_ / "expired.p12", "pw", key.get(), MakeCertificate(key.get(), "Old", -30, -1).get());
  WriteKeystore(dir_ / "future.p12", "pw", key.get(), MakeCertificate(key.get(), "Future", 2, 30).get());
  WriteKeystore(dir_ / "nokey.p12", "pw", nullptr, MakeCertificate(key.get(), "Current", -1, 30).get());
  // The key of another certificate cannot make a signature that the certificate verifies.
  WriteMismatchedKeystore(dir_ / "mismatch.p12", "pw", key.get(), MakeCertificate(signingKey(), "Other", -1, 30).get());
  struct Case { std::vector<std::string> replace; std::string extraFile; int code; const char* message; };
  for (const Case& c : {Case{{}, "../secret.txt", 2, "../secret.txt: refused"}, Case{{}, dir_ / "secret.txt", 2, ""},
                        Case{{"secret", "wrong"}, "", 7, "password may be incorrect"},
                        Case{{keystore(), dir_ / "junk.p12"}, "", 7, ""},
                        Case{{keystore(), dir_ / "absent.p12"}, "", 7, ""},
                        Case{{keystore(), dir_ / "expired.p12", "secret", "pw"}, "", 8, "the certificate expired on"},
                        Case{{keystore(), dir_ / "future.p12", "secret", "pw"}, "", 8, ""},
                        Case{{keystore(), dir_ / "nokey.p12", "secret", "pw"}, "", 8, "no private key"},
                        Case{{keystore(), dir_ / "mismatch.p12", "secret", "pw"}, "", 9, "signing failed"}}) {
    SCOPED_TRACE(c.message + c.extraFile);
    std::vector<std::string> args = Package(dir_ / "out.zaro", kFiles);
    for (size_t i = 0; i < c.replace.size(); i += 2)  // {argument, by}
      *std::find(args.begin(), args.end(), c.replace[i]) = c.replace[i + 1];
    if (!c.extraFile.empty()) args.push_back(c.extraFile);
    EXPECT_TRUE(Ran(RunTool(args), c.code, c.message));
    EXPECT_FALSE(Exists(dir_ / "out.zaro"));
  }
}

// The descriptor check's own errors are tested with it; here one of them, and the errors of the files.
TEST_F(PackagingToolTest, DescriptorAndFileErrorsExit12WithTheirNumber) {
  // `from` becomes `to` in the descriptor; `file` gets `content` (a link to it after "->", removed when empty);
  // `add` is packaged too and `drop` is not.
  struct Case { std::string error, from = "", to = "", file = "", content = "", add = "", drop = ""; };
  // A file type with the icon `icon`; icons/bad.png (not a PNG image) is packaged too.
  const auto withTypeIcon = [](const std::string& error, const std::string& icon) {
    return Case{error, "</application>",
                "<fileTypes>" + MakeFileType("doc", "abc", "a/b", icon) + "</fileTypes></application>", "icons/bad.png",
                "GIF89a........", "icons/bad.png"};
  };
  const std::vector<Case> cases = {
      {"error 100: ", "</application>", "</applicatio>"},
      {"error 200: ", "</icon>", "<image48x48>folder.png</image48x48></icon>", "folder.png/inner.txt", "x",
       "folder.png"},
      {"error 201: application.icon.image32x32 must be 32x32 pixels, the image is 16x16", "", "", "icons/i32.png",
       MakePng(16, 16)},
      {"error 202: application.icon.image16x16 is not a PNG image", "", "", "icons/i16.png", "GIF89a................."},
      withTypeIcon("error 201: application.fileTypes.fileType.icon.image32x32 must be 32x32 pixels",
                   "<image32x32>icons/i16.png</image32x32>"),
      withTypeIcon("error 202: application.fileTypes.fileType.icon.image16x16 is not a PNG",
                   "<image16x16>icons/bad.png</image16x16>"),
      withTypeIcon("error 303: the icon icons/gone.png", "<image48x48>icons/gone.png</image48x48>"),
      {"error 300: ", "", "", "dangling.txt", "->nowhere.txt", "dangling.txt"},
      {"error 301: ", "", "", "Movie-app.xml", ""},
      {"error 302: the root content Movie.qmv is not among the packaged files", "", "", "", "", "", "Movie.qmv"},
      {"error 303: the icon icons/i32.png (application.icon.image32x32) is not among the packaged files", "", "", "",
       "", "", "icons/i32.png"},
      {"error 304: Movie.qmv is not a QMV movie", "", "", "Movie.qmv", "FWS not a movie"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    std::filesystem::remove_all(movie());
    MakeMovieFolder(movie(), Replaced(MakeDescriptor(kMovieIcons), c.from, c.to));
    const std::string file = movie() + "/" + c.file;
    if (c.content.rfind("->", 0) == 0) {
      ASSERT_EQ(symlink(c.content.c_str() + 2, file.c_str()), 0);
    } else if (!c.content.empty()) {
      WriteFile(file, c.content);
    } else if (!c.file.empty()) {
      std::filesystem::remove(file);
    }
    std::vector<std::string> files = kFiles;
    if (!c.add.empty()) files.push_back(c.add);
    std::erase(files, c.drop);
    EXPECT_TRUE(Ran(RunTool(Package(dir_ / "out.zaro", files)), 12, {c.error, ": error "}));
    EXPECT_FALSE(Exists(dir_ / "out.zaro"));
  }
}

TEST_F(PackagingToolTest, TheCertificateCommandMakesAKeystoreThatOpensslOpensAndPackagingAccepts) {
  for (const std::string type : {"2048-RSA", "1024-RSA"}) {
    const std::string file = dir_ / (type + ".p12");
    ASSERT_TRUE(Quiet(RunTool({"-certificate", "-cn", "张三 Studio", "-ou", "Games", "-o", "Corvane Test", "-c", "CN",
                               type, file, "pa ss"})));
    EXPECT_TRUE(Ran(RunShell("openssl pkcs12 -in '" + file + "' -passin 'pass:pa ss' -nokeys -clcerts | "
                             "openssl x509 -noout -subject -text -nameopt RFC2253,-esc_msb"),
                    0, {"subject=C=CN,O=Corvane Test,OU=Games,CN=张三 Studio",
                        "Public-Key: (" + type.substr(0, 4) + " bit)"}));
    EXPECT_NE(RunShell("openssl pkcs12 -in '" + file + "' -passin pass:wrong -nokeys -noout").code, 0);
  }
  std::vector<std::string> args = Package(dir_ / "out.zaro", kFiles);
  *std::find(args.begin(), args.end(), keystore()) = dir_ / "2048-RSA.p12";
  *std::find(args.begin(), args.end(), "secret") = "pa ss";
  ASSERT_TRUE(Ran(RunTool(args), 0));
  EXPECT_TRUE(Ran(RunTool({"-verify", dir_ / "out.zaro"}), 0, {"CN=张三 Studio", "self-signed"}));

  for (auto [country, file, code, message] : {std::tuple{"XX", "a.p12", 2, "invalid country code XX"},
                                              {"AN", "missing/a.p12", 11, "cannot be created"}}) {
    EXPECT_TRUE(Ran(RunTool({"-certificate", "-cn", "A", "-ou", "B", "-o", "C", "-c", country, "1024-RSA",
                             dir_ / file, "pw"}), code, message));
    EXPECT_FALSE(Exists(dir_ / "a.p12"));
  }
}

}  // namespace
}  // namespace zpk
