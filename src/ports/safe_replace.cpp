#include "ports/safe_replace.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>

#include "ports/process_identity.h"

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

using NativeString = fs::path::string_type;
using NativeChar = NativeString::value_type;

// The target's name is cut to this many characters in the temporary name, so
// that a long name still leaves room for the pid and the random part.
constexpr std::size_t kMaxNameInTempName = 64;
constexpr int kTempNameAttempts = 16;

std::string DescribeErrno(int code) {
  switch (code) {
    case ENOSPC:
      return "the disk is full";
#ifdef EDQUOT
    case EDQUOT:
      return "the disk quota is used up";
#endif
    case EFBIG:
      return "the file would grow beyond the size the system allows";
    case EROFS:
      return "the folder is read-only";
    case EACCES:
    case EPERM:
      return "permission denied";
    case EISDIR:
      return "it is a folder";
    case ENOTDIR:
      return "a part of the path is not a folder";
    case ENOENT:
      return "the file or its folder does not exist";
#ifdef ELOOP
    case ELOOP:
      return "a symbolic link is in the way, or links loop";
#endif
    case ENAMETOOLONG:
      return "the name is too long";
    case EIO:
      return "the disk reported an input/output error";
    case EMFILE:
    case ENFILE:
      return "too many files are open";
    case EBUSY:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
      return "the file is in use";
    case EEXIST:
      return "the name is taken already";
    case ENXIO:
    case ENODEV:
      return "the device is not there";
    default:
      return "system error " + std::to_string(code) + " (" +
             std::generic_category().message(code) + ")";
  }
}

#ifdef _WIN32
std::string DescribeWin32Error(DWORD code) {
  switch (code) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "the disk is full";
    case ERROR_WRITE_PROTECT:
      return "the folder is read-only";
    case ERROR_ACCESS_DENIED:
      return "permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "another program has the file open";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "the file or its folder does not exist";
    case ERROR_DIRECTORY:
      return "a part of the path is not a folder";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return "the name is taken already";
    case ERROR_FILENAME_EXCED_RANGE:
      return "the name is too long";
    case ERROR_INVALID_NAME:
      return "the name is not valid";
    case ERROR_NOT_READY:
      return "the drive is not ready";
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
      return "the disk reported an input/output error";
    case ERROR_TOO_MANY_OPEN_FILES:
      return "too many files are open";
    default:
      return "Windows error " + std::to_string(code);
  }
}
#endif

// The target's own name in the temporary name, shortened to keep the whole
// name within the file system's limit. A UTF-16 pair is never split.
NativeString NamePart(const fs::path& target) {
  NativeString name = target.filename().native();
  if (name.size() > kMaxNameInTempName) {
    name.resize(kMaxNameInTempName);
    if constexpr (sizeof(NativeChar) == 2) {
      const auto last = static_cast<std::uint16_t>(name.back());
      if (last >= 0xD800 && last <= 0xDBFF) name.pop_back();
    }
  }
  return name;
}

std::uint32_t RandomTag() {
  // Seeded once per thread from the system; the pid in the name already
  // separates processes, this separates attempts and threads.
  thread_local std::mt19937 engine = [] {
    std::random_device device;
    const auto now = static_cast<std::uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(), device(), now};
    return std::mt19937(seed);
  }();
  return static_cast<std::uint32_t>(engine());
}

template <typename Char>
std::basic_string<Char> Widen(std::string_view ascii) {
  return std::basic_string<Char>(ascii.begin(), ascii.end());
}

// `.<name>.<pid>-<start>.<8 hex digits>.tmp`: hidden on POSIX, unique per
// process and attempt, and recognisable for RemoveStaleTempFiles, which
// tells from the pid and the start whether its writer still runs. Where the
// system does not tell the start, `.<name>.<pid>.<8 hex digits>.tmp`.
fs::path TempPathBeside(const fs::path& target) {
  char suffix[64];
  const std::optional<std::uint64_t> start = CurrentProcessStartToken();
  if (start) {
    std::snprintf(suffix, sizeof suffix, ".%lu-%llu.%08x.tmp", CurrentPid(),
                  static_cast<unsigned long long>(*start),
                  static_cast<unsigned>(RandomTag()));
  } else {
    std::snprintf(suffix, sizeof suffix, ".%lu.%08x.tmp", CurrentPid(),
                  static_cast<unsigned>(RandomTag()));
  }
  // Appended piece by piece: GCC 12 warns falsely about `literal + string`.
  NativeString name(1, '.');
  name += NamePart(target);
  name += Widen<NativeChar>(suffix);
  return target.parent_path() / name;
}

bool IsHexDigit(NativeChar c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

bool IsDecimalDigit(NativeChar c) { return c >= '0' && c <= '9'; }

// The writer a temporary name names: its pid, and its start where the name
// carries one.
struct TempWriter {
  unsigned long pid = 0;
  std::optional<std::uint64_t> start;
};

// The digits of name[from, to) as a number; nothing when there are none, a
// character is not a digit or the number does not fit.
std::optional<std::uint64_t> DecimalAt(const NativeString& name,
                                       std::size_t from, std::size_t to) {
  if (from >= to || to - from > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (std::size_t i = from; i < to; ++i) {
    if (!IsDecimalDigit(name[i])) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(name[i] - '0');
  }
  return value;
}

// The writer of a temporary file named as TempPathBeside names them; nothing
// for any other name.
std::optional<TempWriter> TempNameWriter(const NativeString& name) {
  const NativeString ending = Widen<NativeChar>(".tmp");
  constexpr std::size_t kHexDigits = 8;
  // A dot, a name character, a dot, a pid digit, a dot, the hex digits.
  if (name.size() < 1 + 1 + 1 + 1 + 1 + kHexDigits + ending.size() ||
      name[0] != '.') {
    return std::nullopt;
  }
  if (name.compare(name.size() - ending.size(), ending.size(), ending) != 0) {
    return std::nullopt;
  }
  std::size_t end = name.size() - ending.size();  // one past the hex digits
  for (std::size_t i = end - kHexDigits; i < end; ++i) {
    if (!IsHexDigit(name[i])) return std::nullopt;
  }
  end -= kHexDigits;
  if (name[end - 1] != '.') return std::nullopt;
  --end;  // one past the writer's field: "<pid>" or "<pid>-<start>"
  std::size_t field = end;
  while (field > 0 && name[field - 1] != '.') --field;
  // The dot before the field, and at least one name character before it.
  if (field < 3) return std::nullopt;
  std::size_t pid_end = field;
  while (pid_end < end && name[pid_end] != '-') ++pid_end;
  TempWriter writer;
  const auto pid = DecimalAt(name, field, pid_end);
  if (!pid || *pid > 0xFFFFFFFFu) return std::nullopt;
  writer.pid = static_cast<unsigned long>(*pid);
  if (pid_end < end) {
    writer.start = DecimalAt(name, pid_end + 1, end);
    if (!writer.start) return std::nullopt;
  }
  return writer;
}

#ifdef _WIN32
bool IsReparsePoint(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
#endif

#ifdef _WIN32

// Creates the temporary file, writes and flushes it. On failure the file is
// gone again and `error` says why.
bool WriteTempFile(const fs::path& temp, std::string_view bytes,
                   std::error_code* error) {
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

#else

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;  // no progress and no error: nothing more fits
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool WriteTempFile(const fs::path& temp, std::string_view bytes,
                   const fs::file_status& old_status, std::error_code* error) {
  // O_EXCL and O_NOFOLLOW: whatever stands under the name already, a file or
  // a link planted there, is never opened or followed.
  const int fd = open(
      temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = LastSystemError();
    return false;
  }
  if (fs::is_regular_file(old_status)) {
    // The mode is the old file's own; a file system that refuses the change
    // (FAT) keeps its default, which is no reason to lose the save.
    (void)fchmod(fd, static_cast<mode_t>(old_status.permissions()) & 07777);
  }
  bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
  if (!ok) *error = LastSystemError();
  // A network file system reports a failed write only on close.
  if (close(fd) != 0 && ok) {
    *error = LastSystemError();
    ok = false;
  }
  if (!ok) unlink(temp.c_str());
  return ok;
}

bool RenameOver(const fs::path& temp, const fs::path& target,
                std::error_code* error) {
  if (rename(temp.c_str(), target.c_str()) == 0) return true;
  *error = LastSystemError();
  return false;
}

bool IsNameTaken(const std::error_code& error) {
  return error == std::errc::file_exists;
}

// Creating a new file fails with ENOENT only when its folder is missing.
bool IsMissingFolder(const std::error_code& error) {
  return error == std::errc::no_such_file_or_directory;
}

// Makes the rename itself durable: without it a power cut can bring the old
// file (and an old MAC counter) back although the save reported success.
bool FlushFolder(const fs::path& folder, std::error_code* error) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;  // nothing to flush through; the rename stands
  bool ok = fsync(fd) == 0;
  // Some file systems cannot flush a folder at all; that is no failure.
  if (!ok && (errno == EINVAL || errno == ENOTSUP)) ok = true;
  if (!ok) *error = LastSystemError();
  close(fd);
  return ok;
}

#endif

bool Fail(std::string* error, const fs::path& path, const std::string& why) {
  if (error != nullptr) *error = "Cannot save " + QuotedPath(path) + ": " + why;
  return false;
}

}  // namespace

std::string DescribeSystemError(std::error_code error) {
#ifdef _WIN32
  if (error.category() == std::system_category()) {
    return DescribeWin32Error(static_cast<DWORD>(error.value()));
  }
#endif
  return DescribeErrno(error.value());
}

std::error_code LastSystemError() {
#ifdef _WIN32
  return std::error_code(static_cast<int>(GetLastError()),
                         std::system_category());
#else
  return std::error_code(errno, std::generic_category());
#endif
}

std::string QuotedPath(const fs::path& path) {
  const std::u8string utf8 = path.u8string();
  std::string quoted(1, '"');
  quoted.append(utf8.begin(), utf8.end());
  return quoted += '"';
}

bool ReplaceFileSafely(const fs::path& path, std::string_view bytes,
                       std::string* error) {
  std::error_code cause;
  // The file itself is replaced, never what a link under its name leads to;
  // the rename would put a plain file in the link's place, so a link is
  // refused before anything is written, and the operator told its name.
  if (EntryKindOf(path) == FileKind::kLink) {
    return Fail(error, path,
                "it is a symbolic link, and the tool never writes through "
                "one. Remove the link, or name the file it leads to");
  }
  const fs::path& target = path;
  const fs::file_status old_status = fs::status(target, cause);
  if (cause && old_status.type() != fs::file_type::not_found) {
    return Fail(error, path, DescribeSystemError(cause));
  }
  if (fs::is_directory(old_status)) {
    return Fail(error, path, "it is a folder");
  }
  if (fs::exists(old_status) && !fs::is_regular_file(old_status)) {
    return Fail(error, path, "it is not a plain file (a pipe or a device)");
  }

  fs::path temp;
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    temp = TempPathBeside(target);
    cause.clear();
#ifdef _WIN32
    if (WriteTempFile(temp, bytes, &cause)) break;
#else
    if (WriteTempFile(temp, bytes, old_status, &cause)) break;
#endif
    if (!IsNameTaken(cause)) break;
  }
  if (cause) {
    if (IsMissingFolder(cause)) {
      fs::path folder = target.parent_path();
      if (folder.empty()) folder = ".";
      return Fail(error, path,
                  "the folder " + QuotedPath(folder) + " does not exist");
    }
    return Fail(error, path, DescribeSystemError(cause));
  }
  if (!RenameOver(temp, target, &cause)) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return Fail(error, path, DescribeSystemError(cause));
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  if (!FlushFolder(folder, &cause)) {
    return Fail(error, path,
                "the new contents may not have reached the disk: " +
                    DescribeSystemError(cause));
  }
  return true;
}

bool IsTempFileName(const fs::path::string_type& name) {
  return TempNameWriter(name).has_value();
}

void RemoveStaleTempFiles(const fs::path& folder) {
  std::error_code error;
  const fs::path where = folder.empty() ? fs::path(".") : folder;
  for (fs::directory_iterator it(where, error), end; !error && it != end;
       it.increment(error)) {
    const auto writer = TempNameWriter(it->path().filename().native());
    if (!writer) continue;
    // A writer that still runs is midway through its save: a sim command
    // beside a running station, the panel, another thread of this program.
    if (!ProcessHasEnded(writer->pid, writer->start)) continue;
    std::error_code ignored;
    const fs::file_status status = fs::symlink_status(it->path(), ignored);
    // remove() takes a link itself away, never what it points to.
    if (fs::is_regular_file(status) || fs::is_symlink(status)) {
      fs::remove(it->path(), ignored);
    }
  }
}

FileKind EntryKindOf(const fs::path& path) {
#ifdef _WIN32
  if (IsReparsePoint(path)) return FileKind::kLink;
  return FileKindOf(path);
#else
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? FileKind::kMissing
                                               : FileKind::kOther;
  }
  if (S_ISLNK(status.st_mode)) return FileKind::kLink;
  if (S_ISREG(status.st_mode)) return FileKind::kRegular;
  if (S_ISDIR(status.st_mode)) return FileKind::kFolder;
  return FileKind::kOther;
#endif
}

FileKind FileKindOf(const fs::path& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  switch (status.type()) {
    case fs::file_type::not_found:
      return FileKind::kMissing;
    case fs::file_type::regular:
      return error ? FileKind::kOther : FileKind::kRegular;
    case fs::file_type::directory:
      return error ? FileKind::kOther : FileKind::kFolder;
    default:
      return FileKind::kOther;
  }
}

}  // namespace srom
