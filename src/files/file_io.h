// Byte-exact file access shared by the settings file, the image files and the
// logs. Nothing here translates line ends: every byte written is the byte
// given, on every platform.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "ports/safe_replace.h"

namespace srom {

// The two folders the file operations use. `program_folder` is the
// executable's folder (ProgramFolder): every save and both logs go there.
// `working_folder` is the process's working folder: loading EEPROM.dat, the
// start-up existence tests and SROM.bin use it.
struct FileFolders {
  std::filesystem::path program_folder;
  std::filesystem::path working_folder;
};

// Appends `bytes` to the file at `path`, creating it when missing, in one
// write flushed to the disk. False when it cannot be opened, is not a plain
// file, or the write does not complete; the file is then cut back to its
// length before (a file the append created is removed), so that no torn line
// stays and nothing is glued to one later.
bool AppendToFile(const std::filesystem::path& path, std::string_view bytes);

// Opens a file for reading ("rb") only when it is a regular file: a pipe or
// a device under the name would block the open or never end, a folder cannot
// be read. Null otherwise, as when it cannot be opened.
std::FILE* OpenRegularFileForReading(const std::filesystem::path& path);

// The bytes of the regular file at `path`, read until they pass
// `max_bytes` (so that a file too long comes back longer than that, and no
// more of it is read). Nothing when there is no regular file there or it
// cannot be read.
std::optional<std::string> ReadRegularFile(
    const std::filesystem::path& path,
    std::size_t max_bytes = static_cast<std::size_t>(-1));

// Replaces the file at `path` with `bytes` through ReplaceFileSafely. On
// failure `why` (when given) takes the message that follows the tool's own
// text for that file and names the cause (SaveFailureText).
bool SaveFile(const std::filesystem::path& path, std::string_view bytes,
              std::string* why = nullptr);

// The message after a failed save, from ReplaceFileSafely's error text:
// `EEPROM.dat could not be saved in "<folder>": the disk is full.`
std::string SaveFailureText(const std::filesystem::path& path,
                            const std::string& replace_error);

// fopen() that takes a std::filesystem::path on every platform (wide paths on
// Windows). Always use binary modes: "rb", "wb", "ab".
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// Closes the file on scope exit.
struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != nullptr) std::fclose(file);
  }
};

// The size of a regular file, or nothing when there is no such file or it
// cannot be measured (a folder, for one).
std::optional<std::uintmax_t> RegularFileSize(
    const std::filesystem::path& path);

// True when `folder` holds an entry named `name`, letter case ignored, as the
// Windows file system compares names.
bool ExistsIgnoringCase(const std::filesystem::path& folder,
                        std::string_view name);

// True when `path` names anything at all, even a file that cannot be opened.
// An error while looking counts as present, so that a file is never taken for
// missing (and overwritten) because of it.
bool MayExist(const std::filesystem::path& path);

}  // namespace srom
