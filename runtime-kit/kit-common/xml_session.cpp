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

}  // namespace zpk
