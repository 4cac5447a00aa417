#include "files/file_io.h"

#include <system_error>

#include "ports/fd_write.h"
#include "ports/file_kind.h"
#include "ports/system_error_text.h"

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace srom {
namespace fs = std::filesystem;

namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The folder of `path` as messages name it: absolute and without "." parts.
fs::path FolderOf(const fs::path& path) {
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code error;
  const fs::path absolute = fs::absolute(folder, error);
  if (!error) folder = absolute.lexically_normal();
  // lexically_normal() keeps a trailing separator ("/work/."  -> "/work/").
  if (folder.has_relative_path() && folder.filename().empty()) {
    folder = folder.parent_path();
  }
  return folder;
}

std::string FileName(const fs::path& path) {
  const std::u8string name = path.filename().u8string();
  return std::string(name.begin(), name.end());
}

bool AppendFailed(const fs::path& path, const std::string& cause,
                  std::string* why) {
  if (why != nullptr) {
    *why = FileName(path) + " could not be written in " +
           QuotedPath(FolderOf(path)) + ": " + cause + ".";
  }
  return false;
}

constexpr char kLinkCause[] =
    "it is a symbolic link, and the tool never writes through one. Remove "
    "the link; a station's files must be plain files in its folder";
constexpr char kNotPlainCause[] = "it is not a plain file (a pipe or a device)";

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

bool AppendToFile(const fs::path& path, std::string_view bytes,
                  std::string* why) {
  // A link under a log's name would send the line into whatever it leads
  // to; a pipe would block the open; a folder cannot take a line.
  const FileKind kind = EntryKindOf(path);
  if (kind == FileKind::kLink) return AppendFailed(path, kLinkCause, why);
  if (kind == FileKind::kFolder) {
    return AppendFailed(path, "it is a folder", why);
  }
  if (kind != FileKind::kMissing && kind != FileKind::kRegular) {
    return AppendFailed(path, kNotPlainCause, why);
  }
  const bool created = kind == FileKind::kMissing;
#ifdef _WIN32
  std::FILE* file = OpenFile(path, "ab");
  if (file == nullptr) {
    return AppendFailed(path, DescribeSystemError(LastSystemError()), why);
  }
  // Where a failed append is cut back to. A file that cannot be measured is
  // not written at all: a torn line could not be taken back.
  std::error_code error;
  const std::uintmax_t before = fs::file_size(path, error);
  if (error) {
    std::fclose(file);
    if (created) fs::remove(path, error);
    return AppendFailed(path, DescribeSystemError(error), why);
  }
  bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(),
                                              file) == bytes.size();
  // A log line is on the disk before the next unit starts.
  written = written && std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
  const std::error_code cause = LastSystemError();
  // Closing flushes what is still buffered; it may fail too.
  written = (std::fclose(file) == 0) && written;
  if (!written) {
    // A log this append started goes again, so that the next one starts it
    // afresh, with its header.
    if (created) {
      fs::remove(path, error);
    } else {
      fs::resize_file(path, before, error);
    }
    return AppendFailed(path, DescribeSystemError(cause), why);
  }
  return true;
#else
  // O_NOFOLLOW: a link planted since the look above is refused, never
  // followed. O_NONBLOCK: a pipe planted meanwhile does not hang the open.
  int fd;
  do {
    fd = open(
        path.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
        0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == ELOOP) return AppendFailed(path, kLinkCause, why);
    if (errno == ENXIO) return AppendFailed(path, kNotPlainCause, why);
    return AppendFailed(path, DescribeSystemError(LastSystemError()), why);
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return AppendFailed(path, kNotPlainCause, why);
  }
  // Where a failed append is cut back to.
  const off_t before = status.st_size;
  bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
  std::error_code cause = LastSystemError();
  if (!written) {
    // A log this append started goes again, so that the next one starts it
    // afresh, with its header.
    if (created) {
      unlink(path.c_str());
    } else {
      (void)!ftruncate(fd, before);
    }
  }
  // A network file system reports a failed write only on close.
  if (close(fd) != 0 && written) {
    cause = LastSystemError();
    written = false;
    if (created) {
      unlink(path.c_str());
    } else {
      (void)!truncate(path.c_str(), before);
    }
  }
  if (!written) return AppendFailed(path, DescribeSystemError(cause), why);
  return true;
#endif
}

std::optional<std::string> ReadRegularFile(const fs::path& path,
                                           std::uintmax_t cap,
                                           std::string* why) {
  FileRead read = ReadPlainFile(path, cap, LinkRule::kRefuse);
  if (!read.ok()) {
    if (why != nullptr) *why = ReadFaultText(read);
    return std::nullopt;
  }
  return std::move(read.bytes);
}

std::string ReadFailureText(const fs::path& path, const std::string& cause) {
  return FileName(path) + " in " + QuotedPath(FolderOf(path)) +
         " cannot be read: " + cause + ".";
}

std::string SaveFailureText(const fs::path& path,
                            const std::string& replace_error) {
  // ReplaceFileSafely names the path before the cause; the folder is named
  // here instead.
  const std::string prefix = "Cannot save " + QuotedPath(path) + ": ";
  const std::string cause = replace_error.rfind(prefix, 0) == 0
                                ? replace_error.substr(prefix.size())
                                : replace_error;
  return FileName(path) + " could not be saved in " +
         QuotedPath(FolderOf(path)) + ": " + cause + ".";
}

bool SaveFile(const fs::path& path, std::string_view bytes, std::string* why) {
  std::string error;
  if (ReplaceFileSafely(path, bytes, &error)) return true;
  if (why != nullptr) *why = SaveFailureText(path, error);
  return false;
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
  return EntryKindOf(path) != FileKind::kMissing;
}

}  // namespace srom
