// Replacing a file so that no crash, kill, full disk or second writer ever
// leaves it empty or half written.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace srom {

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

}  // namespace srom
