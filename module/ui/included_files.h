#pragma once
// The included-files list of the General pages: two fixed entries (the movie and its
// descriptor) followed by the extra files and folders to package, shown with "\"
// separators and stored under com.zaro.quessa.included.* with "/" separators.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/form_state.h"

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

// What both General pages do with their dialogs and their list field:
// the save dialog for the output file (title 8102, named after the movie, `extension` as its
// default and `filterMessage` naming the filter); the chosen path with "/" separators.
std::optional<std::u16string> ChooseOutputFile(std::u16string_view extension, unsigned filterMessage);
// The all-files dialog, then the entry added as AddIncludedFile adds it; true when added.
bool AddChosenFile(FormField& list);
// The folder browser (8050), then the folder's entry appended unless it is the movie folder
// itself (always packaged); true when added.
bool AddChosenFolder(FormField& list);
// Removes the selected extra entry and clears the selection; false when nothing is selected
// (a fixed entry stays and still counts as an edit of the list).
bool RemoveSelectedEntry(FormField& list);

}  // namespace zaro
