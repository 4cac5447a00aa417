// A picture of a window as the screen shows it, frame and caption included,
// saved as a BMP file: for the README's screenshots, also under wine's null
// display driver (BitBlt from the window's DC; PrintWindow draws nothing
// there).
#pragma once

#include <filesystem>

#include "ui/win32/windows_api.h"

namespace srom {

bool SaveWindowPicture(HWND window, const std::filesystem::path& bmp);

}  // namespace srom
