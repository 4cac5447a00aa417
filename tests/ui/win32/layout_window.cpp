// The main window's controls and nothing else: the real Win32View, built from
// the layout table exactly as srom-tool.exe builds it, with no logic, no
// station and no device. Shown, it writes the wall-clock time of its first
// paint (nanoseconds since 1970) into the file SROM_FIRST_PAINT_FILE names
// and ends. The anchor for srom-tool.exe's start-up time in
// scripts/windows-first-paint.sh: what the tool takes beyond it is its own
// start-up work. Not a test.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "ui/win32/win32_view.h"

namespace {

std::wstring StampFile() {
  wchar_t name[32768];
  const DWORD n =
      GetEnvironmentVariableW(L"SROM_FIRST_PAINT_FILE", name, 32768);
  return n > 0 && n < 32768 ? std::wstring(name, n) : std::wstring();
}

std::int64_t UnixNanoseconds() {
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  const std::int64_t ticks =
      (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - 116444736000000000) * 100;
}

}  // namespace

int main() {
  srom::Win32View view;
  if (view.hwnd() == nullptr) return 1;
  const std::wstring file = StampFile();
  view.set_first_paint_hook([&view, &file] {
    if (!file.empty()) {
      std::ofstream(std::filesystem::path(file)) << UnixNanoseconds() << "\n";
    }
    // With no logic, the view closes at once.
    view.PostToWindowThread([&view] { view.CloseWindow(); });
  });
  view.Show();
  view.RunMessageLoop();
  return 0;
}
