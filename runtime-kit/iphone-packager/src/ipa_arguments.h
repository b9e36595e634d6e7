#pragma once
// The iPhone packager's command line:
//   -package -target ipa-test|ipa-debug|ipa-ad-hoc|ipa-app-store -provisioning-profile FILE
//     -storetype PKCS12 -keystore FILE -storepass PASSWORD OUTPUT DESCRIPTOR
//     -C DIR FILE... [-C DIR FILE...]...
//   -verify PACKAGE.ipa
// The options after -package may come in any order; paths may use "\" or "/".
#include <string>
#include <vector>

#include "arguments.h"
#include "tool_result.h"

namespace mpk {

enum class Deployment { Test, Debug, AdHoc, AppStore };

// "ipa-test", "ipa-debug", "ipa-ad-hoc", "ipa-app-store".
const char* TargetName(Deployment deployment);

struct IpaPackageArgs {
  Deployment deployment = Deployment::Test;
  std::string profile;
  zpk::SigningOptions signing;  // no time stamp: tsa stays unused
  std::string output;
  std::string descriptor;
  std::vector<zpk::FileSet> files;
};

struct IpaCommand {
  bool verify = false;
  IpaPackageArgs package;
  std::string verifyPackage;
};

// Usage errors (exit code 2) name what is wrong, then give the usage text.
zpk::Outcome ParseIpaCommandLine(const std::vector<std::string>& args, IpaCommand& command);

}  // namespace mpk
