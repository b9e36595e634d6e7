#include "arguments.h"

#include <algorithm>
#include <cctype>

namespace zpk {

std::string ToSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

namespace {

bool EqualsIgnoreCase(const std::string& a, const char* b) {
  std::string lower = a;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == b;
}

class ArgReader {
 public:
  explicit ArgReader(const std::vector<std::string>& args) : args_(args) {}
  bool done() const { return pos_ >= args_.size(); }
  const std::string& peek() const { return args_[pos_]; }
  std::string next() { return args_[pos_++]; }
  bool nextValue(std::string& value) {
    if (done()) return false;
    value = next();
    return true;
  }

 private:
  const std::vector<std::string>& args_;
  size_t pos_ = 0;
};

// Reads -storetype/-keystore/-storepass/-tsa (and -target when allowed) in any order.
Outcome ReadSigningOptions(ArgReader& reader, SigningOptions& options, bool* native) {
  while (!reader.done()) {
    const std::string option = reader.peek();
    std::string* target = nullptr;
    if (option == "-storetype") target = &options.storeType;
    else if (option == "-keystore") target = &options.keystore;
    else if (option == "-storepass") target = &options.storePass;
    else if (option == "-tsa") target = &options.tsa;
    else if (option == "-target" && native != nullptr) {
      reader.next();
      std::string value;
      if (!reader.nextValue(value)) return UsageError("-target needs a value");
      if (value == "native") *native = true;
      else if (value != "zaro") return UsageError("unknown target " + value);
      continue;
    } else {
      break;
    }
    reader.next();
    if (!reader.nextValue(*target)) return UsageError(option + " needs a value");
  }
  if (options.storeType.empty()) options.storeType = "PKCS12";
  if (!EqualsIgnoreCase(options.storeType, "pkcs12"))
    return UsageError("unsupported keystore type " + options.storeType);
  if (options.keystore.empty()) return UsageError("-keystore is required");
  options.keystore = ToSlashes(options.keystore);
  if (options.tsa.empty()) return UsageError("-tsa needs a URL or none");
  return Outcome::Ok();
}

Outcome ReadFileSets(ArgReader& reader, std::vector<FileSet>& sets) {
  sets.push_back(FileSet{});
  while (!reader.done()) {
    std::string arg = reader.next();
    if (arg == "-C") {
      std::string folder;
      if (!reader.nextValue(folder) || folder.empty()) return UsageError("-C needs a folder");
      if (!sets.back().names.empty() || !sets.back().folder.empty()) sets.push_back(FileSet{});
      sets.back().folder = ToSlashes(folder);
      continue;
    }
    if (arg.empty()) return UsageError("an empty file name was given");
    sets.back().names.push_back(ToSlashes(arg));
  }
  for (const FileSet& set : sets) {
    if (set.names.empty() && !set.folder.empty())
      return UsageError("-C " + set.folder + " is not followed by a file");
  }
  if (sets.size() == 1 && sets.front().names.empty()) return UsageError("no files to package");
  if (sets.front().names.empty() && sets.front().folder.empty()) sets.erase(sets.begin());
  return Outcome::Ok();
}

Outcome ParsePackage(ArgReader& reader, PackageArgs& args) {
  if (!args.prepare) {
    Outcome options = ReadSigningOptions(reader, args.signing, &args.native);
    if (!options.ok()) return options;
  }
  if (!reader.nextValue(args.output) || !reader.nextValue(args.descriptor))
    return UsageError("the output and descriptor files are required");
  if (args.output.empty() || args.descriptor.empty())
    return UsageError("the output and descriptor files are required");
  args.output = ToSlashes(args.output);
  args.descriptor = ToSlashes(args.descriptor);
  return ReadFileSets(reader, args.files);
}

Outcome ParseSign(ArgReader& reader, SignArgs& args) {
  Outcome options = ReadSigningOptions(reader, args.signing, nullptr);
  if (!options.ok()) return options;
  if (!reader.nextValue(args.intermediate) || !reader.nextValue(args.output) || !reader.done())
    return UsageError("-sign needs an intermediate file and an output file");
  args.intermediate = ToSlashes(args.intermediate);
  args.output = ToSlashes(args.output);
  return Outcome::Ok();
}

Outcome ParseCertificate(ArgReader& reader, CertificateArgs& args) {
  std::vector<std::string> positional;
  while (!reader.done()) {
    std::string arg = reader.next();
    std::string* target = nullptr;
    if (arg == "-cn") target = &args.commonName;
    else if (arg == "-ou") target = &args.unit;
    else if (arg == "-o") target = &args.organization;
    else if (arg == "-c") target = &args.country;
    if (target != nullptr) {
      if (!reader.nextValue(*target)) return UsageError(arg + " needs a value");
      continue;
    }
    positional.push_back(arg);
  }
  if (positional.size() != 3) return UsageError("-certificate needs a key type, a file and a password");
  if (positional[0] == "1024-RSA") args.bits = 1024;
  else if (positional[0] == "2048-RSA") args.bits = 2048;
  else return UsageError("unknown key type " + positional[0]);
  args.file = ToSlashes(positional[1]);
  args.password = positional[2];
  if (args.commonName.empty()) return UsageError("-cn is required");
  if (args.file.empty()) return UsageError("the keystore file name is empty");
  if (args.password.empty()) return UsageError("the password is empty");
  return Outcome::Ok();
}

Outcome ParseVerify(ArgReader& reader, VerifyArgs& args) {
  while (!reader.done() && reader.peek() == "-tsacafile") {
    reader.next();
    if (!reader.nextValue(args.tsaCaFile)) return UsageError("-tsacafile needs a file");
    args.tsaCaFile = ToSlashes(args.tsaCaFile);
  }
  if (!reader.nextValue(args.package) || !reader.done() || args.package.empty())
    return UsageError("-verify needs one package file");
  args.package = ToSlashes(args.package);
  return Outcome::Ok();
}

}  // namespace

Outcome ParseCommandLine(const std::vector<std::string>& args, Command& command) {
  ArgReader reader(args);
  if (reader.done()) return UsageError("");
  const std::string mode = reader.next();
  if (mode == "-package") {
    command.mode = Mode::Package;
    return ParsePackage(reader, command.package);
  }
  if (mode == "-prepare") {
    command.mode = Mode::Prepare;
    command.package.prepare = true;
    return ParsePackage(reader, command.package);
  }
  if (mode == "-sign") {
    command.mode = Mode::Sign;
    return ParseSign(reader, command.sign);
  }
  if (mode == "-certificate") {
    command.mode = Mode::Certificate;
    return ParseCertificate(reader, command.certificate);
  }
  if (mode == "-verify") {
    command.mode = Mode::Verify;
    return ParseVerify(reader, command.verify);
  }
  return UsageError("unknown command " + mode);
}

}  // namespace zpk
