#include "ports/station_lock.h"

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <system_error>
#include <utility>

#include "ports/file_kind.h"
#include "ports/clock.h"
#include "ports/process_identity.h"
#include "ports/system_error_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// The lock file is never deleted, not even by its holder on release. Deleting
// it would race: a second program may have opened the file just before the
// delete and lock it once it is free, while a third creates a new file under
// the same name and locks that one; both would then believe they hold the
// station. A file that always stays is the one thing all of them lock.

namespace srom {
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const HANDLE kNoHandle = INVALID_HANDLE_VALUE;
#else
constexpr int kNoHandle = -1;
#endif

// What the holder writes into the lock file and a refused program reads back
// for its message: "<pid> <YYYY-MM-DD HH:MM:SS>\n".
struct Holder {
  unsigned long pid = 0;
  std::string since;
};

constexpr std::size_t kHolderTextMax = 64;

std::string HolderText() {
  const LocalTime now = SystemClock().Now();
  const unsigned long pid = CurrentPid();
  char text[kHolderTextMax];
  std::snprintf(text, sizeof text, "%lu %04d-%02d-%02d %02d:%02d:%02d\n", pid,
                now.year, now.month, now.day, now.hour, now.minute, now.second);
  return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The holder named in the lock file, or nothing when the text is not one a
// holder wrote (empty while it is being written, or edited by hand).
std::optional<Holder> ParseHolder(std::string_view text) {
  Holder holder;
  std::size_t i = 0;
  for (; i < text.size() && IsDigit(text[i]) && i < 10; ++i) {
    holder.pid = holder.pid * 10 + static_cast<unsigned long>(text[i] - '0');
  }
  if (i == 0 || holder.pid == 0 || i >= text.size() || text[i] != ' ') {
    return std::nullopt;
  }
  const std::string_view since = text.substr(i + 1);
  constexpr std::string_view kShape = "0000-00-00 00:00:00\n";
  if (since.size() != kShape.size()) return std::nullopt;
  for (std::size_t k = 0; k < kShape.size(); ++k) {
    if (kShape[k] == '0' ? !IsDigit(since[k]) : since[k] != kShape[k]) {
      return std::nullopt;
    }
  }
  holder.since = std::string(since.substr(0, since.size() - 1));
  return holder;
}

std::string InUseMessage(const fs::path& folder,
                         const std::optional<Holder>& holder) {
  std::string text = "The station folder " + QuotedPath(folder) +
                     " is in use by another srom-tool or srom-cli";
  // A pid read back from the file is named only while that process still
  // runs: the text may be a dead holder's if the new one has not written
  // yet.
  if (holder && ProcessIsRunning(holder->pid)) {
    text += " (process " + std::to_string(holder->pid) + ", since " +
            holder->since + ")";
  }
  return text +
         ". Close it first; one station folder serves one program at a time.";
}

// Writing the holder's pid through a planted link would overwrite whatever
// the link points to.
std::string LinkRefusal(const fs::path& folder, std::string_view name) {
  return "The station folder " + QuotedPath(folder) +
         " cannot be used: its \"" + std::string(name) +
         "\" is a symbolic link. Remove the link; the lock file must be a "
         "plain file.";
}

std::string CannotUseMessage(const fs::path& folder, std::string_view name,
                             std::error_code cause) {
  const std::string where = "The station folder " + QuotedPath(folder);
  const std::string lock_file = "\"" + std::string(name) + "\"";
#ifdef _WIN32
  const bool read_only = cause.category() == std::system_category() &&
                         cause.value() == ERROR_WRITE_PROTECT;
#else
  const bool read_only = cause == std::errc::read_only_file_system;
  if (cause == std::errc::too_many_symbolic_link_levels) {
    return LinkRefusal(folder, name);
  }
#endif
  if (read_only) {
    return where +
           " is read-only. Every unit's MAC address is saved there, so the "
           "station needs a folder it can write to.";
  }
  return where + " cannot be locked: " + DescribeSystemError(cause) + ".";
}

void Refuse(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
}

#ifdef _WIN32

// Windows locks are mandatory: a locked byte cannot be read by anyone else.
// The lock therefore covers one byte far beyond the holder's text, which
// stays readable for the refusal message. Locking beyond the end of a file
// is allowed.
constexpr DWORD kLockOffsetHigh = 1;  // 4 GiB

OVERLAPPED LockRegion() {
  OVERLAPPED region{};
  region.Offset = 0;
  region.OffsetHigh = kLockOffsetHigh;
  return region;
}

std::optional<Holder> ReadHolder(HANDLE file) {
  char text[kHolderTextMax] = {};
  OVERLAPPED at_start{};
  DWORD read = 0;
  if (!ReadFile(file, text, sizeof text - 1, &read, &at_start)) {
    return std::nullopt;
  }
  return ParseHolder(std::string_view(text, read));
}

// The holder's text only feeds a message; a failure to write it (a full
// disk) costs the pid in another program's message, never the lock.
void WriteHolder(HANDLE file) {
  const std::string text = HolderText();
  LARGE_INTEGER start{};
  DWORD written = 0;
  if (SetFilePointerEx(file, start, nullptr, FILE_BEGIN) &&
      SetEndOfFile(file)) {
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
              nullptr);
  }
}

#else

std::optional<Holder> ReadHolder(int fd) {
  char text[kHolderTextMax];
  const ssize_t n = pread(fd, text, sizeof text, 0);
  if (n <= 0) return std::nullopt;
  return ParseHolder(std::string_view(text, static_cast<std::size_t>(n)));
}

// The holder's text only feeds a message; a failure to write it (a full
// disk) costs the pid in another program's message, never the lock.
void WriteHolder(int fd) {
  const std::string text = HolderText();
  if (ftruncate(fd, 0) == 0) {
    (void)!pwrite(fd, text.data(), text.size(), 0);
  }
}

#endif

}  // namespace

std::optional<StationLock> StationLock::Acquire(const fs::path& folder,
                                                std::string* error,
                                                bool* held_elsewhere) {
  return AcquireFile(folder, kStationLockFile, error, held_elsewhere);
}

std::optional<StationLock> StationLock::AcquireFile(const fs::path& folder,
                                                    std::string_view name,
                                                    std::string* error,
                                                    bool* held_elsewhere) {
  const FileKind kind = FileKindOf(folder.empty() ? fs::path(".") : folder);
  if (kind == FileKind::kMissing) {
    Refuse(error, "The station folder " + QuotedPath(folder) +
                      " does not exist. Create it, or choose the folder of "
                      "an existing station.");
    return std::nullopt;
  }
  if (kind != FileKind::kFolder) {
    Refuse(error, "The station folder " + QuotedPath(folder) +
                      " is not a folder. Choose a folder for the station.");
    return std::nullopt;
  }
  const fs::path file = folder / fs::path(name);
  const FileKind lock_kind = EntryKindOf(file);
  if (lock_kind == FileKind::kLink) {
    Refuse(error, LinkRefusal(folder, name));
    return std::nullopt;
  }
  if (lock_kind == FileKind::kFolder) {
    Refuse(error, "The station folder " + QuotedPath(folder) +
                      " cannot be used: its \"" + std::string(name) +
                      "\" is a folder. Remove it; the lock file must be a "
                      "plain file.");
    return std::nullopt;
  }

#ifdef _WIN32
  // Read and write sharing lets a refused program open the file and read the
  // holder's pid; delete sharing is withheld, so that nobody removes the
  // file while it is held. The handle is not inherited by child processes.
  // FILE_FLAG_OPEN_REPARSE_POINT: a link planted since the look above is
  // opened itself, never followed, and refused below.
  const HANDLE handle = CreateFileW(
      file.c_str(), GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Refuse(error, CannotUseMessage(folder, name, LastSystemError()));
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(handle, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(handle);
    Refuse(error, LinkRefusal(folder, name));
    return std::nullopt;
  }
  OVERLAPPED region = LockRegion();
  if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
                  0, 1, 0, &region)) {
    const DWORD cause = GetLastError();
    if (cause == ERROR_LOCK_VIOLATION || cause == ERROR_IO_PENDING) {
      Refuse(error, InUseMessage(folder, ReadHolder(handle)));
      if (held_elsewhere != nullptr) *held_elsewhere = true;
    } else {
      const std::error_code why(static_cast<int>(cause),
                                std::system_category());
      Refuse(error, CannotUseMessage(folder, name, why));
    }
    CloseHandle(handle);
    return std::nullopt;
  }
  WriteHolder(handle);
  return StationLock(handle, folder);
#else
  // O_CLOEXEC: a program this one starts never keeps the station locked
  // after this one is gone. O_NOFOLLOW: the holder's text is never written
  // through a link planted under the lock file's name. O_NONBLOCK: a pipe
  // planted there does not hang the open; it is refused below.
  const int fd =
      open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK,
           0644);
  if (fd < 0) {
    Refuse(error, CannotUseMessage(folder, name, LastSystemError()));
    return std::nullopt;
  }
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    Refuse(error, "The station folder " + QuotedPath(folder) +
                      " cannot be used: its \"" + std::string(name) +
                      "\" is not a plain file. Remove it; the lock file "
                      "must be a plain file.");
    return std::nullopt;
  }
  // flock() rather than fcntl() locks: a second StationLock in this very
  // process is refused too, and closing some other descriptor of the file
  // does not drop the lock.
  int locked;
  do {
    locked = flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    if (errno == EWOULDBLOCK) {
      Refuse(error, InUseMessage(folder, ReadHolder(fd)));
      if (held_elsewhere != nullptr) *held_elsewhere = true;
    } else {
      Refuse(error, CannotUseMessage(folder, name, LastSystemError()));
    }
    close(fd);
    return std::nullopt;
  }
  WriteHolder(fd);
  return StationLock(fd, folder);
#endif
}

StationLock::StationLock(Handle handle, fs::path folder)
    : handle_(handle), folder_(std::move(folder)) {}

StationLock::StationLock(StationLock&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      folder_(std::move(other.folder_)) {}

StationLock& StationLock::operator=(StationLock&& other) noexcept {
  if (this != &other) {
    Release();
    handle_ = std::exchange(other.handle_, kNoHandle);
    folder_ = std::move(other.folder_);
  }
  return *this;
}

StationLock::~StationLock() { Release(); }

void StationLock::Release() {
  if (handle_ == kNoHandle) return;
#ifdef _WIN32
  OVERLAPPED region = LockRegion();
  UnlockFileEx(handle_, 0, 1, 0, &region);
  CloseHandle(handle_);
#else
  // Unlocked explicitly as well: a child forked without exec shares the
  // descriptor, and closing ours alone would leave the station locked.
  flock(handle_, LOCK_UN);
  close(handle_);
#endif
  handle_ = kNoHandle;
}

}  // namespace srom
