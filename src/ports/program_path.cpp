#include "ports/program_path.h"

#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace srom {

std::optional<std::filesystem::path> RunningProgramPath() {
#ifdef _WIN32
  // The buffer grows until the whole path fits: a path cut at a fixed length
  // would name another folder, and the files would go there.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(),
                                       static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      return std::filesystem::path(buffer);
    }
    if (buffer.size() >= 32768) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
#else
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  return path;
#endif
}

std::filesystem::path ProgramFolderOf(const std::filesystem::path& program) {
  return program.parent_path();
}

}  // namespace srom
