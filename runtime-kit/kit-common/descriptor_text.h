#pragma once
// Every text and attribute value of a descriptor must be one that XML 1.0 can hold, since
// the tools copy them into the XML files they generate (Info.plist, signature files,
// desktop registration files).
#include <optional>
#include <string>

#include <xercesc/dom/DOMElement.hpp>

namespace zpk {

// The first refusal below `element`, naming the place as the descriptor check does
// ("application.name.text contains the character U+0001, which XML 1.0 cannot hold");
// nullopt when every text can be held. `where` names `element` itself.
std::optional<std::string> FirstTextXml10CannotHold(const xercesc::DOMElement* element, const std::string& where);

}  // namespace zpk
