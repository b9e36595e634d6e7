// The runtime kit's iPhone packager: writes signed iPhone application archives against a
// provisioning profile, and verifies them. Prints nothing and exits 0 when it packaged.
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>
#include <vector>

#include "atomic_output.h"
#include "ipa_arguments.h"
#include "ipa_packager.h"
#include "ipa_verifier.h"
#include "openssl_util.h"

namespace {

zpk::Outcome Run(const std::vector<std::string>& args) {
  try {
    zpk::InstallInterruptCleanup();
    zpk::LoadOpenSslProviders();
    mpk::IpaCommand command;
    zpk::Outcome parsed = mpk::ParseIpaCommandLine(args, command);
    if (!parsed.ok()) return parsed;
    if (command.verify) return mpk::VerifyIpa(command.verifyPackage);
    return mpk::RunIpaPackage(command.package, static_cast<long long>(std::time(nullptr)));
  } catch (const std::exception& e) {
    return zpk::Fail(zpk::kExitUnknown, std::string("unexpected error: ") + e.what() + "\n");
  } catch (...) {
    return zpk::Fail(zpk::kExitUnknown, "unexpected error\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const zpk::Outcome outcome = Run(std::vector<std::string>(argv + 1, argv + argc));
  if (!outcome.text.empty()) {
    std::FILE* stream = outcome.ok() ? stdout : stderr;
    std::fwrite(outcome.text.data(), 1, outcome.text.size(), stream);
    std::fflush(stream);
  }
  return outcome.code;
}
