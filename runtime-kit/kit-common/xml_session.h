#pragma once
// Keeps the XML library initialised while an instance lives (initialisation is counted).
#include <string>
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

}  // namespace zpk
