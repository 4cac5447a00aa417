// Text at the Win32 boundary: the core speaks UTF-8, the wide Win32 calls
// speak UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace srom {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The file dialog's filter, "display|pattern|...", as GetOpenFileName wants
// it: each text and pattern ended by a zero, the whole by a second one.
std::wstring Win32Filter(std::string_view filter);

}  // namespace srom
