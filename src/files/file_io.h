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

#include "ports/file_read.h"
#include "ports/safe_replace.h"
#include "ports/station_files.h"

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
// write flushed to the disk. False when it cannot be opened, is a symbolic
// link (a log is never written through one), is not a plain file, or the
// write does not complete; the file is then cut back to its length before (a
// file the append created is removed), so that no torn line stays and
// nothing is glued to one later. `why` (when given) then takes a message
// naming the file, its folder and the cause:
// `Serial-MAC.log could not be written in "<folder>": it is a symbolic link...`
bool AppendToFile(const std::filesystem::path& path, std::string_view bytes,
                  std::string* why = nullptr);

// The whole of a station's own file, read as ReadPlainFile reads it: never
// through a symbolic link, never a pipe or a device, and not at all when it
// is larger than `cap` (one of the caps of ports/station_files.h). Nothing
// when it cannot be read; `why` (when given) then takes the cause, in words
// that follow "...: " (ReadFaultText).
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path,
                                           std::uintmax_t cap,
                                           std::string* why = nullptr);

// The message after a failed read, naming the file, its folder and the
// cause (ReadFaultText): `EEPROM.dat in "<folder>" cannot be read: it is a
// folder.`
std::string ReadFailureText(const std::filesystem::path& path,
                            const std::string& cause);

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

// True when `folder` holds an entry named `name`, letter case ignored, as the
// Windows file system compares names.
bool ExistsIgnoringCase(const std::filesystem::path& folder,
                        std::string_view name);

// True when `path` names anything at all, even a file that cannot be opened
// or a symbolic link that leads nowhere. An error while looking counts as
// present, so that a file is never taken for missing (and overwritten)
// because of it.
bool MayExist(const std::filesystem::path& path);

}  // namespace srom
