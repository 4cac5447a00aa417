#include "ports/file_read.h"

#include <cerrno>
#include <cstdio>

#include "ports/system_error_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace srom {
namespace fs = std::filesystem;

namespace {

FileRead Refused(ReadFault fault, std::uintmax_t cap, std::uintmax_t size = 0,
                 std::error_code error = {}) {
  FileRead read;
  read.fault = fault;
  read.cap = cap;
  read.size = size;
  read.error = error;
  return read;
}

#ifdef _WIN32

bool IsMissingError(DWORD code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

FileRead ReadOpened(HANDLE file, std::uintmax_t cap, LinkRule links) {
  if (GetFileType(file) != FILE_TYPE_DISK) {
    return Refused(ReadFault::kNotPlain, cap);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) {
    return Refused(ReadFault::kUnreadable, cap, 0, LastSystemError());
  }
  if (links == LinkRule::kRefuse &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return Refused(ReadFault::kLink, cap);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Refused(ReadFault::kFolder, cap);
  }
  const std::uintmax_t size =
      (static_cast<std::uintmax_t>(info.nFileSizeHigh) << 32) |
      info.nFileSizeLow;
  if (size > cap) return Refused(ReadFault::kTooLarge, cap, size);
  FileRead read;
  read.cap = cap;
  read.bytes.reserve(static_cast<std::size_t>(size));
  char block[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, block, sizeof block, &got, nullptr)) {
      return Refused(ReadFault::kUnreadable, cap, 0, LastSystemError());
    }
    if (got == 0) break;
    if (read.bytes.size() + got > cap) {
      return Refused(ReadFault::kTooLarge, cap, read.bytes.size() + got);
    }
    read.bytes.append(block, got);
  }
  return read;
}

#else

FileRead Judge(const struct stat& status, std::uintmax_t cap) {
  if (S_ISLNK(status.st_mode)) return Refused(ReadFault::kLink, cap);
  if (S_ISDIR(status.st_mode)) return Refused(ReadFault::kFolder, cap);
  if (!S_ISREG(status.st_mode)) return Refused(ReadFault::kNotPlain, cap);
  const auto size = static_cast<std::uintmax_t>(status.st_size);
  if (size > cap) return Refused(ReadFault::kTooLarge, cap, size);
  FileRead fits;
  fits.cap = cap;
  fits.size = size;
  return fits;
}

FileRead ReadOpened(int fd, std::uintmax_t cap) {
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    return Refused(ReadFault::kUnreadable, cap, 0, LastSystemError());
  }
  // Judged again on what was opened: the name may have been swapped since.
  FileRead read = Judge(status, cap);
  if (!read.ok()) return read;
  read.bytes.reserve(static_cast<std::size_t>(read.size));
  char block[65536];
  for (;;) {
    const ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Refused(ReadFault::kUnreadable, cap, 0, LastSystemError());
    }
    if (got == 0) break;
    const auto count = static_cast<std::size_t>(got);
    if (read.bytes.size() + count > cap) {
      return Refused(ReadFault::kTooLarge, cap, read.bytes.size() + count);
    }
    read.bytes.append(block, count);
  }
  read.size = read.bytes.size();
  return read;
}

#endif

}  // namespace

FileRead ReadPlainFile(const fs::path& path, std::uintmax_t cap,
                       LinkRule links) {
#ifdef _WIN32
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (IsMissingError(code)) return Refused(ReadFault::kMissing, cap);
    return Refused(
        ReadFault::kUnreadable, cap, 0,
        std::error_code(static_cast<int>(code), std::system_category()));
  }
  if (links == LinkRule::kRefuse &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return Refused(ReadFault::kLink, cap);
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Refused(ReadFault::kFolder, cap);
  }
  // Shared for deletion, so that a save renaming a new file over this one
  // meanwhile is not held up.
  const DWORD flags =
      FILE_ATTRIBUTE_NORMAL |
      (links == LinkRule::kRefuse ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (IsMissingError(code)) return Refused(ReadFault::kMissing, cap);
    return Refused(
        ReadFault::kUnreadable, cap, 0,
        std::error_code(static_cast<int>(code), std::system_category()));
  }
  FileRead read = ReadOpened(file, cap, links);
  CloseHandle(file);
  return read;
#else
  // Looked at before it is opened, so that a pipe or a device is never
  // opened at all, and a file past its cap is never read.
  struct stat status {};
  const int looked = links == LinkRule::kRefuse ? lstat(path.c_str(), &status)
                                                : stat(path.c_str(), &status);
  if (looked != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      return Refused(ReadFault::kMissing, cap);
    }
    return Refused(ReadFault::kUnreadable, cap, 0, LastSystemError());
  }
  if (FileRead judged = Judge(status, cap); !judged.ok()) return judged;
  // O_NONBLOCK: should a pipe be swapped in after the look, its open does
  // not wait for a writer; the look at what was opened then refuses it.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK |
                    (links == LinkRule::kRefuse ? O_NOFOLLOW : 0);
  int fd;
  do {
    fd = open(path.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == ELOOP && links == LinkRule::kRefuse) {
      return Refused(ReadFault::kLink, cap);
    }
    if (errno == ENOENT) return Refused(ReadFault::kMissing, cap);
    return Refused(ReadFault::kUnreadable, cap, 0, LastSystemError());
  }
  FileRead read = ReadOpened(fd, cap);
  close(fd);
  return read;
#endif
}

std::string SizeText(std::uintmax_t bytes) {
  constexpr std::uintmax_t kKiB = 1024;
  struct Unit {
    std::uintmax_t size;
    const char* name;
  };
  for (const Unit unit : {Unit{kKiB * kKiB * kKiB, "GiB"},
                          Unit{kKiB * kKiB, "MiB"}, Unit{kKiB, "KiB"}}) {
    if (bytes < unit.size) continue;
    if (bytes % unit.size == 0) {
      return std::to_string(bytes / unit.size) + " " + unit.name;
    }
    if (unit.size == kKiB) break;  // a few KiB are told in bytes
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s",
                  static_cast<double>(bytes) / static_cast<double>(unit.size),
                  unit.name);
    return text;
  }
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

std::string ReadFaultText(const FileRead& read) {
  switch (read.fault) {
    case ReadFault::kNone:
      return {};
    case ReadFault::kMissing:
      return "it does not exist";
    case ReadFault::kLink:
      return "it is a symbolic link, and a station's files must be plain "
             "files in its folder";
    case ReadFault::kFolder:
      return "it is a folder";
    case ReadFault::kNotPlain:
      return "it is not a plain file (a pipe or a device)";
    case ReadFault::kTooLarge:
      return "it is " + SizeText(read.size) + ", more than the " +
             SizeText(read.cap) + " such a file may hold";
    case ReadFault::kUnreadable:
      return DescribeSystemError(read.error);
  }
  return {};
}

}  // namespace srom
