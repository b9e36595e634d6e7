#include "ui/icon_choice.h"

#include "packaging/path_utilities.h"
#include "platform/files.h"
#include "platform/ui_services.h"
#include "settings/messages.h"

namespace zaro {
namespace {

constexpr unsigned kCopyIconQuestion = 8020;
constexpr unsigned kImageFiles = 8049;
constexpr unsigned kOkCancelWarning = kMbOkCancel | kMbIconExclamation;

}  // namespace

std::optional<ChosenIcon> ChooseMovieIcon(std::u16string_view movieFolder, std::u16string_view copyFolder) {
  FileDialogRequest request;
  request.filter = LoadMessage(kImageFiles) + u" (*.png)|*.png||";
  const std::optional<std::u16string> chosen = Ui().ChooseFile(request);
  if (!chosen) return std::nullopt;
  ChosenIcon icon{*chosen, *chosen};
  if (IsInsideFolder(*chosen, movieFolder)) {
    icon.relative = RelativeToFolder(*chosen, movieFolder);
    return icon;
  }
  if (ShowCatalogueMessage(kCopyIconQuestion, kOkCancelWarning) != kIdOk) return std::nullopt;
  if (!platform::FileExists(*chosen)) return icon;
  const std::u16string folder = std::u16string(movieFolder) + std::u16string(copyFolder);
  platform::CreateFolder(folder);
  const std::u16string name = FileNamePart(*chosen);
  platform::CopyFileOverwrite(*chosen, folder + name);
  icon.relative = std::u16string(copyFolder) + name;
  icon.absolute = folder + name;
  return icon;
}

}  // namespace zaro
