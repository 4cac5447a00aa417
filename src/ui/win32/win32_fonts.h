// The window's font at other sizes on Win32 (the countdown's figures, the
// verdict line, a caption made smaller to fit), each size made once, and
// captions fitted to their controls.
#pragma once

#include <map>

#include "ui/control_id.h"
#include "ui/win32/windows_api.h"

namespace srom {

class WindowFonts {
 public:
  WindowFonts() = default;
  ~WindowFonts();
  WindowFonts(const WindowFonts&) = delete;
  WindowFonts& operator=(const WindowFonts&) = delete;

  // The window whose font the sizes are made from; set once it exists.
  void set_window(HWND window) { window_ = window; }

  // The window's font at `points`, bold or not; null when the system refused
  // it. The fonts live as long as this.
  HFONT Sized(int points, bool bold);

  // Gives control `id` its caption in the largest size up to `points` at
  // which the whole caption fits it (kSmallestFittedPoints at the least).
  void FitCaption(ControlId id, HWND control, int points, bool bold);

 private:
  HWND window_ = nullptr;
  // By size and weight.
  std::map<int, HFONT> fonts_;
};

}  // namespace srom
