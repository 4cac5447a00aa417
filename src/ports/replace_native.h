// The system's own half of a safe replacement: writing the temporary file,
// renaming it over the target and making the rename durable. One file for
// POSIX, one for Windows.
#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

namespace srom::replace_native {

// Creates the temporary file exclusively (never through whatever stands
// under its name), writes and flushes it; a replaced POSIX file's mode comes
// from `old_status`. On failure the file is gone again and `error` says why.
bool WriteTempFile(const std::filesystem::path& temp, std::string_view bytes,
                   const std::filesystem::file_status& old_status,
                   std::error_code* error);

bool RenameOver(const std::filesystem::path& temp,
                const std::filesystem::path& target, std::error_code* error);

// Whether creating the temporary file failed because its name is taken, or
// because its folder is missing.
bool IsNameTaken(const std::error_code& error);
bool IsMissingFolder(const std::error_code& error);

// Makes the rename itself durable where the system needs a flush of the
// folder for it.
bool FlushFolder(const std::filesystem::path& folder, std::error_code* error);

}  // namespace srom::replace_native
