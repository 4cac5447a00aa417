// station.ini: the station's own settings beside EEPROM.dat, which keeps its
// format. Which production ledger the station keeps, the name the line
// knows it by, and the line pool it takes MAC addresses from.
//
//   ; srom-tool station settings
//   ledger=postgresql:///srom?host=/run/srom&user=srom
//   station=Line1-S3
//   pool=line1
//   require_standby=yes
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "ports/station_files.h"

namespace srom {

inline constexpr std::string_view kStationConfigFileName =
    station_file::kStationConfig;

struct StationConfig {
  // Empty or "sqlite": the station's own file; a postgresql:// address: the
  // line's server.
  std::string ledger;
  // Empty: the ledger's default name for the station.
  std::string station;
  // Empty: no pool; the station steps its own MAC addresses.
  std::string pool;
  // "require_standby=yes": no unit is programmed while no synchronous
  // standby of the line's server acknowledges its commits. "no" (the
  // default) programs on the primary alone.
  bool require_standby = false;
};

// The settings of station.ini in `folder`: "key=value" lines, blanks around
// either ignored, ';' or '#' starting a comment line, a UTF-8 byte order
// mark in front of the first line ignored too. No file gives every
// default. Nothing, with the message in `error`, for a file that cannot be
// read or holds a line the tool does not know: a misspelt "ledger" must not
// leave a line's station on a ledger of its own.
std::optional<StationConfig> LoadStationConfig(
    const std::filesystem::path& folder, std::string* error);

// Why `name` cannot name a station, or nothing. A name that holds what a
// ledger address hides (a password: an address pasted into the wrong line)
// would go into the production ledger and every listing and export of it.
std::optional<std::string> StationNameFault(const std::string& name);

// `config` with every setting that `overrides` gives (a command line's)
// put over it.
StationConfig Overridden(StationConfig config, const StationConfig& overrides);

}  // namespace srom
