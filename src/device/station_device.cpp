#include "device/station_device.h"

#include <utility>

#include "device/sim/sim_setup.h"
#include "device/sim/simulated_network.h"
#ifdef _WIN32
#include "device/win32/win32_driver_port.h"
#include "device/win32/win32_network_port.h"
#endif

namespace srom {

std::optional<DeviceKind> DeviceKindNamed(std::string_view name) {
  if (name == "sim") return DeviceKind::kSim;
  if (name == "driver") return DeviceKind::kDriver;
  return std::nullopt;
}

DeviceOpening OpenStationDevice(DeviceKind kind,
                                const std::filesystem::path& folder) {
  DeviceOpening opening;
  StationDevice device;
  if (kind == DeviceKind::kDriver) {
#ifdef _WIN32
    device.driver_ = std::make_unique<Win32DriverPort>();
    device.owned_network_ = std::make_unique<Win32NetworkPort>();
    device.port_ = device.driver_.get();
    device.network_ = device.owned_network_.get();
#else
    opening.fault = DeviceOpening::Fault::kNoDriver;
    opening.message =
        "The test driver is reachable on Windows only; without --device "
        "driver the folder's simulated adapter is used.";
    return opening;
#endif
  } else {
    device.bench_ = OpenStationSimBench(folder, opening.message);
    if (!device.bench_) {
      opening.fault = DeviceOpening::Fault::kSimFiles;
      return opening;
    }
    device.owned_network_ = std::make_unique<SimulatedNetwork>(*device.bench_);
    device.port_ = device.bench_.get();
    device.network_ = device.owned_network_.get();
  }
  opening.device = std::move(device);
  return opening;
}

}  // namespace srom
