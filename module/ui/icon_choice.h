#pragma once
// Choosing a PNG for one of the movie's icons, shared by the Icons page and the file type
// dialog: a file inside the movie folder is taken where it lies; one from elsewhere is
// copied into a folder below the movie folder once the author agrees (message 8020).
#include <optional>
#include <string>
#include <string_view>

namespace zaro {

struct ChosenIcon {
  std::u16string relative;  // relative to the movie folder, "\" separators
  std::u16string absolute;  // where the image now is
};

// `movieFolder` and `copyFolder` end in "\"; `copyFolder` is relative to the movie folder.
// nullopt when the author cancels the file dialog or the copy question. A chosen file that
// no longer exists is not copied and keeps its own path.
std::optional<ChosenIcon> ChooseMovieIcon(std::u16string_view movieFolder, std::u16string_view copyFolder);

}  // namespace zaro
