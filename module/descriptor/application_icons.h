#pragma once
// The application's own icons in the descriptor: the `icon` element directly inside the
// root `application` element, one child per size named "image<N>x<N>" whose text is the
// image's path relative to the movie folder ("/" separators, blanks as "%20"). An `icon`
// inside a `fileType` is never taken for the application's.
#include <string>
#include <string_view>
#include <vector>

#include "descriptor/descriptor_document.h"

namespace zaro {

// The icon sizes of a target in list order: 16, 32, 48, 128 on the desktop; 29, 57, 512
// for the iPhone.
std::vector<int> ApplicationIconSizes(bool iphone);
// "16x16" for 16: how lists and labels name an icon size.
std::u16string IconSizeText(int size);
// "image16x16" for 16: the element of that size in an `icon` (the application's or a file type's).
std::u16string IconElementName(int size);

// The trimmed text of the named child of the application's `icon`; empty when the icon,
// the child or its text is missing, or nothing is parsed.
std::u16string ReadAppIcon(DescriptorDocument& document, std::u16string_view element);
// Sets the text of the named child of the application's `icon`, creating the `icon` (as
// the last child of `application`) and the child (as the icon's last child) when missing.
// 0 done, -1 nothing parsed, 3 no `application` element, 2 a name the document cannot hold.
int WriteAppIcon(DescriptorDocument& document, std::u16string_view element, std::u16string_view text);
// Removes the first child of that name from the application's `icon`; the `icon` stays,
// even when empty. 0 also when there was nothing to remove; -1 nothing parsed.
int RemoveAppIcon(DescriptorDocument& document, std::u16string_view element);

}  // namespace zaro
