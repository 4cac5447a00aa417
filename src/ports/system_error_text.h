// The plain words that tell the operator why a file operation failed, and a
// path as the messages quote it.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace srom {

// Why a file operation failed, in plain words for the operator, without a
// capital or a full stop so that it can follow "...: ": "the disk is full",
// "the folder is read-only", "permission denied". Takes errno values in
// std::generic_category() and, on Windows, GetLastError() values in
// std::system_category().
std::string DescribeSystemError(std::error_code error);

// The error the last failed system call left: errno on POSIX, GetLastError()
// on Windows.
std::error_code LastSystemError();

// A path as messages quote it: in double quotes, UTF-8 on every platform.
std::string QuotedPath(const std::filesystem::path& path);

}  // namespace srom
