#pragma once
// Keeps the XML library initialised while an instance lives (initialisation is counted).
#include <string>
#include <string_view>
#include <xercesc/util/XercesDefs.hpp>

namespace zpk {

class XmlSession {
 public:
  XmlSession();
  ~XmlSession();
  XmlSession(const XmlSession&) = delete;
  XmlSession& operator=(const XmlSession&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

std::string XmlToUtf8(const XMLCh* text);
// Text for XML character data or a double-quoted attribute: & < > " and carriage returns
// escaped. The one escape for every XML file the kit writes; the text must be one XML 1.0
// can hold (xml_text.h).
std::string XmlEscaped(std::string_view text);

}  // namespace zpk
