#pragma once
// Pictures in forms: picture buttons (an image or a drawn glyph that highlights under the
// pointer) and image previews.
#include <wx/bitmap.h>
#include <wx/panel.h>

#include <functional>
#include <string>

#include "ui/wx/form_layout.h"

namespace zaro::wxui {

// A picture that acts as a button: it draws a frame and highlights while the pointer is
// over it, and reports a click.
class PictureButton : public wxPanel {
 public:
  PictureButton(wxWindow* parent, const wxString& name, wxSize size);
  // An image file, shrunk to fit when it is larger than the button.
  void SetImagePath(const std::u16string& path);
  // A glyph drawn in code, in the button's own size.
  void SetGlyph(ButtonGlyph glyph);
  void SetOnClick(std::function<void()> onClick) { onClick_ = std::move(onClick); }
  bool IsHighlighted() const { return hover_; }
  bool HasPicture() const { return bitmap_.IsOk(); }

 private:
  void OnPaint(wxPaintEvent& event);

  std::u16string path_;
  wxBitmap bitmap_;
  bool hover_ = false;
  std::function<void()> onClick_;
};

// A glyph as a bitmap of `side` pixels: transparent background, drawn with anti-aliasing.
wxBitmap DrawGlyph(ButtonGlyph glyph, int side);

// Where an image of `image` pixels is drawn in a preview frame of `frame` pixels: a square
// whose side is the smallest of the four sizes, centred (offsets rounded down, never
// negative).
wxRect PreviewPlacement(wxSize image, wxSize frame);

// A white frame that shows an image file placed by PreviewPlacement; empty (white) when
// the path is empty, names no file or no image.
class ImagePreview : public wxPanel {
 public:
  ImagePreview(wxWindow* parent, const wxString& name, wxSize size);
  void SetImagePath(const std::u16string& path);
  bool HasImage() const { return image_.IsOk(); }
  // Where the image is drawn now (empty when there is none).
  wxRect ImageRect() const;

 private:
  void OnPaint(wxPaintEvent& event);

  std::u16string path_;
  wxImage image_;
  wxBitmap scaled_;
};

}  // namespace zaro::wxui
