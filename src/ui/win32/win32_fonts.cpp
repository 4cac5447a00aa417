#include "ui/win32/win32_fonts.h"

#include <string>

#include "ui/layout.h"
#include "ui/win32/win32_text.h"

namespace srom {

WindowFonts::~WindowFonts() {
  for (const auto& [key, font] : fonts_) DeleteObject(font);
}

HFONT WindowFonts::Sized(int points, bool bold) {
  const int key = points * 2 + (bold ? 1 : 0);
  const auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second;
  LOGFONTW face{};
  const auto window_font =
      reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0));
  GetObjectW(window_font, sizeof face, &face);
  HDC dc = GetDC(window_);
  face.lfHeight = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(window_, dc);
  face.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  HFONT font = CreateFontIndirectW(&face);
  if (font != nullptr) fonts_[key] = font;
  return font;
}

void WindowFonts::FitCaption(ControlId id, HWND control, int points,
                             bool bold) {
  RECT box{};
  GetClientRect(control, &box);
  int room = box.right - box.left;
  // A check box draws its box and a gap before the caption.
  if (LayoutOf(id).kind == ControlKind::kCheckBox) {
    room -= GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE) * 2;
  }
  const std::wstring text = Wide(WindowText(control));
  HDC dc = GetDC(control);
  const int fitted = FittedPoints(points, room, [&](int size) {
    HGDIOBJ old = SelectObject(dc, Sized(size, bold));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()),
                          &extent);
    SelectObject(dc, old);
    return static_cast<int>(extent.cx);
  });
  ReleaseDC(control, dc);
  if (HFONT font = Sized(fitted, bold)) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
}

}  // namespace srom
