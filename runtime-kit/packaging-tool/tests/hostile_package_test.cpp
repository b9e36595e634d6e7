// Packages and intermediate files made by hand, as an attacker or a broken writer would:
// the verifier and the signing step must refuse them without trusting their content.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <functional>
#include <iostream>
#include <memory>

#include <gtest/gtest.h>

#include "input_files.h"
#include "keystore.h"
#include "signature_file.h"
#include "test_support.h"

namespace zpk {
namespace {

using namespace zpk::testing;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Well below the content the faulty reads held (128 and 256 MiB), with room for the
// sanitizers' own memory; sign_memory prints the figures to hold against 64 MB.
constexpr long kMemoryBoundKib = 160 * 1024;

struct RawEntry {
  std::string name;
  std::string data;
  unsigned type = S_IFREG;  // the file type stored in the entry's Unix attributes
  std::string file = {};    // read from this file instead of `data` when set
  bool deflate = false;     // the first entry is stored unless this is set; later ones are deflated
};

// Writes a zip archive holding `entries` in order, the first one stored, the rest deflated.
void WriteArchive(const std::string& path, const std::vector<RawEntry>& entries) {
  int error = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(za, nullptr);
  for (size_t i = 0; i < entries.size(); ++i) {
    const RawEntry& e = entries[i];
    zip_source_t* source = e.file.empty() ? zip_source_buffer(za, e.data.data(), e.data.size(), 0)
                                          : zip_source_file(za, e.file.c_str(), 0, -1);
    ASSERT_NE(source, nullptr);
    zip_int64_t index = zip_file_add(za, e.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    ASSERT_GE(index, 0) << e.name << ": " << zip_strerror(za);
    const bool deflate = i > 0 || e.deflate;
    zip_set_file_compression(za, static_cast<zip_uint64_t>(index), deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 1);
    zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                     static_cast<zip_uint32_t>(e.type | 0644) << 16);
  }
  ASSERT_EQ(zip_close(za), 0);
}

SigningIdentity MakeIdentity(long fromDays, long toDays) {
  SigningIdentity identity;
  identity.key = MakeRsaKey(1024);
  identity.certificate = MakeCertificate(identity.key.get(), "Hostile Test", fromDays, toDays);
  return identity;
}

// A signed package: mimetype, `entries`, then the signature file over the digests of
// `signedEntries` (the same entries unless a case says otherwise).
void WritePackage(const std::string& path, const std::vector<RawEntry>& entries,
                  const std::vector<RawEntry>& signedEntries, const SigningIdentity& identity,
                  const std::string& mimetype = "application/vnd.corvane.zaro-package+zip") {
  std::vector<EntryDigest> digests = {{"mimetype", Sha256(mimetype)}};
  for (const RawEntry& e : signedEntries) digests.push_back({e.name, Sha256(e.data)});
  std::string manifest = BuildManifest(digests);
  std::string signature;
  ASSERT_TRUE(SignData(identity, manifest, signature).ok());
  std::vector<RawEntry> all = {{"mimetype", mimetype}};
  all.insert(all.end(), entries.begin(), entries.end());
  all.push_back({"META-INF/signatures.xml", BuildSignaturesFile(manifest, signature, identity, "")});
  WriteArchive(path, all);
}

// Replaces every occurrence of `from` in the file's bytes by `to` (of the same length).
void PatchBytes(const std::string& path, const std::string& from, const std::string& to) {
  std::string bytes = ReadFile(path);
  for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size()))
    bytes.replace(at, from.size(), to);
  WriteFile(path, bytes);
}

class HostilePackage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { identity_ = new SigningIdentity(MakeIdentity(-1, 30)); }
  static void TearDownTestSuite() { delete identity_; }
  TempFolder dir_;
  static SigningIdentity* identity_;
};

SigningIdentity* HostilePackage::identity_ = nullptr;

struct RefusalCase {
  const char* what;
  const char* message;
  std::function<void(const std::string& path, const SigningIdentity& identity)> make;
};

TEST_F(HostilePackage, VerifierRefusesWhatTheSignatureDoesNotCover) {
  const std::vector<RawEntry> plain = {{"Movie.qmv", "QMV\x01movie"}, {"notes.txt", "notes"}};
  std::vector<RefusalCase> cases = {
      {"an entry given twice", "verification failed: an entry is present twice",
       [&](const std::string& path, const SigningIdentity& id) {
         WritePackage(path, {{"dupA.txt", "first"}, {"dupB.txt", "second"}},
                      {{"dupA.txt", "first"}, {"dupB.txt", "second"}}, id);
         PatchBytes(path, "dupB.txt", "dupA.txt");
       }},
      {"an entry missing from the manifest", "entry extra.txt is not in the manifest",
       [&](const std::string& path, const SigningIdentity& id) {
         std::vector<RawEntry> more = plain;
         more.push_back({"extra.txt", "added after signing"});
         WritePackage(path, more, plain, id);
       }},
      {"an entry changed after signing", "entry notes.txt does not match its digest",
       [&](const std::string& path, const SigningIdentity& id) {
         WritePackage(path, {plain[0], {"notes.txt", "changed"}}, plain, id);
       }},
      {"a manifest entry missing from the package", "entry notes.txt of the manifest is missing",
       [&](const std::string& path, const SigningIdentity& id) { WritePackage(path, {plain[0]}, plain, id); }},
      {"an entry named ../x", "entry ../x would unpack outside its folder",
       [&](const std::string& path, const SigningIdentity& id) {
         WritePackage(path, {{"../x", "escape"}}, {{"../x", "escape"}}, id);
       }},
      {"an entry turned into a link after signing", "entry notes.txt is not a regular file or folder",
       [&](const std::string& path, const SigningIdentity& id) {
         std::vector<RawEntry> linked = plain;
         linked[1].type = S_IFLNK;
         WritePackage(path, linked, plain, id);
       }},
      {"a folder entry carrying data", "entry docs/ is a folder that carries data",
       [&](const std::string& path, const SigningIdentity& id) {
         WritePackage(path, {{"docs/", "hidden", S_IFDIR}}, {{"docs/", "hidden"}}, id);
       }},
      {"the descriptor made executable", "entry META-INF/ZARO/application.xml is marked executable",
       [&](const std::string& path, const SigningIdentity& id) {
         WritePackage(path, {{"META-INF/ZARO/application.xml", "<a/>", S_IFREG | 0111}},
                      {{"META-INF/ZARO/application.xml", "<a/>"}}, id);
       }},
      {"a directory record asking for a later zip version", "entry notes.txt asks for a later zip version",
       [&](const std::string& path, const SigningIdentity& id) {
         WritePackage(path, plain, plain, id);
         std::string bytes = ReadFile(path);
         bytes[bytes.rfind("notes.txt") - 46 + 6] = 63;  // the directory follows the data
         WriteFile(path, bytes);
       }},
      {"a signer not valid yet", "the signer's certificate was not valid now",
       [&](const std::string& path, const SigningIdentity&) {
         WritePackage(path, plain, plain, MakeIdentity(2, 30));
       }},
      {"an unknown type with a long name", "unknown package type application/xxxxxxxx",
       [&](const std::string& path, const SigningIdentity& id) {
         WritePackage(path, plain, plain, id, "application/" + std::string(200, 'x'));
       }},
  };
  std::string good = dir_ / "good.zaro";
  WritePackage(good, plain, plain, *identity_);
  ToolRun accepted = RunTool({"-verify", good});
  ASSERT_EQ(accepted.code, 0) << accepted.output;
  EXPECT_TRUE(Contains(accepted.output, "signer: CN=Hostile Test")) << accepted.output;
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = dir_ / "case.zaro";
    c.make(path, *identity_);
    ToolRun run = RunTool({"-verify", path});
    EXPECT_EQ(run.code, 1) << run.output;
    EXPECT_TRUE(Contains(run.output, c.message)) << run.output;
    for (size_t start = 0, end; start < run.output.size(); start = end + 1) {
      end = run.output.find('\n', start);
      if (end == std::string::npos) end = run.output.size();
      EXPECT_LE(end - start, 200u) << "an output line echoes too much package content";
    }
  }
}

// A small package whose mimetype entry unpacks to 128 MiB: the verifier reads no more of it
// than a mimetype may be long and prints one short line.
TEST_F(HostilePackage, MimetypeBombIsRefusedWithoutReadingIt) {
  std::string zeros = dir_ / "zeros";
  int fd = open(zeros.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, off_t{128} << 20), 0);
  close(fd);
  std::string bomb = dir_ / "bomb.zaro";
  WriteArchive(bomb, {{"mimetype", "", S_IFREG, zeros, true}, {"notes.txt", "notes"}});
  unlink(zeros.c_str());

  ToolRun run = RunTool({"-verify", bomb});
  std::cout << "mimetype bomb: package " << ReadFile(bomb).size() << " bytes, output " << run.output.size()
            << " bytes, peak memory " << run.maxRssKb / 1024 << " MiB\n";
  RecordProperty("bomb_peak_memory_kib", static_cast<int>(run.maxRssKb));
  EXPECT_EQ(run.code, 1) << run.output.substr(0, 300);
  EXPECT_TRUE(Contains(run.output, "the mimetype entry cannot be read")) << run.output.substr(0, 300);
  EXPECT_LT(run.output.size(), 1000u);
  EXPECT_LT(run.maxRssKb, kMemoryBoundKib);
}

class HostileIntermediate : public HostilePackage {
 protected:
  void SetUp() override {
    WriteKeystore(keystore(), "pw", identity_->key.get(), identity_->certificate.get());
    MakeMovieFolder(movie(), MakeDescriptor(kIcons));
  }
  std::string keystore() const { return dir_ / "k.p12"; }
  std::string movie() const { return dir_ / "movie"; }
  ToolRun Prepare(const std::vector<std::string>& extra = {}) const {
    std::vector<std::string> args = {"-prepare", dir_ / "in.zaroi", movie() + "/Movie-app.xml", "-C", movie(),
                                     "Movie.qmv", "icons"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunTool(args);
  }
  ToolRun Sign() const {
    return RunTool({"-sign", "-storetype", "PKCS12", "-keystore", keystore(), "-storepass", "pw", "-tsa", "none",
                    dir_ / "in.zaroi", dir_ / "out.zaro"});
  }
  // Changes the intermediate file with libzip.
  void Edit(const std::function<void(zip_t*)>& change) const {
    int error = 0;
    zip_t* za = zip_open((dir_ / "in.zaroi").c_str(), 0, &error);
    ASSERT_NE(za, nullptr);
    change(za);
    ASSERT_EQ(zip_close(za), 0);
  }
  static constexpr const char* kIcons =
      "<image16x16>icons/i16.png</image16x16><image32x32>icons/i32.png</image32x32>";
};

TEST_F(HostileIntermediate, SigningRefusesForeignEntriesAndKeepsModes) {
  // An executable entry keeps its mode through signing.
  WriteFile(movie() + "/run.sh", "#!/bin/sh\necho hi\n");
  chmod((movie() + "/run.sh").c_str(), 0755);
  ASSERT_EQ(Prepare({"run.sh"}).code, 0);
  ToolRun signedRun = Sign();
  ASSERT_EQ(signedRun.code, 0) << signedRun.output;
  EXPECT_EQ(RunTool({"-verify", dir_ / "out.zaro"}).code, 0);
  int error = 0;
  zip_t* za = zip_open((dir_ / "out.zaro").c_str(), ZIP_RDONLY, &error);
  ASSERT_NE(za, nullptr);
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  zip_file_get_external_attributes(za, static_cast<zip_uint64_t>(zip_name_locate(za, "run.sh", 0)), 0, &system,
                                   &attributes);
  zip_discard(za);
  EXPECT_EQ((attributes >> 16) & 0777, 0755u);

  struct Case {
    const char* what;
    std::function<void(zip_t*)> change;
    const char* message;
  };
  std::vector<Case> cases = {
      {"a signature entry already present",
       [](zip_t* z) { zip_file_add(z, "META-INF/signatures.xml", zip_source_buffer(z, "<s/>", 4, 0), 0); },
       "the entry META-INF/signatures.xml is not allowed"},
      {"a named icon missing", [](zip_t* z) { zip_delete(z, zip_name_locate(z, "icons/i32.png", 0)); },
       "error 303: the icon icons/i32.png"},
      {"a link entry",
       [](zip_t* z) {
         zip_file_set_external_attributes(z, zip_name_locate(z, "run.sh", 0), 0, ZIP_OPSYS_UNIX,
                                          static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
       },
       "the entry run.sh is not allowed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    unlink((dir_ / "out.zaro").c_str());
    ASSERT_EQ(Prepare({"run.sh"}).code, 0);
    Edit(c.change);
    ToolRun run = Sign();
    EXPECT_NE(run.code, 0);
    EXPECT_TRUE(Contains(run.output, c.message)) << run.output;
    EXPECT_FALSE(Exists(dir_ / "out.zaro"));
  }
}

// Signing streams every entry: a 256 MiB entry does not take 256 MiB of memory.
TEST_F(HostileIntermediate, SigningALargeEntryTakesLittleMemory) {
  std::string big = movie() + "/big.bin";
  int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, off_t{256} << 20), 0);
  close(fd);
  ASSERT_EQ(Prepare({"big.bin"}).code, 0);
  unlink(big.c_str());
  ToolRun run = Sign();
  std::cout << "signing a 256 MiB entry: peak memory " << run.maxRssKb / 1024 << " MiB\n";
  RecordProperty("sign_peak_memory_kib", static_cast<int>(run.maxRssKb));
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_LT(run.maxRssKb, kMemoryBoundKib);
  EXPECT_EQ(RunTool({"-verify", dir_ / "out.zaro"}).code, 0);
}

}  // namespace
}  // namespace zpk
