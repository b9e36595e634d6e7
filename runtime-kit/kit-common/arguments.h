#pragma once
// Command-line parsing. Path arguments may use "\" or "/"; every "\" becomes "/".
#include <string>
#include <vector>

#include "tool_result.h"

namespace zpk {

// The default time-stamp authority, used when -tsa is not given.
inline constexpr const char* kDefaultTsaUrl = "https://timestamp.corvane.example/tsa";

// Names taken relative to one folder (empty: the current folder).
struct FileSet {
  std::string folder;
  std::vector<std::string> names;
};

struct SigningOptions {
  std::string storeType;
  std::string keystore;
  std::string storePass;
  std::string tsa = kDefaultTsaUrl;  // "none" switches time-stamping off
};

struct PackageArgs {
  bool prepare = false;  // unsigned intermediate file
  bool native = false;   // -target native: self-extracting installer
  SigningOptions signing;
  std::string output;
  std::string descriptor;
  std::vector<FileSet> files;
};

struct SignArgs {
  SigningOptions signing;
  std::string intermediate;
  std::string output;
};

struct CertificateArgs {
  std::string commonName;
  std::string unit;
  std::string organization;
  std::string country;
  int bits = 0;
  std::string file;
  std::string password;
};

struct VerifyArgs {
  std::string package;
  std::string tsaCaFile;  // optional trust anchors for the time-stamp authority
};

enum class Mode { Package, Prepare, Sign, Certificate, Verify };

struct Command {
  Mode mode = Mode::Package;
  PackageArgs package;
  SignArgs sign;
  CertificateArgs certificate;
  VerifyArgs verify;
};

// Every "\" becomes "/".
std::string ToSlashes(std::string path);

// Parses the arguments after the program name. Failures are usage errors (exit code 2).
Outcome ParseCommandLine(const std::vector<std::string>& args, Command& command);

}  // namespace zpk
