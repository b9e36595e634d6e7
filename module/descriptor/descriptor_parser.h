#pragma once
// Internal to the descriptor folder: what a DescriptorDocument's parser owns.
#include <memory>
#include <string>
#include <string_view>

#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/EntityResolver.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/SecurityManager.hpp>

#include "descriptor/descriptor_document.h"

namespace zaro {

// Every external entity, the external DTD subset included, resolves to an empty text: only
// the descriptor file itself is ever read, never another file or the network.
class RefuseExternalEntities : public xercesc::EntityResolver {
 public:
  xercesc::InputSource* resolveEntity(const XMLCh* publicId, const XMLCh* systemId) override;
};

struct DescriptorParser {
  // Declared in this order so the parser goes first and never outlives its helpers.
  xercesc::HandlerBase errorHandler;   // fatal errors throw; errors and warnings ignored
  RefuseExternalEntities entityResolver;
  xercesc::SecurityManager securityManager;  // bounds entity expansion
  std::unique_ptr<xercesc::XercesDOMParser> dom;
};

// Library text (UTF-16) as UTF-8 for standard output; "" for null.
std::string LibraryText(const XMLCh* text);
// Prints `format` with one %s argument to standard output and flushes it. The argument is
// put on one line (control characters become spaces) and cut after 1000 bytes.
void PrintLibraryMessage(const char* format, std::string_view message);

}  // namespace zaro
