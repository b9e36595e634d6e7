#pragma once
// The publish routine: checks what the packaging tool needs, builds its command line from
// the settings, runs it with progress and reports the result.
#include <string>
#include <string_view>
#include <vector>

namespace zaro {

enum PackageTarget : int { DesktopPackage = 1, IphonePackage = 2, NativeInstaller = 3 };

// Builds and runs one package. exportFirst: have the host export the movie first (with
// debugging permitted for that export when ipaopt is "debug"). Returns 1 once the tool was
// run, whatever its result, and 0 when a check stopped the run before that.
int Package(PackageTarget target, bool exportFirst);

// The path with everything from the last "." of its file name on replaced by the extension
// (a "." is put in front of an extension without one); the extension is appended when the
// file name has no ".". An empty path gives "", an empty extension the path unchanged.
std::u16string ChangeExtension(std::u16string_view path, std::u16string_view extension);

// True when the file exists, or the folder before its last "/" (without "/": its last "\")
// exists.
bool IsUsableOutputPath(std::u16string_view path);

// Every "%20" becomes a space and every other "%" is dropped; nothing else changes.
std::u16string DecodeSpaceEscapes(std::u16string_view text);

// The iPhone packager's options after its archive path: " -package -target " + the target
// of the deployment kind ("debug" ipa-debug, "adhoc" ipa-ad-hoc, "store" ipa-app-store,
// anything else ipa-test), the profile, then the PKCS12 keystore and its password. The
// pieces keep their own leading and trailing spaces, so the archive path and the keystore
// options each meet the piece before them with two spaces; there is no time-stamp option.
std::u16string IphonePackagerOptions(std::u16string_view deployment, std::u16string_view profile,
                                     std::u16string_view keystore, std::u16string_view password);

// One command-line argument in double quotes that the tool's start-up code reads back as
// exactly `value`: a `"` becomes `\"`, and backslashes directly before a `"` or before the
// closing quote are doubled. Nothing else changes.
std::u16string QuoteArgument(std::u16string_view value);

// The included items the last command build did not find, in list order.
extern std::vector<std::u16string> missingIncludedFiles;

}  // namespace zaro
