#include "packager.h"

#include <sys/stat.h>

#include <memory>
#include <set>

#include <zip.h>

#include "atomic_output.h"
#include "descriptor_check.h"
#include "desktop_registration.h"
#include "input_files.h"
#include "installer_writer.h"
#include "keystore.h"
#include "package_entries.h"
#include "signature_file.h"
#include "timestamp_client.h"
#include "verifier.h"
#include "zip_writer.h"

namespace zpk {

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

Outcome CheckSigningOptions(const SigningOptions& options, SigningIdentity& identity) {
  if (options.tsa != "none") {
    Url url;
    if (!ParseUrl(options.tsa, url)) return UsageError("-tsa " + options.tsa + " is neither none nor an http or https URL");
  }
  Outcome loaded = LoadKeystore(options.keystore, options.storePass, identity);
  if (!loaded.ok()) return loaded;
  // A key that cannot sign is found before anything is written.
  std::string probe;
  return SignData(identity, "probe", probe);
}

// Makes the signature file once every other entry's digest is known.
PackageWriter::FinalEntryMaker SignatureMaker(const SigningIdentity& identity, const std::string& tsa) {
  return [&identity, tsa](const std::vector<EntryDigest>& digests, std::string& content) {
    std::string manifest = BuildManifest(digests);
    std::string signature;
    Outcome signedOk = SignData(identity, manifest, signature);
    if (!signedOk.ok()) return signedOk;
    std::string token;
    if (tsa != "none") {
      TimeStampInfo info;
      Outcome stamped = RequestTimeStamp(tsa, signature, token, info);
      if (!stamped.ok()) return stamped;
    }
    content = BuildSignaturesFile(manifest, signature, identity, token);
    return Outcome::Ok();
  };
}

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};

}  // namespace

Outcome RunPackage(const PackageArgs& args) {
  if (!Exists(args.descriptor)) return DescriptorError(args.descriptor, 301, "the descriptor file cannot be found");
  std::string xml, error;
  if (!ReadWholeFile(args.descriptor, xml, error))
    return DescriptorError(args.descriptor, 301, "the descriptor file cannot be read (" + error + ")");
  DescriptorInfo info;
  Outcome checked = CheckDescriptor(xml, args.descriptor, info);
  if (!checked.ok()) return checked;

  std::vector<PackageEntry> entries;
  Outcome collected = CollectEntries(args.files, args.output, entries);
  if (!collected.ok()) return collected;
  Outcome referenced = CheckReferencedFiles(info, entries, args.descriptor);
  if (!referenced.ok()) return referenced;
  if (args.native) {
    Outcome installable = CheckInstallable(info, args.descriptor);
    if (!installable.ok()) return installable;
  }

  SigningIdentity identity;
  if (!args.prepare) {
    Outcome signing = CheckSigningOptions(args.signing, identity);
    if (!signing.ok()) return signing;
  }

  TemporaryOutput temp;
  if (!temp.Create(args.output, error)) return Fail(kExitOutput, args.output + ": cannot be written (" + error + ")\n");
  PackageWriter writer;
  Outcome step = writer.Open(temp.path());
  if (step.ok()) step = writer.AddBuffer(kMimetypeEntry, args.prepare ? kIntermediateMimetype : kPackageMimetype, false);
  if (step.ok()) step = writer.AddBuffer(kDescriptorEntry, xml, true);
  for (size_t i = 0; step.ok() && i < entries.size(); ++i) step = writer.AddEntry(entries[i]);
  if (step.ok() && args.native) step = AddInstallerEntries(writer, info, entries);
  if (!step.ok()) return step;
  if (!args.prepare) writer.SetFinalEntry(kSignaturesEntry, SignatureMaker(identity, args.signing.tsa));
  Outcome written = writer.Close();
  if (!written.ok()) return written;

  if (args.native) return WriteInstaller(temp.path(), args.output);
  if (!temp.Commit(error)) return Fail(kExitOutput, args.output + ": cannot be written (" + error + ")\n");
  return Outcome::Ok();
}

Outcome RunSign(const SignArgs& args) {
  if (!Exists(args.intermediate)) return NoSuchFile(args.intermediate);
  int code = 0;
  std::unique_ptr<zip_t, ArchiveCloser> source(zip_open(args.intermediate.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
  if (!source) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, code);
    Outcome failed = Fail(kExitUnknown, args.intermediate + ": not an intermediate file (" + zip_error_strerror(&ze) + ")\n");
    zip_error_fini(&ze);
    return failed;
  }
  zip_t* archive = source.get();
  zip_int64_t count = zip_get_num_entries(archive, 0);
  std::string mimetype, why;
  const char* first = count > 0 ? zip_get_name(archive, 0, 0) : nullptr;
  if (first == nullptr || std::string(first) != kMimetypeEntry ||
      !ReadEntryLimited(archive, 0, kMaxMimetypeBytes, mimetype, why) || mimetype != kIntermediateMimetype)
    return Fail(kExitUnknown, args.intermediate + ": not an unsigned intermediate file\n");

  const std::string descriptorPath = args.intermediate + ":" + kDescriptorEntry;
  zip_int64_t descriptorIndex = zip_name_locate(archive, kDescriptorEntry, 0);
  std::string xml;
  if (descriptorIndex < 0 ||
      !ReadEntryLimited(archive, static_cast<zip_uint64_t>(descriptorIndex), kMaxMetadataBytes, xml, why))
    return DescriptorError(descriptorPath, 301, "the descriptor is missing");
  DescriptorInfo info;
  Outcome checked = CheckDescriptor(xml, descriptorPath, info);
  if (!checked.ok()) return checked;

  // Digest every entry in chunks (this also checks its stored CRC) and check its name and
  // kind: only names and contents are signed, so a link or a device is refused.
  std::vector<EntryDigest> digests;
  std::vector<unsigned> modes;
  std::set<std::string> names;
  for (zip_int64_t i = 1; i < count; ++i) {
    const zip_uint64_t index = static_cast<zip_uint64_t>(i);
    const char* raw = zip_get_name(archive, index, 0);
    std::string name = raw == nullptr ? "" : raw;
    std::string plain = name;
    if (!plain.empty() && plain.back() == '/') plain.pop_back();
    if (name == kSignaturesEntry || name == kMimetypeEntry || !IsSafeRelativePath(plain) ||
        !names.insert(name).second || !IsPlainEntry(archive, index))
      return Fail(kExitUnknown,
                  args.intermediate + ": the entry " + Excerpt(name) + " is not allowed in an intermediate file\n");
    EntryDigest digest{name, {}};
    if (!DigestEntry(archive, index, digest.sha256, why))
      return Fail(kExitUnknown, args.intermediate + ": the entry " + Excerpt(name) + " is damaged\n");
    digests.push_back(std::move(digest));
    modes.push_back(EntryPermissions(archive, index, 0644));
  }
  if (names.count(info.content) == 0)
    return DescriptorError(descriptorPath, 302, "the root content " + info.content + " is not in the intermediate file");
  for (const IconReference& icon : info.icons)
    if (names.count(icon.path) == 0)
      return DescriptorError(descriptorPath, 303, "the icon " + icon.path + " (" + icon.element + ") is not in the intermediate file");

  SigningIdentity identity;
  Outcome signing = CheckSigningOptions(args.signing, identity);
  if (!signing.ok()) return signing;

  std::string error;
  TemporaryOutput temp;
  if (!temp.Create(args.output, error)) return Fail(kExitOutput, args.output + ": cannot be written (" + error + ")\n");
  PackageWriter writer;
  Outcome step = writer.Open(temp.path());
  if (step.ok()) step = writer.AddBuffer(kMimetypeEntry, kPackageMimetype, false);
  for (size_t i = 0; step.ok() && i < digests.size(); ++i)
    step = writer.AddCopy(archive, static_cast<zip_uint64_t>(i + 1), digests[i], modes[i]);
  if (!step.ok()) return step;
  writer.SetFinalEntry(kSignaturesEntry, SignatureMaker(identity, args.signing.tsa));
  Outcome written = writer.Close();
  if (!written.ok()) return written;
  if (!temp.Commit(error)) return Fail(kExitOutput, args.output + ": cannot be written (" + error + ")\n");
  return Outcome::Ok();
}

}  // namespace zpk
