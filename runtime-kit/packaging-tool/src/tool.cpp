#include "tool.h"

#include <exception>

#include "arguments.h"
#include "atomic_output.h"
#include "keystore.h"
#include "packager.h"
#include "verifier.h"

namespace zpk {

Outcome RunTool(const std::vector<std::string>& args) {
  try {
    InstallInterruptCleanup();
    Command command;
    Outcome parsed = ParseCommandLine(args, command);
    if (!parsed.ok()) return parsed;
    switch (command.mode) {
      case Mode::Package:
      case Mode::Prepare:
        return RunPackage(command.package);
      case Mode::Sign:
        return RunSign(command.sign);
      case Mode::Certificate:
        return CreateCertificate(command.certificate);
      case Mode::Verify:
        return VerifyPackage(command.verify);
    }
    return Fail(kExitUnknown, "unknown command\n");
  } catch (const std::exception& e) {
    return Fail(kExitUnknown, std::string("unexpected error: ") + e.what() + "\n");
  } catch (...) {
    return Fail(kExitUnknown, "unexpected error\n");
  }
}

}  // namespace zpk
