#include "xml_session.h"

#include <memory>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLException.hpp>

namespace zpk {

XmlSession::XmlSession() {
  try {
    xercesc::XMLPlatformUtils::Initialize();
    ok_ = true;
  } catch (const xercesc::XMLException&) {
    ok_ = false;
  }
}

XmlSession::~XmlSession() {
  if (ok_) xercesc::XMLPlatformUtils::Terminate();
}

std::string XmlToUtf8(const XMLCh* text) {
  if (text == nullptr) return {};
  xercesc::TranscodeToStr utf8(text, "UTF-8");
  return std::string(reinterpret_cast<const char*>(utf8.str()), utf8.length());
}

std::string XmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\r': out += "&#13;"; break;  // a reader would turn a raw one into a line feed
      default: out += c;
    }
  }
  return out;
}

}  // namespace zpk
