#pragma once
// File type associations: the record that the file type dialog and the Advanced page
// exchange, the rules a name and an extension must meet, and the operations on the
// descriptor's `fileTypes` element (the only place file types are kept).
//
//   <fileTypes>
//     <fileType>
//       <name>docA</name><extension>abc</extension><description/><contentType>text/x-a</contentType>
//       <icon><image16x16>FileTypeIconsForZAROPublish/a16.png</image16x16>...</icon>
//     </fileType>
//   </fileTypes>
#include <array>
#include <string>
#include <string_view>

#include "descriptor/descriptor_document.h"

namespace zaro {

// The icon sizes of a file type, in the order the descriptor and the record store them.
inline constexpr std::array<int, 4> kFileTypeIconSizes = {16, 32, 48, 128};

// A name or an extension holds at most this many characters.
inline constexpr std::size_t kFileTypeNameLimit = 38;
// A description, a content type or an icon path holds at most this many UTF-16 units.
inline constexpr std::size_t kFileTypeTextLimit = 255;

struct FileTypeRecord {
  std::string name;       // 8-bit text (UTF-8); only ASCII once the dialog accepted it
  std::string extension;  // 8-bit text, without the dot
  std::u16string description;
  std::u16string contentType;  // MIME type
  // Icon paths relative to the movie folder with "/" separators; empty for none.
  std::u16string icon16;
  std::u16string icon32;
  std::u16string icon48;
  std::u16string icon128;
  // 1 after a reset; 0 once the author removed the type, so the page's commit removes it.
  bool keep = true;
  // The name the type had in the descriptor when it was read, to find its element again
  // after the name was edited.
  std::string loadedName;

  // The icon path of a size of kFileTypeIconSizes.
  std::u16string& Icon(int size);
  const std::u16string& Icon(int size) const;
};

// 1 to 38 characters of a-z, A-Z, 0-9 and ".", not starting with "." or a digit.
bool IsValidFileTypeName(std::u16string_view name);
// 1 to 38 characters of a-z, A-Z and 0-9.
bool IsValidFileTypeExtension(std::u16string_view extension);

// For every `fileType` of the first `fileTypes` element, in document order: ";", its
// name, and "(" extension ")" when it has an `extension` element: ";docA(abc);docB(xyz)".
// Empty without a `fileTypes` element or a parsed document.
std::u16string ListFileTypes(DescriptorDocument& document);

// Fills the record from the first `fileType` whose name is exactly `name`; elements that
// are missing or empty leave their field as it was. The icons are the first image element
// of each size anywhere inside the type. Sets loadedName. False when there is no such type.
bool ReadFileType(DescriptorDocument& document, std::u16string_view name, FileTypeRecord& record);

// Adds the record as a new `fileType` (creating `fileTypes` as the last child of
// `application` when there is none), or updates in place the type whose trimmed name
// equals the record's trimmed loadedName. 0 when done, -1 without a parsed document,
// 2 when the document has no `application` element.
int SaveFileType(DescriptorDocument& document, const FileTypeRecord& record);

// Removes the first `fileType` named exactly `name`; the whole `fileTypes` element when it
// was the only one. 0 when removed, 1 when there is no such type, -1 without a document.
int RemoveFileType(DescriptorDocument& document, std::u16string_view name);

}  // namespace zaro
