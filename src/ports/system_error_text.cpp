#include "ports/system_error_text.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

namespace srom {
namespace {

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

std::string QuotedPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  std::string quoted(1, '"');
  quoted.append(utf8.begin(), utf8.end());
  return quoted += '"';
}

}  // namespace srom
