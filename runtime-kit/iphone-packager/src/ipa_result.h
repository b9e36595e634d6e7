#pragma once
// Exit codes of the iPhone packager beyond those it shares with the packaging tool, and
// its usage text.
#include <string>

#include "tool_result.h"

namespace mpk {

enum IpaExitCode : int {
  kExitProfileUnreadable = 13,   // not a signed envelope holding a property list
  kExitProfileExpired = 14,      // its ExpirationDate has passed
  kExitApplicationId = 15,       // the descriptor's id does not fit application-identifier
  kExitCertificateNotListed = 16,  // the keystore's certificate is not a DeveloperCertificate
  kExitDeployment = 17,          // the deployment kind does not fit the profile
};

std::string IpaUsageText();
// A usage error with this tool's usage text: the message (may be empty), then the usage.
zpk::Outcome IpaUsageError(const std::string& message);
// "no such file NAME\r\n" and the usage text, exit code 2.
zpk::Outcome IpaNoSuchFile(const std::string& name);
// Shared steps answer usage errors with the packaging tool's usage text; this puts this
// tool's in its place and leaves every other outcome as it is.
zpk::Outcome WithIpaUsage(zpk::Outcome outcome);

}  // namespace mpk
