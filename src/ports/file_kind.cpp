#include "ports/file_kind.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace srom {
namespace fs = std::filesystem;

#ifdef _WIN32
namespace {

bool IsReparsePoint(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace
#endif

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
