#pragma once
// The kit's test support: temporary folders, running the built packaging tool, small
// generated inputs and test keystores.
#include <zip.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "keystore.h"
#include "openssl_util.h"

namespace zpk::testing {

// A fresh folder under the system's temporary folder, removed with its content.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct ToolRun {
  int code = -1;
  std::string output;  // standard output and standard error together
  long maxRssKb = 0;   // the tool's peak resident memory
};

// Runs the built tool with `args` in the folder `cwd` (empty: the current folder).
ToolRun RunTool(const std::vector<std::string>& args, const std::string& cwd = "");
// Runs `program` (a copy of the tool, say) with `args`; `environment` ("NAME=value") is
// added to this process's environment or replaces a variable of the same name. Every run
// gets this process's environment without its proxy variables, so a proxy set up on the
// machine never sees the tests' loopback traffic.
ToolRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment);
// Runs the built tool as RunProgram does.
ToolRun RunToolWith(const std::vector<std::string>& args, const std::vector<std::string>& environment);
// Runs a shell command line; output combined.
ToolRun RunShell(const std::string& command);
// Runs `script` in the shell in the folder `folder`; it must succeed.
void ShellIn(const std::string& folder, const std::string& script);
// `text` in single quotes for the shell.
std::string Quote(const std::string& text);

bool Contains(const std::string& text, const std::string& part);
// `text` with its first `from` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to);
// Succeeds when the run ended with `code` and its output holds `part`; the output is in
// the message when it does not.
::testing::AssertionResult Ran(const ToolRun& run, int code, const std::string& part = "");
// Succeeds when the run ended with `code` and its output holds every one of `parts`.
::testing::AssertionResult Ran(const ToolRun& run, int code, std::initializer_list<std::string> parts);
// Succeeds when the run ended with 0 and printed nothing.
::testing::AssertionResult Quiet(const ToolRun& run);

void WriteFile(const std::string& path, const std::string& data);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
std::vector<std::string> ListFolder(const std::string& path);
// Everything under `folder`, one sorted line per name: folders, links with their targets
// and files with their size and a hash of their content, so that any change shows.
std::string TreeListing(const std::string& folder);

// A valid PNG image of the given size.
std::string MakePng(int width, int height);
// Deterministic bytes: `compressible` repeats text, otherwise pseudo-random.
std::string MakeBytes(size_t size, bool compressible, unsigned seed);

// A descriptor in the 2.0 namespace; `windowExtra` goes inside initialWindow and
// `applicationExtra` at the end of application.
std::string MakeDescriptor(const std::string& icons = "", const std::string& windowExtra = "",
                           const std::string& applicationExtra = "");

// A fileType element for the descriptor's fileTypes.
std::string MakeFileType(const std::string& name, const std::string& extension, const std::string& contentType,
                         const std::string& icons = "", const std::string& description = "");

// A movie folder: Movie.qmv, Movie-app.xml (with the given descriptor text) and the icons
// icons/i16.png and icons/i32.png.
void MakeMovieFolder(const std::string& folder, const std::string& descriptor);
// The icon element for those two icons.
inline constexpr const char* kMovieIcons =
    "<image16x16>icons/i16.png</image16x16><image32x32>icons/i32.png</image32x32>";

// Keystores for tests.
PkeyPtr MakeRsaKey(int bits);
// A self-signed certificate for `key`, valid from now + fromDays to now + toDays, with
// `extensions` ({NID_key_usage, "critical,digitalSignature"}, say).
X509Ptr MakeCertificate(EVP_PKEY* key, const std::string& commonName, long fromDays, long toDays,
                        const std::vector<std::pair<int, const char*>>& extensions = {});
void WriteKeystore(const std::string& path, const std::string& password, EVP_PKEY* key, X509* cert);
// A new key with a certificate for `commonName` valid from yesterday for a year, as a
// keystore with `password`: what most tool tests sign with.
void WriteTestKeystore(const std::string& path, const std::string& password = "secret",
                       const std::string& commonName = "Test Author", int bits = 2048);
// Like WriteKeystore, without checking that the key belongs to the certificate.
void WriteMismatchedKeystore(const std::string& path, const std::string& password, EVP_PKEY* key, X509* cert);
std::string CertificatePem(X509* cert);

// The entry `name` of a zip archive.
std::string ReadZipEntry(const std::string& archive, const std::string& name);
// Opens the zip archive `path` for `change` to edit and writes it back.
void EditZip(const std::string& path, const std::function<void(zip_t*)>& change);
// A change for EditZip that adds the entry `name` with `data` (replaces it, with ZIP_FL_OVERWRITE).
std::function<void(zip_t*)> AddingEntry(const std::string& name, const std::string& data, zip_flags_t flags = 0);
// Gives the entry `name` the Unix file type and mode `mode` (S_IFLNK | 0777, say).
void SetEntryMode(zip_t* archive, const std::string& name, unsigned mode);

// Archives made by hand, as an attacker or a broken writer would.
struct RawEntry {
  std::string name;
  std::string data;
  unsigned type = 0100000;  // the file type stored in the entry's Unix attributes (S_IFREG)
  std::string file = {};    // read from this file instead of `data` when set
  bool deflate = false;     // the first entry is stored unless this is set; later ones are deflated
};
void WriteArchive(const std::string& path, const std::vector<RawEntry>& entries);
inline constexpr const char* kPackageType = "application/vnd.corvane.zaro-package+zip";
// A signed package: mimetype, `entries`, then the signature file over the digests of
// `signedEntries`, which need not be the same.
void WritePackage(const std::string& path, const std::vector<RawEntry>& entries,
                  const std::vector<RawEntry>& signedEntries, const SigningIdentity& identity,
                  const std::string& mimetype = kPackageType);
// A key with a certificate for `commonName` valid from `fromDays` to `toDays` from now.
SigningIdentity MakeIdentity(const std::string& commonName, long fromDays, long toDays);
// A file of `size` zero bytes that takes no room on disk.
void WriteSparseFile(const std::string& path, long long size);

// A fresh folder `dir_` and a keystore (CN=Test Author, password "secret") shared by the
// test suite, for tests that run the packaging tool.
class ToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  static std::string keystore();
  static EVP_PKEY* signingKey();
  std::string movie() const { return dir_ / "movie"; }
  // "-package" signed with the suite's keystore and time-stamped by `tsa`, with `options`
  // before `output`; `files` are taken from movie().
  std::vector<std::string> Package(const std::string& output, const std::vector<std::string>& files = {"Movie.qmv"},
                                   const std::string& tsa = "none", const std::vector<std::string>& options = {}) const;

  TempFolder dir_;
};

}  // namespace zpk::testing
