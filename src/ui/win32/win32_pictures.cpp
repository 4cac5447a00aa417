#include "ui/win32/win32_pictures.h"

#include <cstdint>
#include <optional>
#include <vector>

#include "ui/win32/win32_resources.h"

namespace srom {
namespace {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// The picture as the window shows it: every pixel of the top-left pixel's
// colour painted in `background`, when there is one. Takes `source` over.
HBITMAP WithBackground(HBITMAP source, std::optional<COLORREF> background) {
  BITMAP bitmap{};
  if (GetObjectW(source, sizeof bitmap, &bitmap) == 0) {
    DeleteObject(source);
    return nullptr;
  }
  const int width = bitmap.bmWidth;
  const int height = bitmap.bmHeight;
  BITMAPINFO pixels_format{};
  pixels_format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  pixels_format.bmiHeader.biWidth = width;
  pixels_format.bmiHeader.biHeight = -height;  // top row first
  pixels_format.bmiHeader.biPlanes = 1;
  pixels_format.bmiHeader.biBitCount = 32;
  pixels_format.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) *
                                    static_cast<std::size_t>(height));
  HDC screen = GetDC(nullptr);
  GetDIBits(screen, source, 0, static_cast<UINT>(height), pixels.data(),
            &pixels_format, DIB_RGB_COLORS);
  DeleteObject(source);
  if (background && !pixels.empty()) {
    const std::uint32_t key = pixels[0] & 0xFFFFFF;
    const std::uint32_t colour = (GetRValue(*background) << 16) |
                                 (GetGValue(*background) << 8) |
                                 GetBValue(*background);
    for (std::uint32_t& pixel : pixels) {
      if ((pixel & 0xFFFFFF) == key) pixel = colour;
    }
  }
  // 24 bits a pixel: a static control shows such a bitmap as it is, where it
  // would copy one with an alpha channel.
  BITMAPINFO shown_format = pixels_format;
  shown_format.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP shown = CreateDIBSection(screen, &shown_format, DIB_RGB_COLORS, &bits,
                                   nullptr, 0);
  if (shown != nullptr) {
    SetDIBits(screen, shown, 0, static_cast<UINT>(height), pixels.data(),
              &pixels_format, DIB_RGB_COLORS);
  }
  ReleaseDC(nullptr, screen);
  return shown;
}

HICON LoadAppIcon(int width_metric, int height_metric) {
  return static_cast<HICON>(LoadImageW(
      Instance(), MAKEINTRESOURCEW(SROM_RES_APP_ICON), IMAGE_ICON,
      GetSystemMetrics(width_metric), GetSystemMetrics(height_metric), 0));
}

}  // namespace

Win32Pictures::~Win32Pictures() {
  for (HBITMAP bitmap : bitmaps_) {
    if (bitmap != nullptr) DeleteObject(bitmap);
  }
}

void Win32Pictures::Load(COLORREF window_colour) {
  for (std::size_t i = 0; i < kPictures.size(); ++i) {
    const PictureInfo& info = kPictures[i];
    auto* loaded = static_cast<HBITMAP>(LoadImageW(
        Instance(),
        MAKEINTRESOURCEW(SROM_RES_FIRST_PICTURE + static_cast<int>(i)),
        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    HBITMAP& bitmap = bitmaps_[static_cast<int>(info.id)];
    if (bitmap != nullptr) DeleteObject(bitmap);
    bitmap = loaded == nullptr
                 ? nullptr
                 : WithBackground(loaded, info.window_coloured_background
                                              ? std::optional(window_colour)
                                              : std::nullopt);
  }
}

AppIcons::AppIcons()
    : big_(LoadAppIcon(SM_CXICON, SM_CYICON)),
      small_(LoadAppIcon(SM_CXSMICON, SM_CYSMICON)) {}

AppIcons::~AppIcons() {
  if (big_ != nullptr) DestroyIcon(big_);
  if (small_ != nullptr) DestroyIcon(small_);
}

}  // namespace srom
