#pragma once
// The message catalogue (identifiers 8000 to 8108) and the module's message boxes.
#include <string>
#include <string_view>

#include "platform/ui_services.h"

namespace zaro {

inline constexpr std::u16string_view kMessageTitle = u"Corvane Tessel KV5";

// The module's own catalogue text; empty for an identifier without an entry.
std::u16string LoadCatalogueText(unsigned id);
// The text from the kit's loaded message module ("Zaro" + kit version) when there is one,
// else from the module's own catalogue.
std::u16string LoadMessage(unsigned id);
// A message box titled "Corvane Tessel KV5"; returns the pressed button.
int ShowMessage(std::u16string_view text, unsigned style = kMbIconExclamation);
int ShowCatalogueMessage(unsigned id, unsigned style = kMbIconExclamation);

}  // namespace zaro
