#pragma once
// What the packager writes into Payload/NAME.app/ besides the packaged files: Info.plist,
// the code resources (SHA-256 of every other file) and their detached CMS signature.
#include <map>
#include <string>
#include <string_view>
#include <vector>

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

// Info.plist from the descriptor: bundle identifier (id), name, short version and version
// (version), executable (filename) and the icon files.
std::string BuildInfoPlist(const zpk::DescriptorInfo& info, const std::string& name);

// The text of the descriptor's application name: the first `name` element under
// `application`, trimmed (all its text when it is localised); the filename when empty.
std::string ApplicationName(std::string_view descriptorXml, const std::string& filename);

// CodeResources: a property list with the key "files" mapping every file name (relative to
// the bundle folder) to its SHA-256 digest as data.
std::string BuildCodeResources(const std::map<std::string, std::string>& digests);
// Reads it back; false when it is not such a list.
bool ParseCodeResources(std::string_view text, std::map<std::string, std::string>& digests);

// The DER detached CMS signature over `data`, made with the identity's key and carrying
// its certificate chain. Exit code 9 when it cannot be made.
zpk::Outcome SignDetached(const zpk::SigningIdentity& identity, std::string_view data, std::string& signature);

}  // namespace mpk
