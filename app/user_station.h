// The station of an installed srom-tool started from the desktop menu: a
// folder of the user's own data, never the folder the menu happened to start
// the program in.
#pragma once

#include <filesystem>
#include <string>
#include <variant>

namespace srom {

// The user's station folder, $XDG_DATA_HOME/srom-tool/station, or
// $HOME/.local/share/srom-tool/station where XDG_DATA_HOME is unset, empty
// or relative (the XDG base directories ignore a relative one). Either value
// may be null. A message for the operator when neither gives an absolute
// folder.
std::variant<std::filesystem::path, std::string> UserStationFolder(
    const char* xdg_data_home, const char* home);

// Makes the folder (and its parents) when it is missing. An empty string,
// or a message naming the folder and the reason.
std::string MakeStationFolder(const std::filesystem::path& folder);

}  // namespace srom
