#include "packaging/provisioning_profile.h"

#include <algorithm>
#include <optional>

#include <xercesc/dom/DOM.hpp>

#include "descriptor/descriptor_document.h"
#include "descriptor/descriptor_reader.h"
#include "platform/files.h"
#include "settings/messages.h"
#include "settings/registry_values.h"
#include "settings/settings_store.h"

namespace zaro {

using namespace xercesc;

namespace {

constexpr std::string_view kPlistStart = "<plist";
constexpr std::string_view kPlistEnd = "</plist>";
constexpr std::u16string_view kIdentifierKey = u"application-identifier";
// Team prefix (10 characters) and the dot after it.
constexpr size_t kTeamPrefixLength = 11;

constexpr unsigned kNoProfileMessage = 8098;
constexpr unsigned kProfileGoneMessage = 8097;
constexpr std::u16string_view kLastProfile = u"Last IPA Provision";
constexpr std::u16string_view kRecentProfiles = u"MobileProvisionFiles";
constexpr int kRecentProfileLimit = 10;

std::u16string Replaced(std::u16string text, char16_t from, char16_t to) {
  std::replace(text.begin(), text.end(), from, to);
  return text;
}

// The property list inside the profile's signed envelope: from the first "<plist" to the
// end of the first "</plist>"; nothing when either is missing or the end comes first.
std::optional<std::string_view> PropertyListBytes(std::string_view profile) {
  const size_t start = profile.find(kPlistStart);
  const size_t end = profile.find(kPlistEnd);
  if (start == std::string_view::npos || end == std::string_view::npos || end < start) return std::nullopt;
  return profile.substr(start, end + kPlistEnd.size() - start);
}

// The value element of a key: the next element sibling. A property list pairs each key
// with the element after it; the white space between them, if any, carries no meaning.
DOMNode* ValueOf(DOMNode* key) {
  for (DOMNode* node = key->getNextSibling(); node != nullptr; node = node->getNextSibling()) {
    if (node->getNodeType() == DOMNode::ELEMENT_NODE) return node;
  }
  return nullptr;
}

std::optional<std::u16string> FindIdentifier(DOMDocument* dom) {
  DOMNodeList* keys = dom->getElementsByTagName(u"key");
  const XMLSize_t count = keys ? keys->getLength() : 0;
  for (XMLSize_t index = 0; index < count; ++index) {
    DOMNode* key = keys->item(index);
    const XMLCh* keyText = key->getTextContent();
    if (keyText == nullptr || std::u16string_view(keyText) != kIdentifierKey) continue;
    DOMNode* value = ValueOf(key);
    const XMLCh* valueText = value ? value->getTextContent() : nullptr;
    if (valueText == nullptr) continue;
    const std::u16string_view text(valueText);
    if (text.size() <= kTeamPrefixLength || text.size() - kTeamPrefixLength > kMaxProfileIdentifierLength) continue;
    return std::u16string(text.substr(kTeamPrefixLength));
  }
  return std::nullopt;
}

// Parses the scratch file with a parser of its own; the movie's descriptor stays as it is.
std::optional<std::u16string> IdentifierFromFile(std::u16string_view path) {
  DescriptorDocument plist;
  if (InitDescriptorParser(plist) != 0) return std::nullopt;
  // A property list has no `application` element, so "parsed" shows up as that code;
  // only a parse error means there is no document to look in.
  std::optional<std::u16string> identifier;
  if (ParseDescriptor(plist, path) != kParseError) {
    try {
      if (DOMDocument* dom = DescriptorDom(plist)) identifier = FindIdentifier(dom);
    } catch (...) {
      identifier.reset();
    }
  }
  ReleaseDescriptor(plist);
  return identifier;
}

}  // namespace

bool ReadProfileApplicationId(std::u16string_view profilePath, std::u16string& identifier) {
  const std::optional<std::string> profile = platform::ReadFileBytes(profilePath);
  if (!profile) return false;
  const std::optional<std::string_view> plist = PropertyListBytes(*profile);
  if (!plist) return false;

  const std::u16string scratch =
      Replaced(GetSetting(keys::kMovieFolder), u'/', u'\\') + std::u16string(kProfileScratchFileName);
  std::optional<std::u16string> found;
  if (platform::ReplaceFileAtomically(scratch, *plist)) found = IdentifierFromFile(scratch);
  platform::DeleteFileAt(scratch);
  if (!found) return false;
  identifier = std::move(*found);
  return true;
}

void ApplyProfileApplicationId(std::u16string_view profileIdentifier, std::u16string& applicationIdField) {
  if (profileIdentifier == u"*") return;
  if (profileIdentifier.find(u'*') == std::u16string_view::npos) {
    applicationIdField.assign(profileIdentifier);
    return;
  }
  const std::u16string_view stem = profileIdentifier.substr(0, profileIdentifier.size() - 1);
  if (applicationIdField.size() > profileIdentifier.size() && applicationIdField.starts_with(stem)) return;
  size_t shared = 0;
  while (shared < stem.size() && shared < applicationIdField.size() && stem[shared] == applicationIdField[shared]) {
    ++shared;
  }
  applicationIdField = std::u16string(stem) + applicationIdField.substr(shared);
}

int CommitProfilePath(const ProfileListPage& page, bool showMessages) {
  if (page.text.empty()) {
    if (!showMessages) return kProfileAccepted;
    ShowCatalogueMessage(kNoProfileMessage, kMbIconExclamation);
    if (page.reload) page.reload();
    return kProfileEmpty;
  }
  if (showMessages && !platform::FileExists(page.text)) {
    ShowCatalogueMessage(kProfileGoneMessage, kMbIconExclamation);
    if (page.reload) page.reload();
    return kProfileMissing;
  }
  const std::u16string path = Replaced(page.text, u'\\', u'/');
  if (path != GetSetting(keys::kIpaProvision)) {
    SetSetting(keys::kIpaProvision, path);
    if (page.markChanged) page.markChanged();
  }
  WriteRegistryValue(kLastProfile, path);
  if (!page.entries.empty()) WriteRegistryList(kRecentProfiles, kRecentProfileLimit, page.entries);
  return kProfileAccepted;
}

}  // namespace zaro
