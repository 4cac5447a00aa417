#include "cli/output_guard.h"

#include <filesystem>

#include "ports/station_files.h"

namespace srom::cli {

std::optional<std::string> StationFileOutputRefusal(const std::string& file,
                                                    std::string_view what) {
  const std::filesystem::path path(file);
  const std::u8string name = path.filename().u8string();
  const std::string bare(name.begin(), name.end());
  if (!IsStationFileName(bare)) return std::nullopt;
  return "\"" + file + "\" bears the name of a station's own file (" + bare +
         "), which only the tool itself writes: write " + std::string(what) +
         " to a file of another name. Nothing was written.";
}

}  // namespace srom::cli
