// What a station's Serial-MAC.log says was programmed, for the tests that
// check no MAC address is given twice.
#pragma once

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace srom::test {

// The MAC addresses of the log's EEPROM unit lines, in order.
inline std::vector<std::string> LoggedMacs(const fs::path& station) {
  std::vector<std::string> macs;
  std::istringstream log(ReadBytes(station / "Serial-MAC.log"));
  for (std::string line; std::getline(log, line);) {
    std::istringstream fields(line);
    std::string device, serial, mac;
    if (std::getline(fields, device, '\t') &&
        device.find("/EEPROM") != std::string::npos &&
        std::getline(fields, serial, '\t') && std::getline(fields, mac, '\t')) {
      macs.push_back(mac);
    }
  }
  return macs;
}

}  // namespace srom::test
