#include "verifier.h"

#include <sys/stat.h>

#include <ctime>
#include <map>
#include <optional>
#include <set>

#include <openssl/pem.h>
#include <zip.h>

#include "descriptor_check.h"
#include "input_files.h"
#include "installer_writer.h"
#include "openssl_util.h"
#include "package_entries.h"
#include "signature_file.h"
#include "timestamp_client.h"

namespace zpk {

namespace {

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ArchivePtr = std::unique_ptr<zip_t, ArchiveCloser>;

StorePtr LoadTrust(const std::string& file, std::string& error) {
  StorePtr store(X509_STORE_new());
  if (!store || X509_STORE_load_file(store.get(), file.c_str()) != 1) {
    error = "the trust anchors in " + file + " cannot be read (" + LastOpenSslError() + ")";
    return nullptr;
  }
  return store;
}

// Every entry but the signature file must be in the manifest, with a matching digest, and
// every manifest entry in the archive. The reason for the first that is not; `checked`
// counts the entries held against the manifest.
std::optional<std::string> CheckEntries(zip_t* archive, zip_int64_t signatureIndex, const ParsedSignatures& parsed,
                                        size_t& checked) {
  std::map<std::string, std::string> expected;
  for (const EntryDigest& d : parsed.digests) expected[d.name] = d.sha256;
  std::set<std::string> seen;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    if (i == signatureIndex) continue;
    const auto index = static_cast<zip_uint64_t>(i);
    const char* rawName = zip_get_name(archive, index, 0);
    std::string name = rawName == nullptr ? "" : rawName;
    std::string plain = name;
    if (!plain.empty() && plain.back() == '/') plain.pop_back();
    const std::string shown = "entry " + Excerpt(name);
    if (!IsSafeRelativePath(plain)) return shown + " would unpack outside its folder";
    if (!seen.insert(name).second) return shown + " is present twice";
    // Only names and contents are signed: a link, a device, a folder carrying data or a
    // mode the writer never gives would change what unpacks unseen.
    const bool generated = name == kMimetypeEntry || name == kDescriptorEntry;
    const std::string shape = EntryShapeProblem(archive, index, generated);
    if (!shape.empty()) return shown + " " + shape;
    auto it = expected.find(name);
    if (it == expected.end()) return shown + " is not in the manifest";
    std::string digest, why;
    if (!DigestEntry(archive, index, digest, why)) return shown + " is damaged (" + why + ")";
    if (digest != it->second) return shown + " does not match its digest";
  }
  const std::string shape = EntryShapeProblem(archive, static_cast<zip_uint64_t>(signatureIndex), true);
  if (!shape.empty()) return std::string("entry ") + kSignaturesEntry + " " + shape;
  for (const EntryDigest& d : parsed.digests)
    if (seen.count(d.name) == 0) return "entry " + Excerpt(d.name) + " of the manifest is missing";
  checked = seen.size();
  return std::nullopt;
}

}  // namespace

Outcome VerifyPackage(const VerifyArgs& args) {
  struct stat st {};
  if (stat(args.package.c_str(), &st) != 0) return NoSuchFile(args.package);
  std::string report = "package: " + args.package + "\n";
  auto failed = [&](const std::string& why) {
    return Fail(kExitVerifyFailed, report + "verification failed: " + why + "\n");
  };

  unsigned long long offset = 0;
  if (!FindPackageOffset(args.package, offset))
    return Fail(kExitUnknown, args.package + ": not a package or installer\n");
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_file_create(args.package.c_str(), offset, -1, &error);
  ArchivePtr archive(source == nullptr ? nullptr : zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
  if (!archive) {
    std::string reason = zip_error_strerror(&error);
    // A zip archive whose directory names an entry twice or contradicts itself is a package
    // that does not verify, not an unknown file.
    const int code = zip_error_code_zip(&error);
    if (source != nullptr) zip_source_free(source);
    zip_error_fini(&error);
    if (code == ZIP_ER_EXISTS) return failed("an entry is present twice");
    if (code == ZIP_ER_INCONS) return failed("the archive is inconsistent (" + reason + ")");
    return Fail(kExitUnknown, args.package + ": not a package (" + reason + ")\n");
  }
  zip_error_fini(&error);
  if (offset > 0) report += "installer: the package starts at byte " + std::to_string(offset) + "\n";

  const DirectoryProblem problem = FirstDirectoryProblem(args.package, offset);
  if (problem.kind != DirectoryProblem::kNone)
    return failed("entry " + Excerpt(problem.name) + " " + DirectoryProblemText(problem.kind, "the tool"));
  zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  std::string mimetype, why;
  if (count < 1 || std::string(zip_get_name(archive.get(), 0, 0)) != kMimetypeEntry)
    return failed("the first entry is not mimetype");
  if (!ReadEntryLimited(archive.get(), 0, kMaxMimetypeBytes, mimetype, why))
    return failed("the mimetype entry cannot be read (" + why + ")");
  if (mimetype == kIntermediateMimetype) return failed("this is an unsigned intermediate file");
  if (mimetype != kPackageMimetype) return failed("unknown package type " + Excerpt(mimetype));

  zip_int64_t signatureIndex = zip_name_locate(archive.get(), kSignaturesEntry, 0);
  std::string signatureText;
  if (signatureIndex < 0) return failed("the package is not signed");
  if (!ReadEntryLimited(archive.get(), static_cast<zip_uint64_t>(signatureIndex), kMaxMetadataBytes, signatureText,
                        why))
    return failed(std::string(kSignaturesEntry) + " cannot be read (" + why + ")");
  ParsedSignatures parsed;
  if (!ParseSignaturesFile(signatureText, parsed, why)) return failed(why);
  X509* signer = parsed.certificates.front().get();
  report += "signer: " + NameText(X509_get_subject_name(signer)) + "\n";

  if (!VerifyData(signer, parsed.manifest, parsed.signature))
    return failed("the signature does not match the manifest and the signer's certificate");
  report += "signature: RSA-SHA256 over the manifest, verified\n";

  size_t checked = 0;
  if (std::optional<std::string> problem = CheckEntries(archive.get(), signatureIndex, parsed, checked))
    return failed(*problem);
  report += "entries: " + std::to_string(checked) + " checked, every digest matches\n";

  time_t reference = time(nullptr);
  if (!parsed.timeStampToken.empty()) {
    StorePtr trust;
    if (!args.tsaCaFile.empty()) {
      trust = LoadTrust(args.tsaCaFile, why);
      if (!trust) return failed(why);
    }
    TimeStampInfo info;
    if (!CheckTimeStampToken(parsed.timeStampToken, parsed.signature, trust.get(), info, why)) return failed(why);
    reference = static_cast<time_t>(info.unixTime);
    report += "time stamp: " + info.time + " by " + info.authority + ", token verified" +
              (trust ? " and its authority trusted" : " (authority not checked against trust anchors)") + "\n";
  } else {
    report += "time stamp: none\n";
  }
  if (X509_cmp_time(X509_get0_notBefore(signer), &reference) > 0 ||
      X509_cmp_time(X509_get0_notAfter(signer), &reference) < 0)
    return failed(std::string("the signer's certificate was not valid ") +
                  (parsed.timeStampToken.empty() ? "now" : "at the time stamp"));
  bool selfSigned = X509_NAME_cmp(X509_get_subject_name(signer), X509_get_issuer_name(signer)) == 0 &&
                    X509_verify(signer, X509_get0_pubkey(signer)) == 1;
  report += "certificate: valid from " + TimeText(X509_get0_notBefore(signer)) + " to " +
            TimeText(X509_get0_notAfter(signer)) +
            (selfSigned ? ", self-signed" : ", issued by " + NameText(X509_get_issuer_name(signer))) + "\n";
  report += "verified\n";
  return Outcome{kExitOk, report};
}

}  // namespace zpk
