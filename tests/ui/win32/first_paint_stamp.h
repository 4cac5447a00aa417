// The stamp the Windows start-up yardsticks leave at their first paint: the
// wall-clock time (nanoseconds since 1970) written into the file that
// SROM_FIRST_PAINT_FILE names, for scripts/windows-first-paint.sh. Nothing
// without that variable.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace srom::test {

inline void WriteFirstPaintStamp() {
  wchar_t name[32768];
  const DWORD n =
      GetEnvironmentVariableW(L"SROM_FIRST_PAINT_FILE", name, 32768);
  if (n == 0 || n >= 32768) return;
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  const std::int64_t ticks =
      (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  std::ofstream(std::filesystem::path(std::wstring(name, n)))
      << (ticks - 116444736000000000) * 100 << "\n";
}

}  // namespace srom::test
