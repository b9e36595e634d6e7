// Packages and intermediate files made by hand, as an attacker or a broken writer would.
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <functional>
#include <iostream>
#include <sstream>


#include "test_support.h"

namespace zpk {
namespace {

using namespace zpk::testing;

// Well below what a faulty read would hold (128 and 256 MiB), with room for the sanitizers' own memory.
constexpr long kMemoryBoundKib = 160 * 1024;

TEST(HostilePackage, VerifierRefusesWhatTheSignatureDoesNotCover) {
  const SigningIdentity identity = MakeIdentity("Hostile Test", -1, 30), future = MakeIdentity("Hostile Test", 2, 30);
  const std::vector<RawEntry> plain = {{"Movie.qmv", "QMV\x01movie"}, {"notes.txt", "notes"}};
  const std::vector<RawEntry> twice = {{"dupA.txt", "first"}, {"dupB.txt", "second"}};
  std::vector<RawEntry> extra = plain, linked = plain;
  extra.push_back({"extra.txt", "added after signing"});
  linked[1].type = S_IFLNK;
  struct Case {
    const char *what, *message;
    std::vector<RawEntry> entries, signedEntries;
    std::function<void(std::string& bytes)> patch = nullptr;
    bool signerNotYetValid = false;
    std::string mimetype = kPackageType;
  };
  const std::vector<Case> cases = {
      {"an entry given twice", "verification failed: an entry is present twice", twice, twice,
       [](std::string& bytes) {
         for (size_t at; (at = bytes.find("dupB.txt")) != std::string::npos;) bytes.replace(at, 8, "dupA.txt");
       }},
      {"an entry missing from the manifest", "entry extra.txt is not in the manifest", extra, plain},
      {"an entry changed after signing", "entry notes.txt does not match its digest",
       {plain[0], {"notes.txt", "changed"}}, plain},
      {"a manifest entry missing from the package", "entry notes.txt of the manifest is missing", {plain[0]}, plain},
      {"an entry named ../x", "entry ../x would unpack outside its folder", {{"../x", "escape"}}, {{"../x", "escape"}}},
      {"an entry turned into a link after signing", "entry notes.txt is not a regular file or folder", linked, plain},
      {"a folder entry carrying data", "entry docs/ is a folder that carries data", {{"docs/", "hidden", S_IFDIR}},
       {{"docs/", "hidden"}}},
      {"the descriptor made executable", "entry META-INF/ZARO/application.xml is marked executable",
       {{"META-INF/ZARO/application.xml", "<a/>", S_IFREG | 0111}}, {{"META-INF/ZARO/application.xml", "<a/>"}}},
      // The directory follows the data: the last notes.txt is its record's name.
      {"a directory record asking for a later zip version", "entry notes.txt asks for a later zip version", plain,
       plain, [](std::string& bytes) { bytes[bytes.rfind("notes.txt") - 46 + 6] = 63; }},
      {"a signer not valid yet", "the signer's certificate was not valid now", plain, plain, nullptr, true},
      {"an unknown type with a long name", "unknown package type application/xxxxxxxx", plain, plain, nullptr, false,
       "application/" + std::string(200, 'x')},
  };
  TempFolder dir;
  WritePackage(dir / "good.zaro", plain, plain, identity);
  EXPECT_TRUE(Ran(RunTool({"-verify", dir / "good.zaro"}), 0, "signer: CN=Hostile Test"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir / "case.zaro";  // every case overwrites it
    WritePackage(path, c.entries, c.signedEntries, c.signerNotYetValid ? future : identity, c.mimetype);
    if (c.patch) {
      std::string bytes = ReadFile(path);
      c.patch(bytes);
      WriteFile(path, bytes);
    }
    ToolRun run = RunTool({"-verify", path});
    EXPECT_TRUE(Ran(run, 1, c.message));
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 200u) << "an output line echoes too much";
  }
}

// A small package whose mimetype entry unpacks to 128 MiB: the verifier must not read it whole.
TEST(HostilePackage, MimetypeBombIsRefusedWithoutReadingIt) {
  TempFolder dir;
  WriteSparseFile(dir / "zeros", 128ll << 20);
  WriteArchive(dir / "bomb.zaro", {{"mimetype", "", S_IFREG, dir / "zeros", true}, {"notes.txt", "notes"}});
  unlink((dir / "zeros").c_str());
  ToolRun run = RunTool({"-verify", dir / "bomb.zaro"});
  std::cout << "mimetype bomb: package " << ReadFile(dir / "bomb.zaro").size() << " bytes, output " << run.output.size()
            << " bytes, peak memory " << run.maxRssKb / 1024 << " MiB\n";
  RecordProperty("bomb_peak_memory_kib", static_cast<int>(run.maxRssKb));
  EXPECT_LT(run.output.size(), 1000u);
  EXPECT_TRUE(Ran(run, 1, "the mimetype entry cannot be read"));
  EXPECT_LT(run.maxRssKb, kMemoryBoundKib);
}

class HostileIntermediate : public ToolTest {
 protected:
  void SetUp() override { MakeMovieFolder(movie(), MakeDescriptor(kMovieIcons)); }
  ToolRun Prepare(const std::string& extra) const {
    return RunTool(
        {"-prepare", dir_ / "in.zaroi", movie() + "/Movie-app.xml", "-C", movie(), "Movie.qmv", "icons", extra});
  }
  ToolRun Sign() const {
    return RunTool({"-sign", "-keystore", keystore(), "-storepass", "secret", "-tsa", "none", dir_ / "in.zaroi",
                    dir_ / "out.zaro"});
  }
};

TEST_F(HostileIntermediate, SigningRefusesForeignEntriesAndKeepsModes) {
  WriteFile(movie() + "/run.sh", "#!/bin/sh\necho hi\n");
  chmod((movie() + "/run.sh").c_str(), 0755);
  ASSERT_TRUE(Ran(Prepare("run.sh"), 0));
  ASSERT_TRUE(Ran(Sign(), 0));
  EXPECT_EQ(RunTool({"-verify", dir_ / "out.zaro"}).code, 0);
  zip_uint32_t attributes = 0;
  EditZip(dir_ / "out.zaro", [&](zip_t* za) {
    zip_file_get_external_attributes(za, static_cast<zip_uint64_t>(zip_name_locate(za, "run.sh", 0)), 0, nullptr,
                                     &attributes);
  });
  EXPECT_EQ((attributes >> 16) & 0777, 0755u) << "an executable entry keeps its mode through signing";

  const std::vector<std::tuple<std::function<void(zip_t*)>, int, const char*>> cases = {
      {AddingEntry("META-INF/signatures.xml", "<s/>"), 5, "the entry META-INF/signatures.xml is not allowed"},
      {[](zip_t* z) { zip_delete(z, zip_name_locate(z, "icons/i32.png", 0)); }, 12,
       "error 303: the icon icons/i32.png"},
      {[](zip_t* z) { SetEntryMode(z, "run.sh", S_IFLNK | 0777); }, 5, "the entry run.sh is not allowed"},
  };
  for (const auto& [change, code, message] : cases) {
    SCOPED_TRACE(message);
    unlink((dir_ / "out.zaro").c_str());
    ASSERT_EQ(Prepare("run.sh").code, 0);
    EditZip(dir_ / "in.zaroi", change);
    EXPECT_TRUE(Ran(Sign(), code, message));
    EXPECT_FALSE(Exists(dir_ / "out.zaro"));
  }
}

// Signing streams every entry: a 256 MiB entry does not take 256 MiB of memory.
TEST_F(HostileIntermediate, SigningALargeEntryTakesLittleMemory) {
  WriteSparseFile(movie() + "/big.bin", 256ll << 20);
  ASSERT_EQ(Prepare("big.bin").code, 0);
  unlink((movie() + "/big.bin").c_str());
  ToolRun run = Sign();
  std::cout << "signing a 256 MiB entry: peak memory " << run.maxRssKb / 1024 << " MiB\n";
  RecordProperty("sign_peak_memory_kib", static_cast<int>(run.maxRssKb));
  ASSERT_TRUE(Ran(run, 0));
  EXPECT_LT(run.maxRssKb, kMemoryBoundKib);
  EXPECT_EQ(RunTool({"-verify", dir_ / "out.zaro"}).code, 0);
}

}  // namespace
}  // namespace zpk
