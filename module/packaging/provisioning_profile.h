#pragma once
// Provisioning profiles on the iPhone Deployment page: reading the application identifier
// a profile allows, bringing the page's application ID in line with it, and storing the
// chosen profile when the page is committed.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zaro {

// The file that holds a profile's property list while it is parsed, in the movie folder.
inline constexpr std::u16string_view kProfileScratchFileName = u"temp_xml_provision_file.xml";
// The longest identifier taken from a profile (after the team prefix is removed).
inline constexpr size_t kMaxProfileIdentifierLength = 255;

// Reads the application identifier that the profile at `profilePath` allows, without its
// team prefix ("ABCDE12345.com.example.*" gives "com.example.*"). The property list is the
// run from the first "<plist" to the first "</plist>"; it is written to
// qmv.folder.path + "temp_xml_provision_file.xml", parsed there and that file is deleted
// again on every path. The value is the element that follows the key
// "application-identifier" (its next element sibling, whatever white space lies between).
// False, leaving `identifier` as it was and showing nothing, when the file cannot be read,
// holds no property list, does not parse, has no such key, the value is 11 characters or
// shorter, or the identifier would be longer than 255 characters.
bool ReadProfileApplicationId(std::u16string_view profilePath, std::u16string& identifier);

// Brings the application ID field text in line with the profile's identifier:
// "*" leaves it; an identifier without "*" replaces it; a wildcard "P*" leaves a field that
// is longer than the wildcard and starts with "P", and otherwise sets it to "P" followed by
// what the field has after the characters it shares with "P" at its start.
void ApplyProfileApplicationId(std::u16string_view profileIdentifier, std::u16string& applicationIdField);

// CommitProfilePath results.
inline constexpr int kProfileAccepted = 0;
inline constexpr int kProfileEmpty = 1;
inline constexpr int kProfileMissing = 2;

// What CommitProfilePath needs from the page it commits.
struct ProfileListPage {
  std::u16string text;                  // the profile box's text
  std::vector<std::u16string> entries;  // the box's list, in list order
  std::function<void()> reload;         // fills the page again from the stored settings
  std::function<void()> markChanged;    // the document settings changed
};

// The profile step of the Deployment page's commit. With showMessages: an empty text shows
// 8098, a text naming no file shows 8097; each then reloads the page and returns 1 or 2.
// Without showMessages an empty text is accepted and stores nothing, and a missing file is
// stored like an existing one. Otherwise stores the path with "/" separators as
// com.zaro.quessa.ipaprovision (marking the page changed when it differs), writes it to
// "Last IPA Provision", writes the list entries as the recent list "MobileProvisionFiles"
// (at most 10) and returns 0.
int CommitProfilePath(const ProfileListPage& page, bool showMessages);

}  // namespace zaro
