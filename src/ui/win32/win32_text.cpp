#include "ui/win32/win32_text.h"

namespace srom {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), n);
  return wide;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0,
                                    nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), n, nullptr,
                      nullptr);
  return utf8;
}

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return Utf8(text);
}

std::wstring WideWithCrLf(std::string_view text) {
  std::string shown;
  shown.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) shown += '\r';
    shown += text[i];
  }
  return Wide(shown);
}

std::wstring Win32Filter(std::string_view filter) {
  std::wstring result = Wide(filter);
  for (wchar_t& c : result) {
    if (c == L'|') c = L'\0';
  }
  // A filter whose last pattern lacks its '|' is ended here all the same.
  if (result.empty() || result.back() != L'\0') result.push_back(L'\0');
  result.push_back(L'\0');
  return result;
}

}  // namespace srom
