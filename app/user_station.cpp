#include "user_station.h"

#include <system_error>

namespace fs = std::filesystem;

namespace srom {
namespace {

bool IsAbsoluteFolder(const char* value) {
  return value != nullptr && *value != '\0' && fs::path(value).is_absolute();
}

}  // namespace

std::variant<fs::path, std::string> UserStationFolder(const char* xdg_data_home,
                                                      const char* home) {
  fs::path data;
  if (IsAbsoluteFolder(xdg_data_home)) {
    data = xdg_data_home;
  } else if (IsAbsoluteFolder(home)) {
    data = fs::path(home) / ".local" / "share";
  } else {
    return std::string(
        "The user's data folder is unknown: neither XDG_DATA_HOME nor HOME "
        "names an absolute folder. Start srom-tool with --dir FOLDER.");
  }
  return (data / "srom-tool" / "station").lexically_normal();
}

std::string MakeStationFolder(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (!error && fs::is_directory(folder, error)) return {};
  return "The station folder \"" + folder.string() +
         "\" cannot be made: " +
         (error ? error.message() : std::string("it is not a folder")) + ".";
}

}  // namespace srom
