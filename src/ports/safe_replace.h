// Replacing a file so that no crash, kill, full disk or second writer ever
// leaves it empty or half written, and the plain words that tell the operator
// why a file operation failed.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
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

// Replaces the file at `path` with `bytes`. The bytes go to a new temporary
// file with a unique name, created exclusively beside the file, which is
// flushed to the disk and then renamed over the old file; the folder is
// flushed as well. Readers and a second writer therefore see either the old
// or the new bytes, whole, and never a file that is shorter. The replaced
// file keeps its permission bits.
//
// On failure returns false with the reason in `error` (when given), removes
// the temporary file and leaves the old file exactly as it was. A target that
// is a folder, a pipe or a device is refused, and so is a symbolic link: the
// tool never writes through one, so that a link planted under a station
// file's name cannot send the MAC counter or a log into another file. One
// failure comes after the
// rename: when the folder cannot be flushed, the new bytes are in place but a
// power cut could still bring the old ones back, so that too is a failure.
bool ReplaceFileSafely(const std::filesystem::path& path,
                       std::string_view bytes, std::string* error = nullptr);

// Removes the temporary files that writers which have ended (a crash, a
// kill) left in `folder`: only plain files and links whose names follow
// ReplaceFileSafely's own pattern, `.<name>.<pid>-<start>.<8 hex digits>.tmp`
// (or `.<name>.<pid>.<8 hex digits>.tmp` as earlier versions named them),
// and only when process <pid> no longer runs, or runs but started at another
// time than <start>. A file whose writer still runs (a `srom-cli sim plug`
// beside a running station, which holds only the bench's lock) is its
// writer's save in flight and stays. Never follows a link, never enters a
// subfolder.
void RemoveStaleTempFiles(const std::filesystem::path& folder);

// What a path names. FileKindOf follows links, so it never says kLink;
// EntryKindOf looks at the name itself, and says kLink for a link wherever
// it leads. Readers check for kRegular before they open a file, so that a
// pipe or a device planted under a file's name is refused instead of
// blocking the open. An error while looking (no permission to the folder)
// counts as kOther, never as kMissing, so that a file is not taken for absent
// and overwritten because of it.
enum class FileKind { kMissing, kRegular, kFolder, kLink, kOther };
FileKind FileKindOf(const std::filesystem::path& path);
FileKind EntryKindOf(const std::filesystem::path& path);

// The name of the temporary file ReplaceFileSafely writes first: true for
// `.<name>.<pid>-<start>.<8 hex digits>.tmp` and the older
// `.<name>.<pid>.<8 hex digits>.tmp`.
bool IsTempFileName(const std::filesystem::path::string_type& name);

}  // namespace srom
