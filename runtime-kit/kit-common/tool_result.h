#pragma once
// Exit codes and the text the packaging tool prints for them. The module reads both.
#include <string>
#include <utility>

namespace zpk {

enum ExitCode : int {
  kExitOk = 0,
  kExitVerifyFailed = 1,   // -verify only: a digest, the signature or the time stamp failed
  kExitUsage = 2,
  kExitUnknown = 5,
  kExitOutput = 6,
  kExitKeystore = 7,
  kExitCertificate = 8,
  kExitSigning = 9,
  kExitTimestamp = 10,
  kExitCertificateCreation = 11,
  kExitDescriptor = 12,
};

// The outcome of one step: an exit code and the text to print (empty on success).
struct Outcome {
  int code = kExitOk;
  std::string text;

  bool ok() const { return code == kExitOk; }
  static Outcome Ok() { return {}; }
};

inline Outcome Fail(int code, std::string text) { return Outcome{code, std::move(text)}; }

// The usage text that follows every usage error.
std::string UsageText();
// A usage error: the message (may be empty), then the usage text.
Outcome UsageError(const std::string& message);
// A missing input file. The name is followed by "\r\n" so that a reader which drops the
// character before "\nusage:" still gets the whole name.
Outcome NoSuchFile(const std::string& name);
// "PATH: error NNN: detail", exit code 12.
Outcome DescriptorError(const std::string& path, int error, const std::string& detail);

}  // namespace zpk
