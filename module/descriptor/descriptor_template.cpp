#include "descriptor/descriptor_template.h"

#include "descriptor/application_id.h"
#include "descriptor/descriptor_reader.h"
#include "platform/files.h"
#include "platform/text.h"
#include "settings/settings_store.h"

namespace zaro {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Character data escapes; "%" and everything else stay as they are.
std::u16string EscapeText(std::u16string_view value) {
  std::u16string escaped;
  escaped.reserve(value.size());
  for (char16_t c : value) {
    switch (c) {
      case u'&': escaped += u"&amp;"; break;
      case u'<': escaped += u"&lt;"; break;
      case u'>': escaped += u"&gt;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::u16string EscapeAttribute(std::u16string_view value) {
  std::u16string escaped;
  for (char16_t c : EscapeText(value)) {
    if (c == u'"') {
      escaped += u"&quot;";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::u16string FirstNonEmpty(std::initializer_list<std::u16string_view> values) {
  for (std::u16string_view value : values) {
    if (!value.empty()) return std::u16string(value);
  }
  return {};
}

std::u16string ApplicationIdFrom(std::u16string id) {
  for (char16_t& c : id) {
    if (c == u'_' || c == u' ') c = u'-';
  }
  return IsValidApplicationId(id) ? id : u"no-name";
}

// The movie's file name as the URL the runtime opens: spaces become "%20", written as
// the character reference "&#37;20" so the XML reader sees "%20".
std::u16string ContentFor(std::u16string_view baseName) {
  std::u16string content;
  for (char16_t c : EscapeText(baseName)) {
    if (c == u' ') {
      content += u"&#37;20";
    } else {
      content += c;
    }
  }
  return content + u".qmv";
}

std::u16string Element(std::u16string_view name, std::u16string_view value) {
  std::u16string text;
  text.append(u"<").append(name).append(u">").append(value).append(u"</").append(name).append(u">");
  return text;
}

}  // namespace

std::u16string BuildDescriptorTemplate() {
  const std::u16string baseName = GetSetting(keys::kMovieBaseName);
  const std::u16string appId = GetSetting(keys::kAppId);
  const std::u16string appName = GetSetting(keys::kAppName);
  const std::u16string shortName = GetSetting(keys::kShortName);
  const std::u16string version = GetSetting(keys::kVersion);
  const std::u16string description = GetSetting(keys::kDescription);
  const std::u16string copyright = GetSetting(keys::kCopyright);
  const std::u16string windowType = GetSetting(keys::kWindowType);
  const std::u16string programMenu = GetSetting(keys::kProgramMenu);

  const bool noChrome = windowType == u"opaque" || windowType == u"transparent";
  const bool transparent = windowType == u"transparent";

  std::u16string descriptorNamespace(kDefaultDescriptorNamespace);
  if (std::string sample; ReadSampleNamespace(sample) == 0) descriptorNamespace = FromUtf8(sample);

  std::u16string text = u"<?xml version =\"1.0\" encoding=\"utf-8\" ?>";
  text += u"<application xmlns=\"" + EscapeAttribute(descriptorNamespace) + u"\">";
  text += Element(u"id", EscapeText(ApplicationIdFrom(FirstNonEmpty({appId, appName, baseName}))));
  text += Element(u"version", EscapeText(version.empty() ? std::u16string(u"1.0") : version));
  text += Element(u"filename", EscapeText(FirstNonEmpty({appName, baseName})));
  text += Element(u"description", EscapeText(description));
  text +=
      u"<!-- To localize the description, use the following format for the description element."
      u"<description>"
      u"<text xml:lang=\"en\">English App description goes here</text>"
      u"<text xml:lang=\"fr\">French App description goes here</text>"
      u"<text xml:lang=\"ja\">Japanese App description goes here</text>"
      u"</description>"
      u"-->";
  text += Element(u"name", EscapeText(FirstNonEmpty({shortName, baseName})));
  text +=
      u"<!-- To localize the name, use the following format for the name element."
      u"<name>"
      u"<text xml:lang=\"en\">English App name goes here</text>"
      u"<text xml:lang=\"fr\">French App name goes here</text>"
      u"<text xml:lang=\"ja\">Japanese App name goes here</text>"
      u"</name>"
      u"-->";
  text += Element(u"copyright", EscapeText(copyright));
  text += u"<initialWindow>";
  text += Element(u"content", ContentFor(baseName));
  text += Element(u"systemChrome", noChrome ? u"none" : u"standard");
  text += Element(u"transparent", transparent ? u"true" : u"false");
  text += u"<visible>true</visible>";
  text += u"<fullScreen>false</fullScreen>";
  text += u"<aspectRatio>portrait</aspectRatio>";
  text += u"<renderMode>auto</renderMode>";
  text += u"</initialWindow>";
  if (!programMenu.empty()) text += Element(u"programMenuFolder", EscapeText(programMenu));
  text += u"<icon></icon>";
  text += u"<customUpdateUI>false</customUpdateUI>";
  text += u"<allowBrowserInvocation>false</allowBrowserInvocation>";
  text += u"</application>";
  return text;
}

bool WriteDescriptorTemplate() {
  const std::u16string path = GetSetting(keys::kMovieFolder) + GetSetting(keys::kMovieBaseName) + u"-app.xml";
  std::string bytes(kByteOrderMark);
  bytes += ToUtf8(BuildDescriptorTemplate());
  // A failed write leaves the earlier file untouched; the caller's parse reports it.
  platform::ReplaceFileAtomically(path, bytes);
  return true;
}

}  // namespace zaro
