#include "ui/wx/picture_widgets.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/settings.h>

#include <algorithm>
#include <memory>

#include "ui/wx/wx_text.h"

namespace zaro::wxui {
namespace {

// An image file as a wx image; invalid when the file is missing or no image.
wxImage LoadImageFile(const std::u16string& path) {
  wxImage image;
  if (path.empty() || !platform::FileExists(path)) return image;
  wxLogNull quiet;  // a file that is no image leaves the picture empty
  image.LoadFile(PathToWx(path));
  return image;
}

void DrawFolder(wxGraphicsContext& gc, double s) {
  gc.SetPen(wxPen(wxColour(160, 120, 30), std::max(1.0, s / 20)));
  gc.SetBrush(wxBrush(wxColour(240, 200, 90)));
  wxGraphicsPath back = gc.CreatePath();
  back.MoveToPoint(s * 0.08, s * 0.28);
  back.AddLineToPoint(s * 0.38, s * 0.28);
  back.AddLineToPoint(s * 0.46, s * 0.38);
  back.AddLineToPoint(s * 0.88, s * 0.38);
  back.AddLineToPoint(s * 0.88, s * 0.84);
  back.AddLineToPoint(s * 0.08, s * 0.84);
  back.CloseSubpath();
  gc.DrawPath(back);
  gc.SetBrush(wxBrush(wxColour(252, 222, 130)));
  wxGraphicsPath front = gc.CreatePath();
  front.MoveToPoint(s * 0.08, s * 0.84);
  front.AddLineToPoint(s * 0.20, s * 0.50);
  front.AddLineToPoint(s * 0.96, s * 0.50);
  front.AddLineToPoint(s * 0.88, s * 0.84);
  front.CloseSubpath();
  gc.DrawPath(front);
}

void DrawDocument(wxGraphicsContext& gc, double s) {
  gc.SetPen(wxPen(wxColour(90, 100, 120), std::max(1.0, s / 20)));
  gc.SetBrush(*wxWHITE_BRUSH);
  wxGraphicsPath page = gc.CreatePath();
  page.MoveToPoint(s * 0.16, s * 0.08);
  page.AddLineToPoint(s * 0.56, s * 0.08);
  page.AddLineToPoint(s * 0.76, s * 0.28);
  page.AddLineToPoint(s * 0.76, s * 0.92);
  page.AddLineToPoint(s * 0.16, s * 0.92);
  page.CloseSubpath();
  gc.DrawPath(page);
  gc.SetPen(wxPen(wxColour(160, 170, 190), std::max(1.0, s / 24)));
  for (double y : {0.40, 0.52, 0.64}) gc.StrokeLine(s * 0.26, s * y, s * 0.62, s * y);
}

// A green disc with a white plus at the lower right.
void DrawPlus(wxGraphicsContext& gc, double s) {
  gc.SetPen(wxPen(wxColour(30, 120, 40), std::max(1.0, s / 24)));
  gc.SetBrush(wxBrush(wxColour(60, 170, 70)));
  gc.DrawEllipse(s * 0.52, s * 0.52, s * 0.46, s * 0.46);
  gc.SetPen(wxPen(*wxWHITE, std::max(1.5, s / 9)));
  gc.StrokeLine(s * 0.62, s * 0.75, s * 0.88, s * 0.75);
  gc.StrokeLine(s * 0.75, s * 0.62, s * 0.75, s * 0.88);
}

}  // namespace

wxBitmap DrawGlyph(ButtonGlyph glyph, int side) {
  wxImage canvas(side, side);
  canvas.InitAlpha();
  std::fill_n(canvas.GetAlpha(), side * side, 0);
  std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(canvas));
  if (gc) {
    gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);
    const double s = side;
    switch (glyph) {
      case ButtonGlyph::Browse:
        DrawFolder(*gc, s);
        break;
      case ButtonGlyph::AddFile:
        DrawDocument(*gc, s);
        DrawPlus(*gc, s);
        break;
      case ButtonGlyph::AddFolder:
        DrawFolder(*gc, s);
        DrawPlus(*gc, s);
        break;
      case ButtonGlyph::Remove:
        gc->SetPen(wxPen(wxColour(200, 40, 40), std::max(2.0, s / 7), wxPENSTYLE_SOLID));
        gc->StrokeLine(s * 0.22, s * 0.22, s * 0.78, s * 0.78);
        gc->StrokeLine(s * 0.78, s * 0.22, s * 0.22, s * 0.78);
        break;
    }
    gc.reset();  // flushes the drawing into the image
  }
  return wxBitmap(canvas);
}

wxRect PreviewPlacement(wxSize image, wxSize frame) {
  const int side = std::max(0, std::min({image.GetWidth(), image.GetHeight(), frame.GetWidth(), frame.GetHeight()}));
  const int x = std::max(0, (frame.GetWidth() - side) / 2);
  const int y = std::max(0, (frame.GetHeight() - side) / 2);
  return wxRect(x, y, side, side);
}

// ---- picture button ----

PictureButton::PictureButton(wxWindow* parent, const wxString& name, wxSize size)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, size, wxFULL_REPAINT_ON_RESIZE, name) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetMinSize(size);
  Bind(wxEVT_PAINT, &PictureButton::OnPaint, this);
  Bind(wxEVT_ENTER_WINDOW, [this](wxMouseEvent&) {
    hover_ = true;
    Refresh();
  });
  Bind(wxEVT_LEAVE_WINDOW, [this](wxMouseEvent&) {
    hover_ = false;
    Refresh();
  });
  Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) {
    if (IsEnabled() && onClick_) onClick_();
  });
}

void PictureButton::SetImagePath(const std::u16string& path) {
  if (path == path_ && (path.empty() || bitmap_.IsOk())) return;
  path_ = path;
  bitmap_ = wxBitmap();
  wxImage image = LoadImageFile(path);
  if (image.IsOk()) {
    const wxSize room = GetClientSize() - wxSize(8, 8);
    if (image.GetWidth() > room.GetWidth() || image.GetHeight() > room.GetHeight()) {
      const double scale =
          std::min(double(room.GetWidth()) / image.GetWidth(), double(room.GetHeight()) / image.GetHeight());
      image.Rescale(std::max(1, int(image.GetWidth() * scale)), std::max(1, int(image.GetHeight() * scale)),
                    wxIMAGE_QUALITY_HIGH);
    }
    bitmap_ = wxBitmap(image);
  }
  Refresh();
}

void PictureButton::SetGlyph(ButtonGlyph glyph) {
  const wxSize size = GetMinSize();
  bitmap_ = DrawGlyph(glyph, std::max(8, std::min(size.GetWidth(), size.GetHeight()) - FromDIP(8)));
  Refresh();
}

void PictureButton::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxRect area(GetClientSize());
  const bool hot = hover_ && IsEnabled();
  const wxColour face = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
  dc.SetBackground(wxBrush(hot ? face.ChangeLightness(115) : face));
  dc.Clear();
  dc.SetPen(wxPen(hot ? wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)
                      : wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW),
                  hot ? 2 : 1));
  dc.SetBrush(*wxTRANSPARENT_BRUSH);
  dc.DrawRectangle(wxRect(area).Deflate(1));
  if (bitmap_.IsOk()) {
    const wxBitmap shown = IsEnabled() ? bitmap_ : bitmap_.ConvertToDisabled();
    dc.DrawBitmap(shown, (area.width - shown.GetWidth()) / 2, (area.height - shown.GetHeight()) / 2, true);
  }
}

// ---- image preview ----

ImagePreview::ImagePreview(wxWindow* parent, const wxString& name, wxSize size)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, size, wxFULL_REPAINT_ON_RESIZE | wxBORDER_SUNKEN, name) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetMinSize(size);
  Bind(wxEVT_PAINT, &ImagePreview::OnPaint, this);
  Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
    scaled_ = wxBitmap();
    Refresh();
    event.Skip();
  });
}

void ImagePreview::SetImagePath(const std::u16string& path) {
  if (path == path_) return;
  path_ = path;
  image_ = LoadImageFile(path);
  scaled_ = wxBitmap();
  Refresh();
}

wxRect ImagePreview::ImageRect() const {
  if (!image_.IsOk()) return wxRect();
  return PreviewPlacement(image_.GetSize(), GetClientSize());
}

void ImagePreview::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  dc.SetBackground(*wxWHITE_BRUSH);
  dc.Clear();
  const wxRect place = ImageRect();
  if (place.IsEmpty()) return;
  if (!scaled_.IsOk() || scaled_.GetWidth() != place.width) {
    scaled_ = wxBitmap(image_.Scale(place.width, place.height, wxIMAGE_QUALITY_HIGH));
  }
  dc.DrawBitmap(scaled_, place.x, place.y, true);
}

}  // namespace zaro::wxui
