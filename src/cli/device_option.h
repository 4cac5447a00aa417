// The --device option, as srom-cli, srom-tool and srom-tool.exe all take
// it, with --sim kept as the older spelling of "--device sim".
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "device/station_device.h"

namespace srom {

// Adds --device (and --sim) to `app`; `device` holds the default until the
// command line names another.
inline void AddDeviceOption(CLI::App& app, std::string& device) {
  app.add_option("--device", device, kDeviceOptionHelp)
      ->check(CLI::IsMember({"sim", "driver"}))
      ->capture_default_str();
  app.add_flag_callback(
      "--sim", [&device] { device = "sim"; }, "The same as --device sim");
}

}  // namespace srom
