#pragma once
// What the packager writes into Payload/NAME.app/ besides the packaged files: Info.plist,
// the code resources (SHA-256 of every other file) and their detached CMS signature.
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "descriptor_check.h"
#include "keystore.h"
#include "tool_result.h"

namespace mpk {

inline constexpr const char* kInfoPlist = "Info.plist";
inline constexpr const char* kEmbeddedProfile = "embedded.mobileprovision";
inline constexpr const char* kCodeResources = "_CodeSignature/CodeResources";
inline constexpr const char* kCodeSignature = "_CodeSignature/CodeSignature";
// Where the descriptor sits inside the application, as in a desktop package.
inline constexpr const char* kBundleDescriptor = "META-INF/ZARO/application.xml";

// "Payload/" + filename + ".app/".
std::string BundleFolder(const std::string& filename);

// True for the names the packager writes itself (relative to the bundle folder).
bool IsReservedBundleName(const std::string& name);

// Info.plist from the descriptor: bundle identifier (id), display name and name (the
// application name, the filename when it has none), short version and version (version),
// executable (filename) and the application icons (not the file types' icons).
std::string BuildInfoPlist(const zpk::DescriptorInfo& info);

// What CodeResources lists: every file of the application folder but the two signature
// files, with its SHA-256 digest, and every folder entry the archive holds inside it (the
// packaged empty folders).
struct CodeResources {
  std::map<std::string, std::string> files;  // name inside the folder -> SHA-256 digest
  std::set<std::string> folders;             // name inside the folder, ending in "/"
};

// A property list with the key "files" mapping every file name to its digest as data and,
// when there are any, the key "folders" with an array of the folder names.
std::string BuildCodeResources(const CodeResources& resources);
// Reads it back; false when it is not such a list.
bool ParseCodeResources(std::string_view text, CodeResources& resources);

// True for a name (relative to the application folder) that puts an application folder
// inside it: a folder whose name ends in ".app", in any case.
bool HoldsNestedBundle(std::string_view name);

// The DER detached CMS signature over `data`, made with the identity's key and carrying
// its certificate chain. Exit code 9 when it cannot be made.
zpk::Outcome SignDetached(const zpk::SigningIdentity& identity, std::string_view data, std::string& signature);

}  // namespace mpk
