#include "ui/win32/win32_capture.h"

#include <cstdint>
#include <fstream>
#include <vector>

namespace srom {

bool SaveWindowPicture(HWND window, const std::filesystem::path& bmp) {
  // Everything painted first: the window, its frame and every control.
  RedrawWindow(
      window, nullptr, nullptr,
      RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;

  HDC source = GetWindowDC(window);
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = height;  // bottom row first, as BMP files keep it
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 24;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP picture =
      CreateDIBSection(source, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool copied = false;
  if (picture != nullptr) {
    HGDIOBJ old = SelectObject(memory, picture);
    copied = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
    GdiFlush();
    SelectObject(memory, old);
  }
  DeleteDC(memory);
  ReleaseDC(window, source);
  if (!copied) {
    if (picture != nullptr) DeleteObject(picture);
    return false;
  }

  const std::uint32_t row = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
  const std::uint32_t image = row * static_cast<std::uint32_t>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + image;
  format.bmiHeader.biSizeImage = image;
  std::ofstream out(bmp, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&format.bmiHeader),
            sizeof format.bmiHeader);
  out.write(static_cast<const char*>(bits), image);
  DeleteObject(picture);
  return static_cast<bool>(out);
}

}  // namespace srom
