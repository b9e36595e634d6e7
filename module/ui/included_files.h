#pragma once
// The included-files list of the General pages: two fixed entries (the movie and its
// descriptor) followed by the extra files and folders to package, shown with "\"
// separators and stored under com.zaro.quessa.included.* with "/" separators.
#include <string>
#include <string_view>
#include <vector>

namespace zaro {

inline constexpr size_t kFixedIncludedEntries = 2;

// Base name + ".qmv", base name + "-app.xml", then every non-empty stored item.
std::vector<std::u16string> LoadIncludedEntries();

// The list entry for a chosen file or folder: the part after the movie folder when the path
// lies in it (compared without regard to ASCII case), else the whole path.
std::u16string IncludedEntryFor(std::u16string_view chosenPath);

// Appends a file entry unless an entry already begins with the same text (without regard to
// ASCII case); false when refused.
bool AddIncludedFile(std::vector<std::u16string>& entries, std::u16string entry);

// True when the first entry with the selected text is an extra one (from index 2 on): the
// remove button of both General pages is enabled only then.
bool IsExtraIncludedEntry(const std::vector<std::u16string>& entries, std::u16string_view selected);

// Deletes the first extra entry with the selected text; false when nothing was selected or
// the selection is one of the fixed entries.
bool RemoveIncludedEntry(std::vector<std::u16string>& entries, std::u16string_view selected);

// Erases the items of the old count, then stores the extra entries as items 0, 1, ... with
// their count. With only the fixed entries the count keeps its old value.
void StoreIncludedEntries(const std::vector<std::u16string>& entries);

// Width of the widest entry in the dialog font (the list's horizontal extent).
int WidestEntry(const std::vector<std::u16string>& entries);

}  // namespace zaro
