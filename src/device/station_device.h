// The device a program works on at a station: the maker's test driver with
// the system's own network adapters, or the station's simulated bench with
// its simulated network. srom-cli, srom-tool and srom-tool.exe all choose it
// here, by the same name ("--device sim|driver").
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "device/driver_port.h"
#include "device/network_port.h"
#include "device/sim/simulated_bench.h"

namespace srom {

enum class DeviceKind { kSim, kDriver };

// "sim" or "driver", as the programs' --device option takes them.
std::optional<DeviceKind> DeviceKindNamed(std::string_view name);

// What --device offers, for the programs' help.
inline constexpr const char* kDeviceOptionHelp =
    "sim: the station folder's simulated adapter; driver: the maker's test "
    "driver and the system's own network adapters (Windows)";

struct DeviceOpening;

// An opened device: its adapter port and its network, kept alive together.
class StationDevice {
 public:
  DriverPort& port() const { return *port_; }
  NetworkPort& network() const { return *network_; }
  // The simulated bench, or null on the maker's driver.
  SimulatedBench* bench() const { return bench_.get(); }

 private:
  friend DeviceOpening OpenStationDevice(DeviceKind kind,
                                         const std::filesystem::path& folder);
  std::unique_ptr<SimulatedBench> bench_;
  std::unique_ptr<DriverPort> driver_;
  std::unique_ptr<NetworkPort> owned_network_;
  DriverPort* port_ = nullptr;
  NetworkPort* network_ = nullptr;
};

struct DeviceOpening {
  enum class Fault { kNone, kNoDriver, kSimFiles };
  std::optional<StationDevice> device;
  Fault fault = Fault::kNone;
  std::string message;  // why not, in the tool's voice
};

// Opens the device `kind` for the station in `folder`: the simulated
// bench from the folder's files, or the maker's driver where the system has
// one (Windows). Nothing, with the reason, otherwise.
DeviceOpening OpenStationDevice(DeviceKind kind,
                                const std::filesystem::path& folder);

}  // namespace srom
