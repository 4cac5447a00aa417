// The window's icon and pictures on Win32, from the executable's resources:
// each picture a bitmap as the window shows it, its plain background painted
// in the window's colour where picture_ids.h says so.
#pragma once

#include <array>

#include "ui/picture_ids.h"
#include "ui/win32/windows_api.h"

namespace srom {

class Win32Pictures {
 public:
  Win32Pictures() = default;
  ~Win32Pictures();
  Win32Pictures(const Win32Pictures&) = delete;
  Win32Pictures& operator=(const Win32Pictures&) = delete;

  // Loads every picture of kPictures (again), the window-coloured ones with
  // their top-left pixel's colour made `window_colour`.
  void Load(COLORREF window_colour);
  // A loaded picture; null before Load or when its resource is missing.
  HBITMAP get(PictureId id) const { return bitmaps_[static_cast<int>(id)]; }

 private:
  std::array<HBITMAP, kPictures.size()> bitmaps_{};
};

// The program's icon in the system's large and small sizes.
class AppIcons {
 public:
  AppIcons();
  ~AppIcons();
  AppIcons(const AppIcons&) = delete;
  AppIcons& operator=(const AppIcons&) = delete;

  HICON big_icon() const { return big_; }
  HICON small_icon() const { return small_; }

 private:
  HICON big_ = nullptr;
  HICON small_ = nullptr;
};

}  // namespace srom
