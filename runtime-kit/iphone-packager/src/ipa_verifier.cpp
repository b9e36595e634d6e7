#include "ipa_verifier.h"

#include <openssl/cms.h>
#include <sys/stat.h>
#include <zip.h>

#include <map>
#include <memory>
#include <set>

#include "app_bundle.h"
#include "ipa_result.h"
#include "openssl_util.h"
#include "profile_check.h"

namespace mpk {

namespace {

using ArchivePtr = std::unique_ptr<zip_t, decltype([](zip_t* archive) { zip_discard(archive); })>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, zpk::OpenSslDeleter<CMS_ContentInfo, CMS_ContentInfo_free>>;

bool ReadEntry(zip_t* archive, zip_uint64_t index, std::string& data) {
  zip_file_t* file = zip_fopen_index(archive, index, 0);
  if (file == nullptr) return false;
  data.clear();
  char buffer[65536];
  zip_int64_t n;
  while ((n = zip_fread(file, buffer, sizeof buffer)) > 0) data.append(buffer, static_cast<size_t>(n));
  zip_fclose(file);
  return n == 0;
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
  if (!archive) return zpk::Fail(zpk::kExitUnknown, path + ": not an iPhone application archive\n");

  // The application folder: the one "Payload/NAME.app/" every file lies in.
  std::string folder;
  std::map<std::string, zip_uint64_t> files;  // name inside the folder -> index
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* raw = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), 0);
    const std::string name = raw ? raw : "";
    if (name == "Payload/") continue;
    const size_t app = name.find(".app/");
    if (name.compare(0, 8, "Payload/") != 0 || app == std::string::npos || name.find('/', 8) != app + 4) {
      return failed(name + " lies outside the application folder");
    }
    const std::string owner = name.substr(0, app + 5);
    if (folder.empty()) folder = owner;
    if (owner != folder) return failed("more than one application folder (" + folder + ", " + owner + ")");
    const std::string inside = name.substr(folder.size());
    if (!inside.empty() && inside.back() != '/') files[inside] = static_cast<zip_uint64_t>(i);
  }
  if (folder.empty()) return zpk::Fail(zpk::kExitUnknown, path + ": not an iPhone application archive\n");

  std::string resources, signature, profileBytes;
  for (const auto& [name, text] : {std::pair<std::string, std::string*>{kCodeResources, &resources},
                                   {kCodeSignature, &signature},
                                   {kEmbeddedProfile, &profileBytes}}) {
    auto found = files.find(name);
    if (found == files.end() || !ReadEntry(archive.get(), found->second, *text)) {
      return failed(folder + name + " is missing or damaged");
    }
  }
  std::map<std::string, std::string> listed;
  if (!ParseCodeResources(resources, listed)) return failed("the code resources cannot be read");

  for (const auto& [name, index] : files) {
    if (name == kCodeResources || name == kCodeSignature) continue;
    auto entry = listed.find(name);
    if (entry == listed.end()) return failed(name + " is not listed in the code resources");
    std::string data;
    if (!ReadEntry(archive.get(), index, data)) return failed(name + " is damaged");
    if (zpk::Sha256(data) != entry->second) return failed(name + " does not match its digest");
  }
  for (const auto& [name, digest] : listed) {
    if (files.count(name) == 0) return failed(name + " is listed in the code resources but missing");
  }

  std::string why;
  zpk::X509Ptr signer = VerifiedSigner(signature, resources, why);
  if (!signer) return failed(why);
  ProvisioningProfile profile;
  zpk::Outcome read = ParseProvisioningProfile(profileBytes, folder + kEmbeddedProfile, profile);
  if (!read.ok()) return failed("the embedded provisioning profile cannot be read");
  const std::string signerName = zpk::NameText(X509_get_subject_name(signer.get()));
  if (!ProfileListsCertificate(profile, signer.get())) {
    return failed("the embedded provisioning profile does not list the signer " + signerName);
  }
  return zpk::Fail(zpk::kExitOk, report + "application: " + folder + "\nfiles: " + std::to_string(listed.size()) +
                                     " verified\nsigner: " + signerName + "\nprofile: " +
                                     profile.applicationIdentifier + "\n");
}

}  // namespace mpk
