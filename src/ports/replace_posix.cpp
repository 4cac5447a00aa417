#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "ports/fd_write.h"
#include "ports/replace_native.h"
#include "ports/system_error_text.h"

namespace srom::replace_native {
namespace fs = std::filesystem;

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

}  // namespace srom::replace_native
