// What srom-cli's command line sets: the options every command shares and
// each command's own.
#pragma once

#include <string>
#include <vector>

#include "device/sim/sim_setup.h"
#include "files/station_config.h"

namespace srom::cli {

struct Options {
  std::string dir = ".";
  std::string device = "sim";  // DeviceKindNamed
  bool yes = false;
  bool verbose = false;
  // The action of a command that takes one (`pool create`, `sim plug`).
  std::string action;

  std::string base;
  std::string out_file;
  std::string bin_file;
  std::string file;
  bool save = false;
  bool reload = false;
  bool allow_reissue = false;
  std::string serial_type;
  std::string csv_file;
  bool check_log = false;
  bool rebuild_from_log = false;
  bool health = false;
  std::string by;
  bool interrupted = false;

  // station.ini's settings, for this run.
  StationConfig station_config;
  std::string pool_name;
  std::string pool_first;
  std::string pool_last;
  int pool_increment = 1;

  bool multi = false;

  int sim_size = kSimDefaultEepromSize;
  int sim_adapter = 1;
  std::string sim_description;
  std::string sim_connection;
  bool force = false;
  std::vector<std::string> fault;
};

}  // namespace srom::cli
