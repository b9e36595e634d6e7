#pragma once
// CFileTypeDlg, the file type dialog ("文件类型设置"): edits one FileTypeRecord lent by the Advanced page.
//
// Form name "FileType".
// Fields:
//   settings     Label    "文件类型设置"            group box of the four texts
//   name         Text     "名称:"                   group "settings"
//   extension    Text     "扩展名:"                 group "settings"
//   description  Text     "描述:"                   group "settings"
//   contenttype  Text     "内容类型:"               group "settings"
//   icons        Label    "文件类型图标设置"         group box of the icon rows and previews
//   icon128 ... icon16   Text  "128x128:" ...      icon path relative to the movie folder
//   preview128 ... preview16  Picture  "128x128" ... the image drawn in each preview frame
//                          (its full path; empty when cleared). Shown, never set by the author.
// Buttons: browse128 ... browse16 and clear128 ... clear16 (picture buttons beside each icon
//   row), Help "帮助", OK "确定", Cancel "取消".
#include <string>
#include <string_view>

#include "descriptor/file_types.h"
#include "ui/form_state.h"

namespace zaro {

// Where icons chosen outside the movie folder are copied, below the movie folder.
inline constexpr std::u16string_view kFileTypeIconFolder = u"FileTypeIconsForZAROPublish\\";

class CFileTypeDlg : public FormState {
 public:
  // Sizes of the four preview frames in pixels and their image squares, largest first.
  struct PreviewFrame {
    int size;             // icon size: 128, 48, 32 or 16
    int width, height;    // the frame
    int imageSide, imageOffset;  // the image is drawn this large at this offset
  };
  static constexpr PreviewFrame kPreviewFrames[] = {
      {128, 130, 130, 128, 0}, {48, 52, 52, 48, 1}, {32, 37, 36, 32, 1}, {16, 22, 21, 16, 1}};

  explicit CFileTypeDlg(FileTypeRecord& record);

  std::string FormName() const override { return "FileType"; }
  // Fills the form from the record (unless it is a new type) and the previews from the
  // icon files that still exist.
  void OnShow() override;
  bool SetField(std::string_view name, std::u16string_view value) override;

  // The movie folder with "\" separators, ending in one.
  const std::u16string& RootContentFolder() const { return root_; }

 protected:
  void OnButton(std::string_view name) override;

 private:
  void Browse(int size);
  void Clear(int size);
  // The validation of "确定" in its order; false after its message.
  bool Validate();
  // Copies the form into the record; false after message 8039 or 8045 (fields stored
  // before the failing icon stay stored).
  bool StoreIntoRecord();

  FileTypeRecord& record_;
  std::u16string root_;
};

// "icon128", "preview48", "browse16", ... for a prefix and an icon size.
std::string IconControl(std::string_view prefix, int size);

}  // namespace zaro
