#include "ipa_arguments.h"

#include <algorithm>

#include "ipa_result.h"
#include "kit_text.h"

namespace mpk {

namespace {

struct TargetChoice {
  const char* name;
  Deployment deployment;
};
constexpr TargetChoice kTargets[] = {{"ipa-test", Deployment::Test},
                                     {"ipa-debug", Deployment::Debug},
                                     {"ipa-ad-hoc", Deployment::AdHoc},
                                     {"ipa-app-store", Deployment::AppStore}};

// Reads "-C DIR FILE..." groups up to the end; every group needs a folder and a file.
zpk::Outcome ReadFileSets(const std::vector<std::string>& args, size_t at, std::vector<zpk::FileSet>& sets) {
  while (at < args.size()) {
    if (args[at] != "-C") return IpaUsageError("expected -C DIR before " + args[at]);
    if (at + 1 >= args.size() || args[at + 1].empty()) return IpaUsageError("-C needs a folder");
    zpk::FileSet set;
    set.folder = zpk::ToSlashes(args[at + 1]);
    at += 2;
    for (; at < args.size() && args[at] != "-C"; ++at) {
      if (args[at].empty()) return IpaUsageError("an empty file name was given");
      set.names.push_back(zpk::ToSlashes(args[at]));
    }
    if (set.names.empty()) return IpaUsageError("-C " + set.folder + " is not followed by a file");
    sets.push_back(std::move(set));
  }
  if (sets.empty()) return IpaUsageError("no files to package");
  return zpk::Outcome::Ok();
}

zpk::Outcome ParsePackage(const std::vector<std::string>& args, IpaPackageArgs& package) {
  std::string target;
  size_t at = 1;
  while (at < args.size() && !args[at].empty() && args[at][0] == '-' && args[at] != "-C") {
    const std::string& option = args[at];
    std::string* value = option == "-target"                 ? &target
                         : option == "-provisioning-profile" ? &package.profile
                         : option == "-storetype"            ? &package.signing.storeType
                         : option == "-keystore"             ? &package.signing.keystore
                         : option == "-storepass"            ? &package.signing.storePass
                                                             : nullptr;
    if (value == nullptr) return IpaUsageError("unknown option " + option);
    if (at + 1 >= args.size()) return IpaUsageError(option + " needs a value");
    *value = args[at + 1];
    at += 2;
  }
  const auto choice = std::find_if(std::begin(kTargets), std::end(kTargets),
                                   [&](const TargetChoice& c) { return target == c.name; });
  if (choice == std::end(kTargets)) {
    return IpaUsageError(target.empty() ? "-target is required" : "unknown target " + target);
  }
  package.deployment = choice->deployment;
  if (package.profile.empty()) return IpaUsageError("-provisioning-profile is required");
  if (package.signing.storeType.empty()) package.signing.storeType = "PKCS12";
  if (zpk::Lowered(package.signing.storeType) != "pkcs12") {
    return IpaUsageError("unsupported keystore type " + package.signing.storeType);
  }
  if (package.signing.keystore.empty()) return IpaUsageError("-keystore is required");
  package.profile = zpk::ToSlashes(package.profile);
  package.signing.keystore = zpk::ToSlashes(package.signing.keystore);
  package.signing.tsa = "none";
  if (at + 2 > args.size() || args[at].empty() || args[at + 1].empty()) {
    return IpaUsageError("the output and descriptor files are required");
  }
  package.output = zpk::ToSlashes(args[at]);
  package.descriptor = zpk::ToSlashes(args[at + 1]);
  return ReadFileSets(args, at + 2, package.files);
}

}  // namespace

const char* TargetName(Deployment deployment) {
  for (const TargetChoice& choice : kTargets) {
    if (choice.deployment == deployment) return choice.name;
  }
  return "ipa-test";
}

zpk::Outcome ParseIpaCommandLine(const std::vector<std::string>& args, IpaCommand& command) {
  if (args.empty()) return IpaUsageError("");
  if (args[0] == "-package") return ParsePackage(args, command.package);
  if (args[0] == "-verify") {
    if (args.size() != 2 || args[1].empty()) return IpaUsageError("-verify needs one package file");
    command.verify = true;
    command.verifyPackage = zpk::ToSlashes(args[1]);
    return zpk::Outcome::Ok();
  }
  return IpaUsageError("unknown command " + args[0]);
}

}  // namespace mpk
