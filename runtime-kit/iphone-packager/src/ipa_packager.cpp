#include "ipa_packager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "app_bundle.h"
#include "atomic_output.h"
#include "descriptor_check.h"
#include "input_files.h"
#include "ipa_result.h"
#include "keystore.h"
#include "openssl_util.h"
#include "profile_check.h"
#include "zip_writer.h"

namespace mpk {

namespace {

// Everything the archive holds besides the packaged files, and the digests of all files
// of the application folder as CodeResources lists them.
struct Bundle {
  std::string folder;  // "Payload/NAME.app/"
  std::string descriptorXml;
  std::string infoPlist;
  CodeResources resources;
  std::string codeResources;
  std::string codeSignature;
};

zpk::Outcome ReadDescriptor(const std::string& path, std::string& xml, zpk::DescriptorInfo& info) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return zpk::DescriptorError(path, 301, "the descriptor file cannot be found");
  std::string error;
  if (!zpk::ReadWholeFile(path, xml, error)) {
    return zpk::DescriptorError(path, 301, "the descriptor file cannot be read (" + error + ")");
  }
  return zpk::CheckDescriptor(xml, path, info);
}

zpk::Outcome RefuseReservedNames(const std::vector<zpk::PackageEntry>& entries) {
  for (const zpk::PackageEntry& entry : entries) {
    std::string name = entry.name;
    if (!name.empty() && name.back() == '/') name.pop_back();
    if (IsReservedBundleName(name)) {
      return IpaUsageError(entry.name + ": this name is reserved for the application folder itself");
    }
    if (HoldsNestedBundle(entry.name)) {
      return IpaUsageError(entry.name + ": an application folder cannot hold another one (a folder named *.app)");
    }
  }
  return zpk::Outcome::Ok();
}

zpk::Outcome DigestEntries(const std::vector<zpk::PackageEntry>& entries, Bundle& bundle) {
  for (const zpk::PackageEntry& entry : entries) {
    if (entry.directory) {
      bundle.resources.folders.insert(entry.name);
      continue;
    }
    std::string digest, error;
    if (!DigestFile(entry.source, digest, error)) {
      return zpk::DescriptorError(entry.source, 300, "the file cannot be read (" + error + ")");
    }
    bundle.resources.files[entry.name] = std::move(digest);
  }
  return zpk::Outcome::Ok();
}

// The code resources as they follow from what the writer read: the same text as the one
// signed, unless a file changed between the two readings.
zpk::PackageWriter::FinalEntryMaker CodeResourcesMaker(const Bundle& bundle) {
  return [&bundle](const std::vector<zpk::EntryDigest>& written, std::string& content) {
    CodeResources resources;
    for (const zpk::EntryDigest& entry : written) {
      if (entry.name.compare(0, bundle.folder.size(), bundle.folder) != 0) continue;
      const std::string name = entry.name.substr(bundle.folder.size());
      if (name.empty() || name == kCodeSignature) continue;
      if (name.back() == '/') {
        resources.folders.insert(name);
      } else {
        resources.files[name] = entry.sha256;
      }
    }
    content = BuildCodeResources(resources);
    if (content != bundle.codeResources) {
      return zpk::Fail(zpk::kExitUnknown, "a packaged file changed while the package was being written\n");
    }
    return zpk::Outcome::Ok();
  };
}

zpk::Outcome WriteArchive(const IpaPackageArgs& args, const std::vector<zpk::PackageEntry>& entries,
                          const ProvisioningProfile& profile, const Bundle& bundle) {
  std::string error;
  zpk::TemporaryOutput temp;
  if (!temp.Create(args.output, error)) {
    return zpk::Fail(zpk::kExitOutput, args.output + ": cannot be written (" + error + ")\n");
  }
  zpk::PackageWriter writer;
  zpk::Outcome step = writer.Open(temp.path());
  for (const std::string& folder : {std::string("Payload/"), bundle.folder}) {
    zpk::PackageEntry entry;
    entry.name = folder;
    entry.directory = true;
    entry.mode = 0755;
    if (step.ok()) step = writer.AddEntry(entry);
  }
  if (step.ok()) step = writer.AddBuffer(bundle.folder + kInfoPlist, bundle.infoPlist, true);
  if (step.ok()) step = writer.AddBuffer(bundle.folder + kEmbeddedProfile, profile.bytes, false);
  if (step.ok()) step = writer.AddBuffer(bundle.folder + kBundleDescriptor, bundle.descriptorXml, true);
  for (size_t i = 0; step.ok() && i < entries.size(); ++i) {
    zpk::PackageEntry entry = entries[i];
    entry.name = bundle.folder + entry.name;
    step = writer.AddEntry(entry);
  }
  if (step.ok()) step = writer.AddBuffer(bundle.folder + kCodeSignature, bundle.codeSignature, false);
  if (!step.ok()) return step;
  writer.SetFinalEntry(bundle.folder + kCodeResources, CodeResourcesMaker(bundle));
  zpk::Outcome written = writer.Close();
  if (!written.ok()) return written;
  if (!temp.Commit(error)) return zpk::Fail(zpk::kExitOutput, args.output + ": cannot be written (" + error + ")\n");
  return zpk::Outcome::Ok();
}

}  // namespace

bool DigestFile(const std::string& path, std::string& digest, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  zpk::MdCtxPtr md(EVP_MD_CTX_new());
  EVP_DigestInit_ex(md.get(), EVP_sha256(), nullptr);
  char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::strerror(errno);
      close(fd);
      return false;
    }
    EVP_DigestUpdate(md.get(), buffer, static_cast<size_t>(n));
  }
  close(fd);
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(md.get(), out, &size);
  digest.assign(reinterpret_cast<char*>(out), size);
  return true;
}

zpk::Outcome RunIpaPackage(const IpaPackageArgs& args, long long now) {
  Bundle bundle;
  zpk::DescriptorInfo info;
  zpk::Outcome step = ReadDescriptor(args.descriptor, bundle.descriptorXml, info);
  if (!step.ok()) return step;

  std::vector<zpk::PackageEntry> entries;
  step = WithIpaUsage(zpk::CollectEntries(args.files, args.output, entries));
  if (step.ok()) step = zpk::CheckReferencedFiles(info, entries, args.descriptor);
  if (step.ok()) step = RefuseReservedNames(entries);
  if (!step.ok()) return step;

  ProvisioningProfile profile;
  step = ReadProvisioningProfile(args.profile, profile);
  if (!step.ok()) return step;

  zpk::SigningIdentity identity;
  step = zpk::LoadKeystore(args.signing.keystore, args.signing.storePass, identity);
  std::string probe;
  if (step.ok()) step = SignDetached(identity, "probe", probe);  // a key that cannot sign is found now
  if (!step.ok()) return step;

  BuildFacts build;
  build.deployment = args.deployment;
  build.profilePath = args.profile;
  build.descriptorPath = args.descriptor;
  build.applicationId = info.id;
  build.keystorePath = args.signing.keystore;
  build.certificate = identity.certificate.get();
  build.now = now;
  step = CheckProfileFitsBuild(profile, build);
  if (!step.ok()) return step;

  bundle.folder = BundleFolder(info.filename);
  bundle.infoPlist = BuildInfoPlist(info);
  step = DigestEntries(entries, bundle);
  if (!step.ok()) return step;
  bundle.resources.files[kInfoPlist] = zpk::Sha256(bundle.infoPlist);
  bundle.resources.files[kEmbeddedProfile] = zpk::Sha256(profile.bytes);
  bundle.resources.files[kBundleDescriptor] = zpk::Sha256(bundle.descriptorXml);
  bundle.codeResources = BuildCodeResources(bundle.resources);
  step = SignDetached(identity, bundle.codeResources, bundle.codeSignature);
  if (!step.ok()) return step;
  return WriteArchive(args, entries, profile, bundle);
}

}  // namespace mpk
