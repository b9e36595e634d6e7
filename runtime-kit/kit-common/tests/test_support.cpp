#include "test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include "signature_file.h"

namespace zpk::testing {

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zpk-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {

bool IsProxyVariable(const std::string& entry) {
  std::string name = entry.substr(0, entry.find('='));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name == "http_proxy" || name == "https_proxy" || name == "all_proxy" || name == "no_proxy";
}

// This process's environment less its proxy variables, with `extra` added or replacing.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    if (IsProxyVariable(text)) continue;
    std::string name = text.substr(0, text.find('=') + 1);
    bool replaced = false;
    for (const std::string& e : extra) replaced = replaced || e.compare(0, name.size(), name) == 0;
    if (!replaced) result.push_back(text);
  }
  result.insert(result.end(), extra.begin(), extra.end());
  return result;
}

ToolRun RunArgv(const std::vector<std::string>& argv, const std::string& cwd,
                const std::vector<std::string>& environment = {}) {
  std::vector<std::string> variables = ChildEnvironment(environment);
  std::vector<char*> envp;
  for (std::string& v : variables) envp.push_back(v.data());
  envp.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  pid_t child = fork();
  if (child == 0) {
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    std::vector<char*> raw;
    for (const std::string& a : argv) raw.push_back(const_cast<char*>(a.c_str()));
    raw.push_back(nullptr);
    execve(raw[0], raw.data(), envp.data());
    _exit(127);
  }
  close(pipeFds[1]);
  ToolRun run;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) run.output.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  run.maxRssKb = usage.ru_maxrss;
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace

ToolRun RunTool(const std::vector<std::string>& args, const std::string& cwd) {
  std::vector<std::string> argv = {ZPK_TOOL_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunArgv(argv, cwd);
}

ToolRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& environment) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunArgv(argv, "", environment);
}

ToolRun RunToolWith(const std::vector<std::string>& args, const std::vector<std::string>& environment) {
  return RunProgram(ZPK_TOOL_PATH, args, environment);
}

ToolRun RunShell(const std::string& command) { return RunArgv({"/bin/sh", "-c", command}, ""); }

void ShellIn(const std::string& folder, const std::string& script) {
  ToolRun run = RunShell("cd " + Quote(folder) + " && " + script);
  ASSERT_EQ(run.code, 0) << script << "\n" << run.output;
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

::testing::AssertionResult Ran(const ToolRun& run, int code, const std::string& part) {
  if (run.code == code && Contains(run.output, part)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "exit status " << run.code << " (expected " << code << "), expected \""
                                       << part << "\" in the output:\n" << run.output;
}

::testing::AssertionResult Ran(const ToolRun& run, int code, std::initializer_list<std::string> parts) {
  for (const std::string& part : parts)
    if (!Contains(run.output, part)) return Ran(run, code, part);
  return Ran(run, code);
}

void WriteFile(const std::string& path, const std::string& data) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename());
  return names;
}

std::string TreeListing(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> lines;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    std::string line = fs::relative(item.path(), folder).string();
    if (item.is_symlink()) line += " -> " + fs::read_symlink(item.path()).string();
    else if (item.is_directory()) line += "/";
    else line += " " + std::to_string(std::hash<std::string>{}(ReadFile(item.path())));
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

std::string MakePng(int width, int height) {
  auto chunk = [](const std::string& type, const std::string& data) {
    std::string out;
    auto put32 = [&](uint32_t v) {
      for (int s = 24; s >= 0; s -= 8) out += static_cast<char>((v >> s) & 0xff);
    };
    put32(static_cast<uint32_t>(data.size()));
    std::string body = type + data;
    out += body;
    put32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
    return out;
  };
  std::string ihdr;
  for (int v : {width, height})
    for (int s = 24; s >= 0; s -= 8) ihdr += static_cast<char>((v >> s) & 0xff);
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  std::string raw;
  for (int y = 0; y < height; ++y) raw += std::string(1 + 3 * static_cast<size_t>(width), '\0');
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(size, '\0');
  compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
           static_cast<uLong>(raw.size()));
  packed.resize(size);
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", packed) + chunk("IEND", "");
}

std::string MakeBytes(size_t size, bool compressible, unsigned seed) {
  std::string out;
  out.reserve(size);
  if (compressible) {
    std::string line = "line " + std::to_string(seed) + ": the quick brown fox jumps over the lazy dog\n";
    while (out.size() < size) out += line;
    out.resize(size);
    return out;
  }
  uint64_t x = 0x9e3779b97f4a7c15ULL ^ seed;
  while (out.size() < size) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    out += static_cast<char>(x & 0xff);
  }
  return out;
}

std::string MakeDescriptor(const std::string& icons, const std::string& windowExtra,
                           const std::string& applicationExtra) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
         "<application xmlns=\"http://ns.corvane.example/zaro/application/2.0\">"
         "<id>com.example.Movie</id><version>1.0</version><filename>Movie</filename>"
         "<description></description><name>Movie</name><copyright></copyright>"
         "<initialWindow><content>Movie.qmv</content><systemChrome>standard</systemChrome>"
         "<transparent>false</transparent><visible>true</visible>" +
         windowExtra + "</initialWindow><icon>" + icons +
         "</icon><customUpdateUI>false</customUpdateUI>" + applicationExtra + "</application>\n";
}

std::string MakeFileType(const std::string& name, const std::string& extension, const std::string& contentType,
                         const std::string& icons, const std::string& description) {
  return "<fileType><name>" + name + "</name><extension>" + extension + "</extension><description>" + description +
         "</description><contentType>" + contentType + "</contentType><icon>" + icons + "</icon></fileType>";
}

void MakeMovieFolder(const std::string& folder, const std::string& descriptor) {
  WriteFile(folder + "/Movie.qmv", "QMV\x05" + MakeBytes(2000, true, 1));
  WriteFile(folder + "/Movie-app.xml", descriptor);
  WriteFile(folder + "/icons/i16.png", MakePng(16, 16));
  WriteFile(folder + "/icons/i32.png", MakePng(32, 32));
}

PkeyPtr MakeRsaKey(int bits) {
  return PkeyPtr(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(bits)));
}

X509Ptr MakeCertificate(EVP_PKEY* key, const std::string& commonName, long fromDays, long toDays,
                        const std::vector<std::pair<int, const char*>>& extensions) {
  X509Ptr cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 7);
  X509_time_adj_ex(X509_getm_notBefore(cert.get()), static_cast<int>(fromDays), 0, nullptr);
  X509_time_adj_ex(X509_getm_notAfter(cert.get()), static_cast<int>(toDays), 0, nullptr);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                             -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509_set_pubkey(cert.get(), key);
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, cert.get(), cert.get(), nullptr, nullptr, 0);
  for (const auto& [nid, value] : extensions) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    X509_add_ext(cert.get(), extension, -1);
    X509_EXTENSION_free(extension);
  }
  X509_sign(cert.get(), key, EVP_sha256());
  return cert;
}

void WriteTestKeystore(const std::string& path, const std::string& password, const std::string& commonName,
                       int bits) {
  PkeyPtr key = MakeRsaKey(bits);
  X509Ptr cert = MakeCertificate(key.get(), commonName, -1, 365);
  WriteKeystore(path, password, key.get(), cert.get());
}

void WriteKeystore(const std::string& path, const std::string& password, EVP_PKEY* key, X509* cert) {
  Pkcs12Ptr p12(PKCS12_create(password.c_str(), "test", key, cert, nullptr, 0, 0, 0, 0, 0));
  unsigned char* der = nullptr;
  int size = i2d_PKCS12(p12.get(), &der);
  WriteFile(path, std::string(reinterpret_cast<char*>(der), static_cast<size_t>(size)));
  OPENSSL_free(der);
}

void WriteMismatchedKeystore(const std::string& path, const std::string& password, EVP_PKEY* key, X509* cert) {
  STACK_OF(PKCS12_SAFEBAG)* bags = nullptr;
  PKCS12_add_cert(&bags, cert);
  STACK_OF(PKCS12_SAFEBAG)* keyBags = nullptr;
  PKCS12_add_key(&keyBags, key, 0, PKCS12_DEFAULT_ITER, NID_aes_256_cbc, password.c_str());
  STACK_OF(PKCS7)* safes = nullptr;
  PKCS12_add_safe(&safes, bags, -1, 0, nullptr);
  PKCS12_add_safe(&safes, keyBags, -1, 0, nullptr);
  Pkcs12Ptr p12(PKCS12_add_safes(safes, 0));
  PKCS12_set_mac(p12.get(), password.c_str(), -1, nullptr, 0, PKCS12_DEFAULT_ITER, EVP_sha256());
  sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free);
  sk_PKCS12_SAFEBAG_pop_free(keyBags, PKCS12_SAFEBAG_free);
  sk_PKCS7_pop_free(safes, PKCS7_free);
  unsigned char* der = nullptr;
  int size = i2d_PKCS12(p12.get(), &der);
  WriteFile(path, std::string(reinterpret_cast<char*>(der), static_cast<size_t>(size)));
  OPENSSL_free(der);
}

std::string CertificatePem(X509* cert) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(bio.get(), cert);
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(size));
}

std::string ReadZipEntry(const std::string& archive, const std::string& name) {
  int error = 0;
  zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &error);
  if (za == nullptr) return {};
  std::string data;
  zip_file_t* file = zip_fopen(za, name.c_str(), 0);
  if (file != nullptr) {
    char buffer[4096];
    zip_int64_t n;
    while ((n = zip_fread(file, buffer, sizeof buffer)) > 0) data.append(buffer, static_cast<size_t>(n));
    zip_fclose(file);
  }
  zip_discard(za);
  return data;
}

::testing::AssertionResult Quiet(const ToolRun& run) {
  if (run.code == 0 && run.output.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "exit status " << run.code << ", output:\n" << run.output;
}

std::function<void(zip_t*)> AddingEntry(const std::string& name, const std::string& data, zip_flags_t flags) {
  return [=](zip_t* za) {
    void* copy = std::malloc(data.size() + 1);  // the archive frees it once written
    std::memcpy(copy, data.data(), data.size());
    ASSERT_GE(zip_file_add(za, name.c_str(), zip_source_buffer(za, copy, data.size(), 1), flags), 0) << name;
  };
}

void EditZip(const std::string& path, const std::function<void(zip_t*)>& change) {
  int error = 0;
  zip_t* za = zip_open(path.c_str(), 0, &error);
  ASSERT_NE(za, nullptr) << path;
  change(za);
  ASSERT_EQ(zip_close(za), 0) << path;
}

void SetEntryMode(zip_t* archive, const std::string& name, unsigned mode) {
  zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(zip_name_locate(archive, name.c_str(), 0)), 0,
                                   ZIP_OPSYS_UNIX, static_cast<zip_uint32_t>(mode) << 16);
}

void WriteArchive(const std::string& path, const std::vector<RawEntry>& entries) {
  int error = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(za, nullptr);
  for (size_t i = 0; i < entries.size(); ++i) {
    const RawEntry& e = entries[i];
    zip_source_t* source = e.file.empty() ? zip_source_buffer(za, e.data.data(), e.data.size(), 0)
                                          : zip_source_file(za, e.file.c_str(), 0, -1);
    zip_int64_t index = zip_file_add(za, e.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    ASSERT_GE(index, 0) << e.name << ": " << zip_strerror(za);
    zip_set_file_compression(za, static_cast<zip_uint64_t>(index), i > 0 || e.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                             1);
    SetEntryMode(za, e.name, e.type | 0644);
  }
  ASSERT_EQ(zip_close(za), 0);
}

void WritePackage(const std::string& path, const std::vector<RawEntry>& entries,
                  const std::vector<RawEntry>& signedEntries, const SigningIdentity& identity,
                  const std::string& mimetype) {
  std::vector<EntryDigest> digests = {{"mimetype", Sha256(mimetype)}};
  for (const RawEntry& e : signedEntries) digests.push_back({e.name, Sha256(e.data)});
  std::string manifest = BuildManifest(digests), signature;
  ASSERT_TRUE(SignData(identity, manifest, signature).ok());
  std::vector<RawEntry> all = {{"mimetype", mimetype}};
  all.insert(all.end(), entries.begin(), entries.end());
  all.push_back({"META-INF/signatures.xml", BuildSignaturesFile(manifest, signature, identity, "")});
  WriteArchive(path, all);
}

SigningIdentity MakeIdentity(const std::string& commonName, long fromDays, long toDays) {
  SigningIdentity identity;
  identity.key = MakeRsaKey(1024);
  identity.certificate = MakeCertificate(identity.key.get(), commonName, fromDays, toDays);
  return identity;
}

void WriteSparseFile(const std::string& path, long long size) {
  std::ofstream(path).close();
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
}

namespace {
TempFolder* suiteKeys = nullptr;
EVP_PKEY* suiteKey = nullptr;
}  // namespace

void ToolTest::SetUpTestSuite() {
  suiteKeys = new TempFolder();
  suiteKey = MakeRsaKey(2048).release();
  WriteKeystore(keystore(), "secret", suiteKey, MakeCertificate(suiteKey, "Test Author", -1, 365).get());
}

void ToolTest::TearDownTestSuite() {
  EVP_PKEY_free(suiteKey);
  delete suiteKeys;
}

std::string ToolTest::keystore() { return *suiteKeys / "k.p12"; }

EVP_PKEY* ToolTest::signingKey() { return suiteKey; }

std::vector<std::string> ToolTest::Package(const std::string& output, const std::vector<std::string>& files,
                                           const std::string& tsa, const std::vector<std::string>& options) const {
  std::vector<std::string> args = {"-package", "-keystore", keystore(), "-storepass", "secret", "-tsa", tsa};
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), {output, movie() + "/Movie-app.xml", "-C", movie()});
  args.insert(args.end(), files.begin(), files.end());
  return args;
}

}  // namespace zpk::testing
