#include "profile_check.h"

#include <openssl/cms.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

#include "ipa_result.h"
#include "openssl_util.h"
#include "property_list.h"

namespace mpk {

namespace {

using CmsPtr = std::unique_ptr<CMS_ContentInfo, zpk::OpenSslDeleter<CMS_ContentInfo, CMS_ContentInfo_free>>;

// Team prefix (10 characters) and the dot after it.
constexpr size_t kTeamPrefixLength = 11;

zpk::Outcome Unreadable(const std::string& path, const std::string& why) {
  return zpk::Fail(kExitProfileUnreadable,
                   path + ": the provisioning profile is not a signed envelope holding a property list (" + why +
                       ")\n");
}

std::string PlistDateText(long long when) {
  const std::time_t seconds = static_cast<std::time_t>(when);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string TooLarge() { return "larger than " + std::to_string(kMaxProfileBytes >> 10) + " KiB"; }

// Reads at most kMaxProfileBytes; a longer file (or one that grows while it is read) is
// refused without holding more than that.
bool ReadBounded(const std::string& path, std::string& bytes, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  bool ok = true;
  char buffer[65536];
  while (ok) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::strerror(errno);
      ok = false;
    } else if (bytes.size() + static_cast<std::size_t>(n) > kMaxProfileBytes) {
      error = TooLarge();
      ok = false;
    } else {
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  if (!ok) bytes.clear();
  return ok;
}

std::string Plural(size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

zpk::Outcome ReadProvisioningProfile(const std::string& path, ProvisioningProfile& profile) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return IpaNoSuchFile(path);
  std::string bytes, error;
  if (!ReadBounded(path, bytes, error)) return Unreadable(path, error);
  return ParseProvisioningProfile(std::move(bytes), path, profile);
}

zpk::Outcome ParseProvisioningProfile(std::string bytes, const std::string& path, ProvisioningProfile& profile) {
  if (bytes.size() > kMaxProfileBytes) return Unreadable(path, TooLarge());
  zpk::BioPtr in(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
  CmsPtr cms(in ? d2i_CMS_bio(in.get(), nullptr) : nullptr);
  if (!cms) return Unreadable(path, "no DER CMS structure");
  if (OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) return Unreadable(path, "not signed data");
  // The envelope's signature must hold over its content; who signed it is not judged here.
  zpk::BioPtr content(BIO_new(BIO_s_mem()));
  if (CMS_verify(cms.get(), nullptr, nullptr, nullptr, content.get(), CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY) != 1) {
    return Unreadable(path, "the signature does not hold: " + zpk::LastOpenSslError());
  }
  char* data = nullptr;
  const long size = BIO_get_mem_data(content.get(), &data);
  const std::optional<PlistValue> plist =
      ParsePropertyList(std::string_view(data, size > 0 ? static_cast<size_t>(size) : 0));
  if (!plist || plist->kind != PlistValue::Kind::Dict) return Unreadable(path, "no property list inside");

  profile = ProvisioningProfile{};
  profile.bytes = std::move(bytes);
  if (const PlistValue* entitlements = plist->Find("Entitlements")) {
    if (const PlistValue* id = entitlements->Find("application-identifier")) profile.applicationIdentifier = id->text;
    if (const PlistValue* allow = entitlements->Find("get-task-allow")) {
      profile.getTaskAllow = allow->kind == PlistValue::Kind::Boolean && allow->flag;
    }
  }
  if (const PlistValue* expiry = plist->Find("ExpirationDate")) {
    profile.expirationDate = expiry->text;
    profile.expiresAt = ParsePlistDate(expiry->text);
  }
  if (const PlistValue* certificates = plist->Find("DeveloperCertificates")) {
    for (const PlistValue& item : certificates->items) {
      if (item.kind == PlistValue::Kind::Data) profile.developerCertificates.push_back(item.text);
    }
  }
  if (const PlistValue* devices = plist->Find("ProvisionedDevices")) profile.deviceCount = devices->items.size();
  return zpk::Outcome::Ok();
}

bool ApplicationIdFits(const std::string& applicationIdentifier, const std::string& id) {
  if (applicationIdentifier.size() <= kTeamPrefixLength) return false;
  const std::string allowed = applicationIdentifier.substr(kTeamPrefixLength);
  if (allowed == "*") return true;
  if (allowed.back() != '*') return allowed == id;
  const std::string stem = allowed.substr(0, allowed.size() - 1);
  return id.size() > stem.size() && id.compare(0, stem.size(), stem) == 0;
}

bool ProfileListsCertificate(const ProvisioningProfile& profile, X509* certificate) {
  if (certificate == nullptr) return false;
  const std::string der = zpk::CertificateDer(certificate);
  for (const std::string& listed : profile.developerCertificates) {
    if (listed == der) return true;
  }
  return false;
}

zpk::Outcome CheckProfileFitsBuild(const ProvisioningProfile& profile, const BuildFacts& build) {
  const std::string& path = build.profilePath;
  if (!profile.expiresAt) {
    return zpk::Fail(kExitProfileExpired, path + ": the provisioning profile has no readable ExpirationDate (" +
                                              profile.expirationDate + ")\n");
  }
  if (*profile.expiresAt <= build.now) {
    return zpk::Fail(kExitProfileExpired, path + ": the provisioning profile expired on " + profile.expirationDate +
                                              " (it is now " + PlistDateText(build.now) + ")\n");
  }
  if (!ApplicationIdFits(profile.applicationIdentifier, build.applicationId)) {
    return zpk::Fail(kExitApplicationId,
                     "the application id " + build.applicationId + " of " + build.descriptorPath +
                         " does not fit the application-identifier " +
                         (profile.applicationIdentifier.empty() ? "(none)" : profile.applicationIdentifier) + " of " +
                         path + "\n");
  }
  if (!ProfileListsCertificate(profile, build.certificate)) {
    return zpk::Fail(kExitCertificateNotListed,
                     "the certificate " + zpk::NameText(X509_get_subject_name(build.certificate)) + " of " +
                         build.keystorePath + " is not one of the " +
                         Plural(profile.developerCertificates.size(), "DeveloperCertificate", "DeveloperCertificates") +
                         " of " + path + "\n");
  }
  const std::string kind = std::string("an ") + TargetName(build.deployment) + " build";
  const bool store = build.deployment == Deployment::AppStore;
  if (!store && profile.deviceCount == 0) {
    return zpk::Fail(kExitDeployment, kind + " needs a provisioning profile with ProvisionedDevices; " + path +
                                          " lists no devices\n");
  }
  if (store && profile.deviceCount > 0) {
    return zpk::Fail(kExitDeployment, kind + " needs a provisioning profile without ProvisionedDevices; " + path +
                                          " lists " + Plural(profile.deviceCount, "device", "devices") + "\n");
  }
  const char* allow = profile.getTaskAllow ? "true" : "false";
  if (build.deployment == Deployment::Debug && !profile.getTaskAllow) {
    return zpk::Fail(kExitDeployment, kind + " needs get-task-allow true; " + path + " has " + allow + "\n");
  }
  if (store && profile.getTaskAllow) {
    return zpk::Fail(kExitDeployment, kind + " needs get-task-allow false; " + path + " has " + allow + "\n");
  }
  return zpk::Outcome::Ok();
}

}  // namespace mpk
