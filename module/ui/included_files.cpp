#include "ui/included_files.h"

#include <algorithm>

#include "packaging/path_utilities.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "settings/messages.h"
#include "settings/settings_store.h"

namespace zaro {

std::vector<std::u16string> LoadIncludedEntries() {
  const std::u16string baseName = GetSetting(keys::kMovieBaseName);
  std::vector<std::u16string> entries = {baseName + u".qmv", baseName + u"-app.xml"};
  const long count = IncludedItemCount(GetSetting(keys::kIncludedCount));
  for (long index = 0; index < count; ++index) {
    const std::u16string item = GetSetting(IncludedItemKey(index));
    if (!item.empty()) entries.push_back(WithBackslashes(item));
  }
  return entries;
}

std::u16string IncludedEntryFor(std::u16string_view chosenPath) {
  // Only a path that begins with the folder lies in it; a folder name found further in
  // (another tree that repeats it) must not have its leading characters cut off.
  const std::u16string folder = WithBackslashes(GetSetting(keys::kMovieFolder));
  if (!folder.empty() && StartsWithNoCase(chosenPath, folder)) {
    return std::u16string(chosenPath.substr(folder.size()));
  }
  return std::u16string(chosenPath);
}

bool AddIncludedFile(std::vector<std::u16string>& entries, std::u16string entry) {
  const bool listed = std::any_of(entries.begin(), entries.end(), [&entry](const std::u16string& existing) {
    return StartsWithNoCase(existing, entry);
  });
  if (listed || entry.empty()) return false;
  entries.push_back(std::move(entry));
  return true;
}

bool IsExtraIncludedEntry(const std::vector<std::u16string>& entries, std::u16string_view selected) {
  if (selected.empty()) return false;
  const auto found = std::find(entries.begin(), entries.end(), selected);
  return found != entries.end() && static_cast<size_t>(found - entries.begin()) >= kFixedIncludedEntries;
}

bool RemoveIncludedEntry(std::vector<std::u16string>& entries, std::u16string_view selected) {
  if (selected.empty()) return false;
  for (size_t index = 0; index < entries.size(); ++index) {
    if (entries[index] != selected) continue;
    if (index < kFixedIncludedEntries) return false;
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
  }
  return false;
}

void StoreIncludedEntries(const std::vector<std::u16string>& entries) {
  RemoveIncludedItems();
  if (entries.size() <= kFixedIncludedEntries) return;
  for (size_t index = kFixedIncludedEntries; index < entries.size(); ++index) {
    SetSetting(IncludedItemKey(static_cast<long>(index - kFixedIncludedEntries)), WithSlashes(entries[index]));
  }
  SetSetting(keys::kIncludedCount, FromUtf8(std::to_string(entries.size() - kFixedIncludedEntries)));
}

int WidestEntry(const std::vector<std::u16string>& entries) {
  int widest = 0;
  for (const std::u16string& entry : entries) widest = std::max(widest, Ui().MeasureTextWidth(entry));
  return widest;
}

namespace {

constexpr unsigned kChooseFolder = 8050;
constexpr unsigned kAllFiles = 8076;
constexpr unsigned kChooseDestination = 8102;

}  // namespace

std::optional<std::u16string> ChooseOutputFile(std::u16string_view extension, unsigned filterMessage) {
  FileDialogRequest request;
  request.save = true;
  request.title = LoadMessage(kChooseDestination);
  request.defaultExtension = std::u16string(extension);
  request.initialPath = GetSetting(keys::kMovieBaseName);
  request.filter = LoadMessage(filterMessage) + u" (*." + std::u16string(extension) + u")|*." +
                   std::u16string(extension) + u"||";
  const std::optional<std::u16string> chosen = Ui().ChooseFile(request);
  if (!chosen) return std::nullopt;
  return WithSlashes(*chosen);
}

bool AddChosenFile(FormField& list) {
  FileDialogRequest request;
  request.filter = LoadMessage(kAllFiles) + u" (*.*)|*.*||";
  const std::optional<std::u16string> chosen = Ui().ChooseFile(request);
  return chosen && AddIncludedFile(list.items, IncludedEntryFor(*chosen));
}

bool AddChosenFolder(FormField& list) {
  const std::optional<std::u16string> chosen = Ui().ChooseFolder(LoadMessage(kChooseFolder));
  if (!chosen) return false;
  std::u16string entry = IncludedEntryFor(*chosen);
  if (entry.empty()) return false;
  list.items.push_back(std::move(entry));
  return true;
}

bool RemoveSelectedEntry(FormField& list) {
  if (list.text.empty()) return false;
  if (RemoveIncludedEntry(list.items, list.text)) list.text.clear();
  return true;
}

}  // namespace zaro
