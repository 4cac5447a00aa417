#include <windows.h>

#include "ports/replace_native.h"
#include "ports/system_error_text.h"

namespace srom::replace_native {
namespace fs = std::filesystem;

bool WriteTempFile(const fs::path& temp, std::string_view bytes,
                   const fs::file_status&, std::error_code* error) {
  const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = LastSystemError();
    return false;
  }
  bool ok = true;
  while (ok && !bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(
        bytes.size() < (1u << 30) ? bytes.size() : (1u << 30));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data(), chunk, &written, nullptr) && written > 0;
    if (ok) bytes.remove_prefix(written);
  }
  ok = ok && FlushFileBuffers(file);
  if (!ok) *error = LastSystemError();
  if (!CloseHandle(file) && ok) {
    *error = LastSystemError();
    ok = false;
  }
  if (!ok) DeleteFileW(temp.c_str());
  return ok;
}

bool RenameOver(const fs::path& temp, const fs::path& target,
                std::error_code* error) {
  // A virus scanner or indexer opening the new or the old file for a
  // moment makes the move fail; it is tried again for half a second before
  // the save is given up.
  constexpr int kAttempts = 20;
  for (int attempt = 1;; ++attempt) {
    // Write-through: the call returns once the move is on the disk, which
    // Windows offers instead of flushing the folder.
    if (MoveFileExW(temp.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD cause = GetLastError();
    const bool passing = cause == ERROR_ACCESS_DENIED ||
                         cause == ERROR_SHARING_VIOLATION ||
                         cause == ERROR_LOCK_VIOLATION;
    if (!passing || attempt == kAttempts) {
      *error = std::error_code(static_cast<int>(cause), std::system_category());
      return false;
    }
    Sleep(25);
  }
}

bool IsNameTaken(const std::error_code& error) {
  return error.category() == std::system_category() &&
         (error.value() == ERROR_FILE_EXISTS ||
          error.value() == ERROR_ALREADY_EXISTS);
}

bool IsMissingFolder(const std::error_code& error) {
  return error.category() == std::system_category() &&
         (error.value() == ERROR_PATH_NOT_FOUND ||
          error.value() == ERROR_FILE_NOT_FOUND);
}

bool FlushFolder(const fs::path&, std::error_code*) { return true; }

}  // namespace srom::replace_native
