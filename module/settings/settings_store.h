#pragma once
// The module-wide settings: one map of texts, reset at the start of every command except
// for the signing credentials that live for the session.
#include <map>
#include <string>
#include <string_view>

#include "host/host_abi.h"

namespace zaro {

namespace keys {
inline constexpr std::u16string_view kMovieFolder = u"qmv.folder.path";
inline constexpr std::u16string_view kMovieBaseName = u"tessel.qmv.basename";
inline constexpr std::u16string_view kDocumentPath = u"tessel.tsd.filepath";
inline constexpr std::u16string_view kLaunchPath = u"tessel.launch.path";
inline constexpr std::u16string_view kKitName = u"quessa.zsk.path";
inline constexpr std::u16string_view kPubZaro = u"com.zaro.quessa.pubzaro";
inline constexpr std::u16string_view kPubIpa = u"com.zaro.quessa.pubipa";
inline constexpr std::u16string_view kPubExe = u"com.zaro.quessa.pubexe";
inline constexpr std::u16string_view kIpaOption = u"com.zaro.quessa.ipaopt";
inline constexpr std::u16string_view kIpaDestination = u"com.zaro.quessa.ipadest";
inline constexpr std::u16string_view kZaroDestination = u"com.zaro.quessa.zarodest";
inline constexpr std::u16string_view kIpaCertPath = u"com.zaro.quessa.ipacertpath";
inline constexpr std::u16string_view kIpaProvision = u"com.zaro.quessa.ipaprovision";
inline constexpr std::u16string_view kIncludedCount = u"com.zaro.quessa.included.count";
inline constexpr std::u16string_view kIncludedItemPrefix = u"com.zaro.quessa.included.item";
inline constexpr std::u16string_view kCertPath = u"com.zaro.quessa.certpath";
inline constexpr std::u16string_view kCertPassword = u"com.zaro.quessa.certpwd";
inline constexpr std::u16string_view kRememberPassword = u"com.zaro.quessa.rempwd";
inline constexpr std::u16string_view kTimestamp = u"com.zaro.quessa.timestamp";
inline constexpr std::u16string_view kIpaCertPassword = u"com.zaro.quessa.ipacertpwd";
inline constexpr std::u16string_view kIpaRememberPassword = u"com.zaro.quessa.iparempwd";
inline constexpr std::u16string_view kExitOk = u"com.zaro.quessa.exitok";
inline constexpr std::u16string_view kWindowType = u"com.zaro.quessa.wintype";
inline constexpr std::u16string_view kProgramMenu = u"com.zaro.quessa.prgmenu";
inline constexpr std::u16string_view kDestination = u"com.zaro.quessa.destination";
inline constexpr std::u16string_view kAppId = u"com.zaro.quessa.appid";
inline constexpr std::u16string_view kAppName = u"com.zaro.quessa.appname";
inline constexpr std::u16string_view kShortName = u"com.zaro.quessa.shortname";
inline constexpr std::u16string_view kVersion = u"com.zaro.quessa.version";
inline constexpr std::u16string_view kDescription = u"com.zaro.quessa.description";
inline constexpr std::u16string_view kCopyright = u"com.zaro.quessa.copyright";
inline constexpr std::u16string_view kUseCustomDescriptor = u"com.zaro.quessa.usecust";
inline constexpr std::u16string_view kCustomDescriptorPath = u"com.zaro.quessa.xmlpath";
inline constexpr std::u16string_view kOutputType = u"com.corvane.tessel.brisel.output.type";
}  // namespace keys

// Key of included item n: the prefix followed directly by n in decimal.
std::u16string IncludedItemKey(long index);
// The number of included items a count text stands for: its leading decimal number, at
// most kMaxIncludedItems. Each item costs a script evaluation in every command, so a
// damaged or hostile count must not stall the host for hours.
inline constexpr long kMaxIncludedItems = 10000;
long IncludedItemCount(std::u16string_view countText);

// An absent key reads as the empty text.
std::u16string GetSetting(std::u16string_view key);
// Copy-out form: false, leaving `out` untouched, when the value is empty.
bool GetSetting(std::u16string_view key, std::u16string& out);
// Only "true" (exact) is true.
bool SettingIsTrue(std::u16string_view key);
void SetSetting(std::u16string_view key, std::u16string_view value);
void RemoveSetting(std::u16string_view key);
// Empties the store except for the signing credentials (passwords only when remembered).
void ResetSettingsKeepingCredentials();
// Erases items 0 to count-1 from the store; the count itself stays.
void RemoveIncludedItems();
// Fills the store from the document / writes it into the document, in the fixed key order.
void LoadDocumentSettings(ScriptContext context, ScriptObject object);
void SaveDocumentSettings(ScriptContext context, ScriptObject object);

// The whole store, for tests and diagnostics.
const std::map<std::u16string, std::u16string, std::less<>>& AllSettings();

}  // namespace zaro
