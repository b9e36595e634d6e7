#pragma once
// Provisioning profiles as the packager reads them: a DER CMS signed envelope whose
// attached content is a property list, and the checks that refuse a build the profile
// does not fit.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <openssl/x509.h>

#include "ipa_arguments.h"
#include "tool_result.h"

namespace mpk {

// Real profiles are tens of kilobytes; a larger file is refused before it is read.
inline constexpr std::size_t kMaxProfileBytes = std::size_t{1} << 20;

struct ProvisioningProfile {
  std::string bytes;                  // the file exactly as read
  std::string applicationIdentifier;  // Entitlements application-identifier, prefix included
  std::string expirationDate;         // as written
  std::optional<long long> expiresAt; // seconds since the epoch
  std::vector<std::string> developerCertificates;  // DER
  size_t deviceCount = 0;
  bool getTaskAllow = false;          // an absent entitlement counts as false
};

// Exit code 2 (no such file) when there is no file at `path`; 13 when it is larger than
// kMaxProfileBytes, not a signed envelope whose signature holds over its content, or the
// content is no property list.
zpk::Outcome ReadProvisioningProfile(const std::string& path, ProvisioningProfile& profile);
// The same for bytes already read (`path` only names them in the text).
zpk::Outcome ParseProvisioningProfile(std::string bytes, const std::string& path, ProvisioningProfile& profile);

// True when the application id lies under the profile's identifier: the profile's
// application-identifier without its first 11 characters (team prefix and dot) is "*", is
// the id itself, or is "STEM*" with the id starting with STEM and longer than it. A "*"
// anywhere but at the end is no wildcard.
bool ApplicationIdFits(const std::string& applicationIdentifier, const std::string& id);

// True when the certificate is one of the profile's DeveloperCertificates.
bool ProfileListsCertificate(const ProvisioningProfile& profile, X509* certificate);

struct BuildFacts {
  Deployment deployment = Deployment::Test;
  std::string profilePath;
  std::string descriptorPath;
  std::string applicationId;
  std::string keystorePath;
  X509* certificate = nullptr;
  long long now = 0;
};

// Checks, in this order, with one line naming both sides: 14 expired, 15 id does not fit,
// 16 certificate not listed, 17 deployment kind does not fit the devices or get-task-allow.
zpk::Outcome CheckProfileFitsBuild(const ProvisioningProfile& profile, const BuildFacts& build);

}  // namespace mpk
