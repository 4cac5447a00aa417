// Text at the Win32 boundary: the core speaks UTF-8, the wide Win32 calls
// speak UTF-16.
#pragma once

#include <string>
#include <string_view>

#include "ui/win32/windows_api.h"

namespace srom {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// A window's text (a control's caption or contents, a window's title).
std::string WindowText(HWND window);

// A text for a multi-line edit box: message texts end their lines with
// CR LF already; a lone LF becomes one too, since an edit box breaks lines
// only there.
std::wstring WideWithCrLf(std::string_view text);

// The file dialog's filter, "display|pattern|...", as GetOpenFileName wants
// it: each text and pattern ended by a zero, the whole by a second one.
std::wstring Win32Filter(std::string_view filter);

}  // namespace srom
