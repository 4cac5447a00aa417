// The files that put a station folder on a line: station.ini naming the
// line's ledger, the station and its pool, and EEPROM.dat with the MAC
// address the station starts at. The line's tests and benchmarks set up
// their stations with it, as an engineer would write them.
#pragma once

#include <string>

#include "files/eeprom_dat.h"
#include "model/settings.h"
#include "support/temp_folder.h"

namespace srom::test {

// Station `name` in `dir` on the ledger at `url`, its MAC addresses from
// `first_mac` on (or from the line pool `pool`).
inline void WriteLineStationFiles(const fs::path& dir, const std::string& name,
                                  const std::string& url,
                                  const std::string& first_mac,
                                  const std::string& pool = "") {
  WriteBytes(dir / "station.ini",
             "; station " + name + " of the line\r\nledger=" + url +
                 "\r\nstation=" + name + "\r\n" +
                 (pool.empty() ? "" : "pool=" + pool + "\r\n"));
  SromSettings settings;
  settings.CurrentMac = first_mac;
  WriteBytes(dir / "EEPROM.dat", FormatEepromDat(settings));
}

}  // namespace srom::test
