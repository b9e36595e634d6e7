#include "packaging/package_command.h"

#include <algorithm>
#include <optional>

#include "descriptor/descriptor_document.h"
#include "descriptor/descriptor_reader.h"
#include "host/script_bridge.h"
#include "packaging/descriptor_icons.h"
#include "packaging/packaging_result.h"
#include "packaging/path_utilities.h"
#include "packaging/timestamp_authority.h"
#include "packaging/tool_locations.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/messages.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"

namespace zaro {

std::vector<std::u16string> missingIncludedFiles;

namespace {

constexpr unsigned kExportFailedMessage = 8105;
constexpr unsigned kMovieMissingMessage = 8011;
constexpr unsigned kNameMissingMessage = 8099;
constexpr unsigned kIconMissingMessage = 8045;
constexpr unsigned kCreateFileErrorMessage = 8089;
constexpr unsigned kCannotWriteDestinationMessage = 8056;
constexpr unsigned kNoProvisioningProfileMessage = 8098;
constexpr unsigned kMissingItemsMessage = 8073;
constexpr unsigned kContinueWithoutItemsMessage = 8072;
constexpr unsigned kCertificateRequiredMessage = 8001;

// The missing-items box lists this many entries, then "...".
constexpr size_t kListedMissingItems = 11;

constexpr unsigned kMbOkCancelExclamation = kMbOkCancel | kMbIconExclamation;

// The folder, ending in a separator, that a destination names when it is an existing
// folder (a bare name counts inside the movie folder); nothing for any other destination.
std::optional<std::u16string> ExistingFolderDestination(const std::u16string& destination,
                                                        const std::u16string& movieFolder) {
  if (destination.empty()) return std::nullopt;
  const size_t separator = destination.find_last_of(u"/\\");
  std::u16string folder = separator == std::u16string::npos ? movieFolder + destination : destination;
  if (!platform::FolderExists(folder)) return std::nullopt;
  if (folder.back() != u'/' && folder.back() != u'\\') {
    folder += separator == std::u16string::npos ? u'/' : destination[separator];
  }
  return folder;
}

// The iPhone packager's target for a deployment kind; anything unknown is a test build.
std::u16string_view IphoneTargetOption(std::u16string_view deployment) {
  if (deployment == u"debug") return u"ipa-debug";
  if (deployment == u"adhoc") return u"ipa-ad-hoc";
  if (deployment == u"store") return u"ipa-app-store";
  return u"ipa-test";
}

std::u16string_view OutputExtension(PackageTarget target, bool prepare) {
  switch (target) {
    case IphonePackage: return u".ipa";
    case NativeInstaller: return u".exe";
    default: return prepare ? u".zaroi" : u".zaro";
  }
}

// The full form of a "/"-separated path, as the system resolves it: "." segments and
// repeated separators go, and ".." takes back the segment before it (never the root or a
// drive). A leading "/" or "//" and a trailing "/" stay.
std::u16string WithoutDotSegments(std::u16string_view path) {
  size_t prefixEnd = 0;
  while (prefixEnd < path.size() && prefixEnd < 2 && path[prefixEnd] == u'/') ++prefixEnd;
  std::vector<std::u16string_view> segments;
  size_t fixedSegments = 0;  // a drive such as "C:" stays in front
  for (size_t start = prefixEnd; start <= path.size();) {
    size_t slash = path.find(u'/', start);
    if (slash == std::u16string_view::npos) slash = path.size();
    const std::u16string_view segment = path.substr(start, slash - start);
    if (segment == u"..") {
      if (segments.size() > fixedSegments && segments.back() != u"..") {
        segments.pop_back();
      } else if (prefixEnd == 0 && fixedSegments == 0) {
        segments.push_back(segment);  // a relative path keeps what it cannot take back
      }
    } else if (!segment.empty() && segment != u".") {
      segments.push_back(segment);
      if (segments.size() == 1 && prefixEnd == 0 && segment.size() == 2 && segment[1] == u':') fixedSegments = 1;
    }
    start = slash + 1;
  }
  std::u16string full(path.substr(0, prefixEnd));
  for (size_t index = 0; index < segments.size(); ++index) {
    if (index > 0) full += u'/';
    full += segments[index];
  }
  if (fixedSegments == 1 && segments.size() == 1) full += u'/';
  if (!path.empty() && path.back() == u'/' && !full.empty() && full.back() != u'/') full += u'/';
  return full;
}

// The " -C ROOT NAME " pair of one included file or folder, or nothing when it is found
// neither inside the movie folder nor as given.
std::optional<std::u16string> IncludedItemArguments(const std::u16string& movieFolder, const std::u16string& value) {
  std::u16string found = WithBackslashes(movieFolder) + value;
  if (!platform::PathExists(found)) {
    if (!platform::PathExists(value)) return std::nullopt;
    // Found relative to the working folder: the tool needs that folder spelled out as the
    // entry's root, since "-C" with an empty folder is no folder at all.
    found = platform::FullPath(value);
  }
  // The entry's own name and the folder it sits in, "/" separated; a folder given with a
  // trailing separator still names itself, not an empty entry.
  std::u16string entry = WithoutDotSegments(WithSlashes(std::move(found)));
  while (entry.size() > 1 && entry.back() == u'/') entry.pop_back();
  const size_t slash = entry.rfind(u'/');
  const std::u16string root = slash == std::u16string::npos ? std::u16string() : entry.substr(0, slash + 1);
  const std::u16string name = slash == std::u16string::npos ? entry : entry.substr(slash + 1);

  if (root.size() > movieFolder.size() && root.compare(0, movieFolder.size(), movieFolder) == 0) {
    return u" -C " + QuoteArgument(movieFolder) + u" " + QuoteArgument(root.substr(movieFolder.size()) + name) +
           u" ";
  }
  return u" -C " + QuoteArgument(root) + u" " + QuoteArgument(name) + u" ";
}

// "\n"-joined missing items: the first eleven, then "...".
std::u16string MissingItemsList(const std::vector<std::u16string>& items) {
  std::u16string list;
  for (size_t index = 0; index < items.size(); ++index) {
    list += items[index];
    if (index + 1 == kListedMissingItems) {
      list += u"\n...\n";
      break;
    }
    list += u"\n";
  }
  return list;
}

void ForgetUnrememberedPasswords() {
  if (!SettingIsTrue(keys::kRememberPassword)) RemoveSetting(keys::kCertPassword);
  if (!SettingIsTrue(keys::kIpaRememberPassword)) RemoveSetting(keys::kIpaCertPassword);
}

// What one package is made of, read from the settings once at the start.
struct PackageJob {
  PackageTarget target = DesktopPackage;
  std::u16string baseName;
  std::u16string movieFolder;
  std::u16string signingMode;
  bool prepare = false;
  std::u16string password;
};

// Has the host export the movie, with debugging permitted for this export only when the
// deployment kind is "debug". False (after telling the author) when the export failed.
bool ExportMovie() {
  bool permittedHere = false;
  if (GetSetting(keys::kIpaOption) == u"debug" && !IsDebugForMovie()) {
    SetDebugForMovie(true);
    permittedHere = true;
  }
  const bool exported = ExportCurrentMovie();
  if (permittedHere) SetDebugForMovie(false);
  if (!exported) ShowCatalogueMessage(kExportFailedMessage, kMbIconInformation);
  return exported;
}

// The job of the current movie, or nothing (after telling the author) when the movie is
// missing or the installer has no certificate to be signed with.
std::optional<PackageJob> PrepareJob(PackageTarget target) {
  PackageJob job;
  job.target = target;
  job.baseName = GetSetting(keys::kMovieBaseName);
  job.movieFolder = GetSetting(keys::kMovieFolder);
  if (job.movieFolder.empty() || job.baseName.empty() ||
      !platform::FileExists(job.movieFolder + job.baseName + u".qmv")) {
    ShowCatalogueMessage(kMovieMissingMessage, kMbIconInformation);
    return std::nullopt;
  }
  ReadRegistryValue(u"DigitalSign", job.signingMode);
  job.prepare = target == DesktopPackage && job.signingMode == u"prepare";
  job.password = GetSetting(target == IphonePackage ? keys::kIpaCertPassword : keys::kCertPassword);
  // The installer is always signed: without a certificate the tool can only fail with a
  // usage error, so the author is told what is missing and the tool is not started.
  if (target == NativeInstaller && GetSetting(keys::kCertPath).empty()) {
    ShowCatalogueMessage(kCertificateRequiredMessage, kMbIconExclamation);
    return std::nullopt;
  }
  return job;
}

// The application's name from the loaded descriptor, or nothing (after telling the author)
// when it has none. A localised name holds one text per language: the first names the
// output file (the movie's base name when it is empty), never all of them with their line
// breaks.
std::optional<std::u16string> ApplicationName() {
  std::u16string name;
  if (GetElementText(MovieDescriptor(), u"name", name) != 0) {
    ShowCatalogueMessage(kNameMissingMessage, kMbIconInformation);
    return std::nullopt;
  }
  if (HasChildElement(MovieDescriptor(), u"name", u"text")) {
    GetChildElementText(MovieDescriptor(), u"name", u"text", name);
  }
  return name;
}

// False (after listing them for the author) when icons the descriptor names are missing.
bool IconsPresent(const std::vector<std::u16string>& icons, const std::u16string& movieFolder) {
  std::u16string missingIcons;
  for (const std::u16string& icon : icons) {
    const std::u16string path = BlanksUnescaped(icon);
    if (!platform::FileExists(movieFolder + path)) missingIcons += u"\n" + path;
  }
  if (missingIcons.empty()) return true;
  ShowMessage(LoadMessage(kIconMissingMessage) + missingIcons, kMbIconExclamation);
  return false;
}

// The program, the tool's archive and its signing options; nothing (after telling the
// author) when an iPhone package has no provisioning profile. The program token is read
// without backslash escapes, so the launcher path is only put in quotes; every later value
// is quoted so that the tool reads it back exactly.
std::optional<std::u16string> ToolCommand(const PackageJob& job) {
  const std::u16string launchFolder = GetSetting(keys::kLaunchPath);
  std::u16string command = u"\"" + GetJavaRuntimeFolder() + u"/bin/java.exe\" -jar ";
  if (job.target == IphonePackage) {
    command += QuoteArgument(launchFolder + u"MPK/lib/mpk.jar") + u" ";
    const std::u16string profile = GetSetting(keys::kIpaProvision);
    if (profile.empty()) {
      ShowCatalogueMessage(kNoProvisioningProfileMessage, kMbIconExclamation);
      return std::nullopt;
    }
    return command +
           IphonePackagerOptions(GetSetting(keys::kIpaOption), profile, GetSetting(keys::kIpaCertPath), job.password);
  }
  command += QuoteArgument(launchFolder + GetSetting(keys::kKitName) + u"/lib/ZPK.jar") + u" ";
  if (job.prepare) return command + u" -prepare ";
  command += u" -package -storetype PKCS12 -keystore " + QuoteArgument(GetSetting(keys::kCertPath)) +
             u" -storepass " + QuoteArgument(job.password) + u" ";
  if (SettingIsTrue(keys::kTimestamp)) {
    command += u" -tsa " + std::u16string(kDefaultTimestampAuthorityUrl) + u" ";
  } else {
    command += u" -tsa none ";
  }
  if (job.target == NativeInstaller) command += u"-target native ";
  return command;
}

// The package file: inside a destination that names a folder, the destination with the
// package's extension, or the movie folder. Nothing (after telling the author) when the
// destination's folder does not exist.
std::optional<std::u16string> OutputFile(const PackageJob& job, const std::u16string& applicationName) {
  const std::u16string_view extension = OutputExtension(job.target, job.prepare);
  const std::u16string destination =
      GetSetting(job.target == IphonePackage ? keys::kIpaDestination : keys::kZaroDestination);
  const std::u16string packageName =
      (applicationName.empty() ? job.baseName : applicationName) + std::u16string(extension);
  if (const std::optional<std::u16string> folder = ExistingFolderDestination(destination, job.movieFolder)) {
    return *folder + packageName;
  }
  if (destination.empty()) return job.movieFolder + packageName;
  const std::u16string outputFile = ChangeExtension(destination, extension);
  if (IsUsableOutputPath(outputFile)) return outputFile;
  if (destination.find_first_of(u"/\\") != std::u16string::npos) {
    ShowMessage(LoadMessage(kCreateFileErrorMessage) + LoadMessage(kCannotWriteDestinationMessage),
                kMbIconExclamation);
    return std::nullopt;
  }
  return job.movieFolder + outputFile;
}

// The arguments naming what goes into the package: the descriptor, the movie, each icon
// once and the included items found. Nothing when items are missing and the author chose
// not to go on without them.
std::optional<std::u16string> PackagedFiles(const PackageJob& job, const std::vector<std::u16string>& icons) {
  const std::u16string customDescriptor = GetSetting(keys::kCustomDescriptorPath);
  const std::u16string descriptorFile = SettingIsTrue(keys::kUseCustomDescriptor) && !customDescriptor.empty()
                                            ? customDescriptor
                                            : job.movieFolder + job.baseName + u"-app.xml";
  std::u16string arguments = QuoteArgument(descriptorFile) + u" -C " + QuoteArgument(job.movieFolder) + u" " +
                             QuoteArgument(job.baseName + u".qmv") + u" ";
  std::vector<std::u16string> listedIcons;
  for (const std::u16string& icon : icons) {
    std::u16string path = DecodeSpaceEscapes(icon);
    if (std::find(listedIcons.begin(), listedIcons.end(), path) != listedIcons.end()) continue;
    arguments += QuoteArgument(path) + u" ";
    listedIcons.push_back(std::move(path));
  }
  missingIncludedFiles.clear();
  const long count = IncludedItemCount(GetSetting(keys::kIncludedCount));
  for (long index = 0; index < count; ++index) {
    const std::u16string value = GetSetting(IncludedItemKey(index));
    if (value.empty()) continue;
    if (std::optional<std::u16string> item = IncludedItemArguments(job.movieFolder, value)) {
      arguments += *item;
    } else {
      missingIncludedFiles.push_back(value);
    }
  }
  if (!missingIncludedFiles.empty()) {
    const std::u16string question = LoadMessage(kMissingItemsMessage) + u"\n" +
                                    MissingItemsList(missingIncludedFiles) + LoadMessage(kContinueWithoutItemsMessage);
    if (ShowMessage(question, kMbOkCancelExclamation) != kIdOk) return std::nullopt;
  }
  return arguments;
}

}  // namespace

std::u16string IphonePackagerOptions(std::u16string_view deployment, std::u16string_view profile,
                                     std::u16string_view keystore, std::u16string_view password) {
  return u" -package -target " + std::u16string(IphoneTargetOption(deployment)) + u" -provisioning-profile " +
         QuoteArgument(profile) + u" " + u" -storetype PKCS12 -keystore " + QuoteArgument(keystore) + u" -storepass " +
         QuoteArgument(password) + u" ";
}

std::u16string QuoteArgument(std::u16string_view value) {
  std::u16string quoted = u"\"";
  size_t backslashes = 0;
  for (char16_t c : value) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    if (c == u'"') {
      quoted.append(backslashes * 2 + 1, u'\\');
    } else {
      quoted.append(backslashes, u'\\');
    }
    quoted += c;
    backslashes = 0;
  }
  quoted.append(backslashes * 2, u'\\');
  quoted += u'"';
  return quoted;
}

std::u16string ChangeExtension(std::u16string_view path, std::u16string_view extension) {
  if (path.empty()) return {};
  if (extension.empty()) return std::u16string(path);
  std::u16string suffix(extension);
  if (suffix.find(u'.') == std::u16string::npos) suffix.insert(suffix.begin(), u'.');
  // Only a "." of the file name itself starts an extension; one in a folder name does not.
  const size_t separator = path.find_last_of(u"/\\");
  const size_t nameStart = separator == std::u16string_view::npos ? 0 : separator + 1;
  const size_t dot = path.rfind(u'.');
  if (dot != std::u16string_view::npos && dot >= nameStart) return std::u16string(path.substr(0, dot)) + suffix;
  return std::u16string(path) + suffix;
}

bool IsUsableOutputPath(std::u16string_view path) {
  if (platform::FileExists(path)) return true;
  size_t separator = path.rfind(u'/');
  if (separator == std::u16string_view::npos) separator = path.rfind(u'\\');
  if (separator == std::u16string_view::npos) return false;
  // A file directly under the root sits in the root folder itself.
  return platform::FolderExists(path.substr(0, separator == 0 ? 1 : separator));
}

std::u16string DecodeSpaceEscapes(std::u16string_view text) {
  std::u16string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%') {
      decoded += text[i];
    } else if (text.substr(i, 3) == u"%20") {
      decoded += u' ';
      i += 2;
    }
  }
  return decoded;
}

int Package(PackageTarget target, bool exportFirst) {
  if (exportFirst && !ExportMovie()) return 0;
  const std::optional<PackageJob> job = PrepareJob(target);
  if (!job || LoadDescriptor(true) != 0) return 0;
  const std::optional<std::u16string> applicationName = ApplicationName();
  if (!applicationName) return 0;
  const std::vector<std::u16string> icons = DescriptorIconImages(MovieDescriptor());
  if (!IconsPresent(icons, job->movieFolder)) return 0;
  const std::optional<std::u16string> tool = ToolCommand(*job);
  if (!tool) return 0;
  const std::optional<std::u16string> outputFile = OutputFile(*job, *applicationName);
  if (!outputFile) return 0;
  const std::optional<std::u16string> files = PackagedFiles(*job, icons);
  if (!files) return 0;

  const std::u16string command = *tool + QuoteArgument(*outputFile) + u" " + *files;
  const PackagingRun run = RunWithProgress(command);
  if (!run.cancelled) ReportPackagingResult(target, job->signingMode, run.exitCode, run.output, command);
  ForgetUnrememberedPasswords();
  return 1;
}

}  // namespace zaro
