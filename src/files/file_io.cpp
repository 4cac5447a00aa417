#include "files/file_io.h"

#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace srom {
namespace fs = std::filesystem;

namespace {

// Pushes what the C library and the system hold for `file` to the disk: a
// log line is on the disk before the next unit starts.
bool SyncToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::FILE* OpenFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
  std::wstring wide_mode;
  for (const char* c = mode; *c != '\0'; ++c)
    wide_mode += static_cast<wchar_t>(*c);
  return _wfopen(path.c_str(), wide_mode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

bool AppendToFile(const fs::path& path, std::string_view bytes) {
  // A pipe under the log's name would block the open; a folder cannot take
  // a line.
  const FileKind kind = FileKindOf(path);
  if (kind != FileKind::kMissing && kind != FileKind::kRegular) return false;
  std::FILE* file = OpenFile(path, "ab");
  if (file == nullptr) return false;
  // Where a failed append is cut back to. A file that cannot be measured is
  // not written at all: a torn line could not be taken back.
  std::error_code error;
  const std::uintmax_t before = fs::file_size(path, error);
  if (error) {
    std::fclose(file);
    if (kind == FileKind::kMissing) fs::remove(path, error);
    return false;
  }
  bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(),
                                              file) == bytes.size();
  written = written && SyncToDisk(file);
  // Closing flushes what is still buffered; it may fail too.
  written = (std::fclose(file) == 0) && written;
  if (!written) {
    // A log this append started goes again, so that the next one starts it
    // afresh, with its header.
    if (kind == FileKind::kMissing) {
      fs::remove(path, error);
    } else {
      fs::resize_file(path, before, error);
    }
  }
  return written;
}

std::FILE* OpenRegularFileForReading(const fs::path& path) {
  if (FileKindOf(path) != FileKind::kRegular) return nullptr;
  return OpenFile(path, "rb");
}

std::optional<std::string> ReadRegularFile(const fs::path& path,
                                           std::size_t max_bytes) {
  std::FILE* file = OpenRegularFileForReading(path);
  if (file == nullptr) return std::nullopt;
  std::string bytes;
  char block[4096];
  std::size_t got = 0;
  while (bytes.size() <= max_bytes &&
         (got = std::fread(block, 1, sizeof block, file)) > 0) {
    bytes.append(block, got);
  }
  const bool read_ok = std::ferror(file) == 0;
  std::fclose(file);
  if (!read_ok) return std::nullopt;
  return bytes;
}

std::string SaveFailureText(const fs::path& path,
                            const std::string& replace_error) {
  // ReplaceFileSafely names the path before the cause; the folder is named
  // here instead.
  const std::string prefix = "Cannot save " + QuotedPath(path) + ": ";
  const std::string cause = replace_error.rfind(prefix, 0) == 0
                                ? replace_error.substr(prefix.size())
                                : replace_error;
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code error;
  const fs::path absolute = fs::absolute(folder, error);
  if (!error) folder = absolute.lexically_normal();
  // lexically_normal() keeps a trailing separator ("/work/."  -> "/work/").
  if (folder.has_relative_path() && folder.filename().empty()) {
    folder = folder.parent_path();
  }
  const std::u8string name = path.filename().u8string();
  return std::string(name.begin(), name.end()) + " could not be saved in " +
         QuotedPath(folder) + ": " + cause + ".";
}

bool SaveFile(const fs::path& path, std::string_view bytes, std::string* why) {
  std::string error;
  if (ReplaceFileSafely(path, bytes, &error)) return true;
  if (why != nullptr) *why = SaveFailureText(path, error);
  return false;
}

std::optional<std::uintmax_t> RegularFileSize(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error) || error) return std::nullopt;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) return std::nullopt;
  return size;
}

bool ExistsIgnoringCase(const fs::path& folder, std::string_view name) {
  std::error_code error;
  if (fs::exists(folder / name, error)) return true;
  const fs::path where = folder.empty() ? fs::path(".") : folder;
  for (fs::directory_iterator it(where, error), end; !error && it != end;
       it.increment(error)) {
    const std::u8string entry = it->path().filename().u8string();
    if (entry.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      same = AsciiLower(static_cast<char>(entry[i])) == AsciiLower(name[i]);
    }
    if (same) return true;
  }
  return false;
}

bool MayExist(const fs::path& path) {
  return FileKindOf(path) != FileKind::kMissing;
}

}  // namespace srom
