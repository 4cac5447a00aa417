// What a path names: a plain file, a folder, a link, something else or
// nothing.
#pragma once

#include <filesystem>

namespace srom {

// FileKindOf follows links, so it never says kLink; EntryKindOf looks at the
// name itself, and says kLink for a link wherever it leads. Readers check for
// kRegular before they open a file, so that a pipe or a device planted under
// a file's name is refused instead of blocking the open. An error while
// looking (no permission to the folder) counts as kOther, never as kMissing,
// so that a file is not taken for absent and overwritten because of it.
enum class FileKind { kMissing, kRegular, kFolder, kLink, kOther };
FileKind FileKindOf(const std::filesystem::path& path);
FileKind EntryKindOf(const std::filesystem::path& path);

}  // namespace srom
