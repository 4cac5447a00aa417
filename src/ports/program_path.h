// Where the running program lives. The program's folder (ProgramFolder) is
// where the window saves its settings, images and logs on Windows, beside the
// executable.
#pragma once

#include <filesystem>
#include <optional>

namespace srom {

// The full path of the running executable, however long; nothing when the
// system cannot say.
std::optional<std::filesystem::path> RunningProgramPath();

// The folder of an executable's path: everything up to its last separator.
std::filesystem::path ProgramFolderOf(const std::filesystem::path& program);

}  // namespace srom
