#include "ipa_verifier.h"

#include <openssl/cms.h>
#include <sys/stat.h>
#include <zip.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <tuple>

#include "app_bundle.h"
#include "descriptor_check.h"
#include "ipa_result.h"
#include "openssl_util.h"
#include "package_entries.h"
#include "profile_check.h"

namespace mpk {

namespace {

using ArchivePtr = std::unique_ptr<zip_t, decltype([](zip_t* archive) { zip_discard(archive); })>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, zpk::OpenSslDeleter<CMS_ContentInfo, CMS_ContentInfo_free>>;

// The most bytes each signature file is read to; real ones are a few kilobytes per file
// listed and a few kilobytes.
constexpr size_t kMaxCodeResourcesBytes = size_t{16} << 20;
constexpr size_t kMaxCodeSignatureBytes = size_t{1} << 20;

// The entries of the one application folder "Payload/NAME.app/".
struct Layout {
  std::string folder;
  std::map<std::string, zip_uint64_t> files;  // name inside the folder -> index
  std::set<std::string> folders;              // folder entries inside it, ending in "/"
};

// The application folder an entry name lies in ("Payload/NAME.app/"), or empty.
std::string OwnerFolder(const std::string& name) {
  if (name.compare(0, 8, "Payload/") != 0) return {};
  const size_t slash = name.find('/', 8);
  if (slash == std::string::npos || slash < 8 + 5 || name.compare(slash - 4, 4, ".app") != 0) return {};
  return name.substr(0, slash + 1);
}

// Sorts every entry into the layout; the reason for the first one that does not fit it.
std::optional<std::string> ReadLayout(zip_t* archive, Layout& layout) {
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    const char* raw = zip_get_name(archive, index, 0);
    const std::string name = raw ? raw : "";
    const std::string shown = zpk::Excerpt(name);
    std::string plain = name;
    if (!plain.empty() && plain.back() == '/') plain.pop_back();
    if (!zpk::IsSafeRelativePath(plain)) return shown + " would unpack outside the application folder";
    const std::string owner = OwnerFolder(name);
    if (name != "Payload/" && owner.empty()) return shown + " lies outside the application folder";
    if (!owner.empty() && layout.folder.empty()) layout.folder = owner;
    if (!owner.empty() && owner != layout.folder) {
      return "more than one application folder (" + zpk::Excerpt(layout.folder) + ", " + zpk::Excerpt(owner) + ")";
    }
    const std::string inside = owner.empty() ? "" : name.substr(owner.size());
    if (HoldsNestedBundle(inside)) return shown + " is an application folder inside " + zpk::Excerpt(owner);
    const std::string shape = zpk::EntryShapeProblem(archive, index, IsReservedBundleName(inside));
    if (!shape.empty()) return shown + " " + shape;
    if (inside.empty()) continue;
    if (inside.back() == '/') {
      layout.folders.insert(inside);
    } else {
      layout.files[inside] = index;
    }
  }
  if (layout.folder.empty()) return std::string("there is no application folder Payload/NAME.app/");
  return std::nullopt;
}

// Every file and folder of the layout against the list, both ways. A folder entry that
// lies above a listed file adds nothing to the unpacked tree; any other must be listed.
std::optional<std::string> CompareWithList(zip_t* archive, const Layout& layout, const CodeResources& listed) {
  std::set<std::string> above;
  for (const auto& [name, digest] : listed.files) {
    for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
      above.insert(name.substr(0, slash + 1));
  }
  for (const std::string& folder : layout.folders) {
    if (listed.folders.count(folder) == 0 && above.count(folder) == 0)
      return zpk::Excerpt(folder) + " is a folder the code resources do not list";
  }
  for (const std::string& folder : listed.folders) {
    if (layout.folders.count(folder) == 0) return zpk::Excerpt(folder) + " is listed in the code resources but missing";
  }
  for (const auto& [name, index] : layout.files) {
    if (name == kCodeResources || name == kCodeSignature) continue;
    auto entry = listed.files.find(name);
    if (entry == listed.files.end()) return zpk::Excerpt(name) + " is not listed in the code resources";
    std::string digest, why;
    if (!zpk::DigestEntry(archive, index, digest, why)) return zpk::Excerpt(name) + " is damaged (" + why + ")";
    if (digest != entry->second) return zpk::Excerpt(name) + " does not match its digest";
  }
  for (const auto& [name, digest] : listed.files) {
    if (layout.files.count(name) == 0) return zpk::Excerpt(name) + " is listed in the code resources but missing";
  }
  return std::nullopt;
}

// The signer's certificate when the detached signature holds over `content`; null else.
zpk::X509Ptr VerifiedSigner(const std::string& signature, const std::string& content, std::string& why) {
  zpk::BioPtr in(BIO_new_mem_buf(signature.data(), static_cast<int>(signature.size())));
  CmsPtr cms(in ? d2i_CMS_bio(in.get(), nullptr) : nullptr);
  if (!cms) {
    why = "the code signature is no DER CMS structure";
    return nullptr;
  }
  zpk::BioPtr data(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
  if (CMS_verify(cms.get(), nullptr, nullptr, data.get(), nullptr, CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY) != 1) {
    why = "the code signature does not hold over the code resources (" + zpk::LastOpenSslError() + ")";
    return nullptr;
  }
  STACK_OF(X509)* signers = CMS_get0_signers(cms.get());
  X509* signer = signers != nullptr && sk_X509_num(signers) > 0 ? sk_X509_value(signers, 0) : nullptr;
  zpk::X509Ptr copy(signer ? X509_dup(signer) : nullptr);
  sk_X509_free(signers);
  if (!copy) why = "the code signature names no signer";
  return copy;
}

}  // namespace

zpk::Outcome VerifyIpa(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return IpaNoSuchFile(path);
  const std::string report = "package: " + path + "\n";
  auto failed = [&](const std::string& why) {
    return zpk::Fail(kExitVerifyFailed, report + "verification failed: " + why + "\n");
  };
  int code = 0;
  ArchivePtr archive(zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
  // A directory that names an entry twice or contradicts itself is an archive that does not
  // verify, not an unknown file.
  if (!archive && code == ZIP_ER_EXISTS) return failed("an entry is present twice");
  if (!archive && code == ZIP_ER_INCONS) return failed("the archive is inconsistent");
  if (!archive) return zpk::Fail(zpk::kExitUnknown, path + ": not an iPhone application archive\n");

  const zpk::DirectoryProblem problem = zpk::FirstDirectoryProblem(path, 0);
  if (problem.kind != zpk::DirectoryProblem::kNone)
    return failed(zpk::Excerpt(problem.name) + " " + zpk::DirectoryProblemText(problem.kind, "the packager"));
  Layout layout;
  if (std::optional<std::string> why = ReadLayout(archive.get(), layout)) return failed(*why);
  std::string resources, signature, profileBytes;
  for (const auto& [name, text, limit] : {std::tuple<std::string, std::string*, size_t>{kCodeResources, &resources,
                                                                                        kMaxCodeResourcesBytes},
                                          {kCodeSignature, &signature, kMaxCodeSignatureBytes},
                                          {kEmbeddedProfile, &profileBytes, kMaxProfileBytes}}) {
    auto found = layout.files.find(name);
    std::string why = "missing";
    if (found == layout.files.end() || !zpk::ReadEntryLimited(archive.get(), found->second, limit, *text, why)) {
      return failed(layout.folder + name + " cannot be read (" + why + ")");
    }
  }
  CodeResources listed;
  if (!ParseCodeResources(resources, listed)) return failed("the code resources cannot be read");
  if (std::optional<std::string> why = CompareWithList(archive.get(), layout, listed)) return failed(*why);

  std::string why;
  zpk::X509Ptr signer = VerifiedSigner(signature, resources, why);
  if (!signer) return failed(why);
  ProvisioningProfile profile;
  zpk::Outcome read = ParseProvisioningProfile(profileBytes, layout.folder + kEmbeddedProfile, profile);
  if (!read.ok()) return failed("the embedded provisioning profile cannot be read");
  const std::string signerName = zpk::NameText(X509_get_subject_name(signer.get()));
  if (!ProfileListsCertificate(profile, signer.get())) {
    return failed("the embedded provisioning profile does not list the signer " + signerName);
  }
  return zpk::Fail(zpk::kExitOk, report + "application: " + layout.folder + "\nfiles: " +
                                     std::to_string(listed.files.size()) + " verified\nsigner: " + signerName +
                                     "\nprofile: " + profile.applicationIdentifier + "\n");
}

}  // namespace mpk
