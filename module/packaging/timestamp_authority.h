#pragma once
// The time-stamp authority the packaging tool is pointed at when the author asks for a
// time-stamped signature. The command builder and the "disable time stamp" re-run use this
// one text, so the re-run always finds what the builder wrote.
#include <string_view>

namespace zaro {

inline constexpr std::u16string_view kDefaultTimestampAuthorityUrl = u"https://timestamp.corvane.example/tsa";

}  // namespace zaro
