#include "ipa_result.h"

namespace mpk {

std::string IpaUsageText() {
  return "usage:\n"
         "  mpk -package -target ipa-test|ipa-debug|ipa-ad-hoc|ipa-app-store -provisioning-profile FILE"
         " -storetype PKCS12 -keystore FILE -storepass PASSWORD OUTPUT DESCRIPTOR"
         " -C DIR FILE... [-C DIR FILE...]...\n"
         "  mpk -verify PACKAGE.ipa\n";
}

zpk::Outcome IpaUsageError(const std::string& message) {
  return zpk::Fail(zpk::kExitUsage, (message.empty() ? "" : message + "\n") + IpaUsageText());
}

zpk::Outcome IpaNoSuchFile(const std::string& name) {
  return zpk::Fail(zpk::kExitUsage, "no such file " + name + "\r\n" + IpaUsageText());
}

zpk::Outcome WithIpaUsage(zpk::Outcome outcome) {
  if (outcome.code != zpk::kExitUsage) return outcome;
  const size_t usage = outcome.text.find("usage:\n");
  if (usage != std::string::npos) outcome.text = outcome.text.substr(0, usage) + IpaUsageText();
  return outcome;
}

}  // namespace mpk
