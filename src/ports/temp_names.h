// The temporary files a safe replacement writes first, beside the file it
// replaces: their names, which say who writes them, and the clearing away of
// those whose writer has ended.
#pragma once

#include <filesystem>

namespace srom {

// `.<name>.<pid>-<start>.<8 hex digits>.tmp` beside `target`: hidden on
// POSIX, unique per process and attempt, and recognisable for
// RemoveStaleTempFiles, which tells from the pid and the start whether its
// writer still runs. Where the system does not tell the start,
// `.<name>.<pid>.<8 hex digits>.tmp`.
std::filesystem::path TempPathBeside(const std::filesystem::path& target);

// The name of the temporary file ReplaceFileSafely writes first: true for
// `.<name>.<pid>-<start>.<8 hex digits>.tmp` and the older
// `.<name>.<pid>.<8 hex digits>.tmp`.
bool IsTempFileName(const std::filesystem::path::string_type& name);

// Removes the temporary files that writers which have ended (a crash, a
// kill) left in `folder`: only plain files and links whose names follow
// ReplaceFileSafely's own pattern, and only when process <pid> no longer
// runs, or runs but started at another time than <start>. A file whose writer
// still runs (a `srom-cli sim plug` beside a running station, which holds
// only the bench's lock) is its writer's save in flight and stays. Never
// follows a link, never enters a subfolder.
void RemoveStaleTempFiles(const std::filesystem::path& folder);

}  // namespace srom
