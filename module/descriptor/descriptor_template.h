#pragma once
// The descriptor template: a complete new descriptor written from the document settings.
#include <string>
#include <string_view>

namespace zaro {

// The namespace a template carries when the kit's sample descriptor cannot be read.
inline constexpr std::u16string_view kDefaultDescriptorNamespace = u"http://ns.corvane.example/zaro/application/2.0";

// The template text for the current settings (without the byte-order mark).
std::u16string BuildDescriptorTemplate();

// Writes the template (UTF-8 byte-order mark, one line, no line break at the end) to
// qmv.folder.path + tessel.qmv.basename + "-app.xml", replacing any earlier file
// atomically. Always true: a file that cannot be written shows up in the parse that
// follows, which reports it.
bool WriteDescriptorTemplate();

}  // namespace zaro
