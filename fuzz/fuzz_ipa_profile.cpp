// The iPhone packager's provisioning profile reader: any bytes are read or refused (exit
// code 13) without fault; what is read keeps the bytes as given and its facts can be judged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "openssl_util.h"
#include "profile_check.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zpk::LoadOpenSslProviders();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  mpk::ProvisioningProfile profile;
  const zpk::Outcome outcome = mpk::ParseProvisioningProfile(bytes, "fuzz.mobileprovision", profile);
  if (outcome.code != 0 && outcome.code != 13) std::abort();
  if (outcome.code == 13 && (outcome.text.empty() || outcome.text.back() != '\n')) std::abort();
  if (outcome.code == 0) {
    if (profile.bytes != bytes) std::abort();
    // A wildcard fits only ids longer than its stem; the bare stem never fits.
    const std::string& identifier = profile.applicationIdentifier;
    if (identifier.size() > 11 && identifier.back() == '*' &&
        mpk::ApplicationIdFits(identifier, identifier.substr(11, identifier.size() - 12)))
      std::abort();
  }
  return 0;
}
