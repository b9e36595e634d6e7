#pragma once
// Text and path conversions between module text (UTF-16, Windows-form paths) and wx.
#include <wx/string.h>

#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/text.h"

namespace zaro::wxui {

inline wxString ToWx(std::u16string_view text) { return wxString::FromUTF8(ToUtf8(text)); }
inline std::u16string FromWx(const wxString& text) { return FromUtf8(text.utf8_string()); }

// Windows-form path text for a path the toolkit handed back.
inline std::u16string PathFromWx(const wxString& posixPath) {
  return platform::ToWindowsForm(posixPath.utf8_string());
}
// The POSIX path the toolkit needs for a Windows-form or "/"-form path.
inline wxString PathToWx(std::u16string_view path) {
  return wxString::FromUTF8(platform::ToPosixPath(path));
}

}  // namespace zaro::wxui
