#pragma once
// The icon images a descriptor names, in the order the packaging command hands them to the
// tool.
#include <string>
#include <vector>

#include "descriptor/descriptor_document.h"

namespace zaro {

// The non-empty image texts (trimmed, still with their "%20" escapes) of the application's
// icon (the `icon` child of `application`) in the order image128x128, image48x48,
// image32x32, image16x16, image512x512, image57x57, image29x29; then, for every `fileType`
// of the first `fileTypes` element in document order, its icon's image128x128, image48x48,
// image32x32 and image16x16. Empty when nothing is parsed.
std::vector<std::u16string> DescriptorIconImages(const DescriptorDocument& document);

}  // namespace zaro
