// A bench of up to six simulated adapters on one workstation. Each has a
// description and the name of its network connection; the driver's one
// control device reaches the adapter whose connection is enabled, so the
// adapters are taken in turn by switching connections off and on.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "device/driver_port.h"
#include "device/sim/simulated_adapter.h"
#include "model/settings.h"

namespace srom {

struct BenchAdapterInfo {
  std::string description;
  std::string connection_name;
  bool enabled = false;

  bool operator==(const BenchAdapterInfo&) const = default;
};

class SimulatedBench : public DriverPort {
 public:
  static constexpr int kMaxAdapters = kAdapterSlots;

  // Adds an adapter with its connection enabled. Nothing when the bench is
  // full or the connection name is already taken.
  SimulatedAdapter* AddAdapter(std::string description,
                               std::string connection_name,
                               int eeprom_size = 512);

  // The adapters in the order they were added.
  std::vector<BenchAdapterInfo> Describe() const;
  SimulatedAdapter* Find(std::string_view connection_name);
  int size() const;
  // The adapter added as number `index` (0 the first); nothing beyond them.
  SimulatedAdapter* At(int index);

  // Called at the start of every open of the control device, outside the
  // bench's lock: a station's bench brings its adapters into step there with
  // what another program changed meanwhile (an adapter plugged in). Set it
  // before the bench is in use.
  void set_before_open(std::function<void()> hook);
  // Runs that hook now, without opening anything: the simulator panel shows
  // the bench in step with its files, its own changes among them.
  void CatchUp();

  // False for an unknown connection name.
  bool EnableConnection(std::string_view connection_name);
  bool DisableConnection(std::string_view connection_name);

  // DriverPort. The control device opens on the first plugged adapter, in
  // the order they were added, whose connection is enabled; with none the
  // open fails. A handle ends when its adapter's connection is disabled.
  std::optional<DeviceHandle> Open(std::string_view path) override;
  bool Request(DeviceHandle handle, std::uint32_t code,
               std::span<const std::uint8_t> input,
               std::span<std::uint8_t> output) override;
  void Close(DeviceHandle handle) override;

 private:
  struct Slot {
    std::string description;
    std::string connection_name;
    bool enabled = true;
    std::unique_ptr<SimulatedAdapter> adapter;
  };
  struct Route {
    Slot* slot;
    DeviceHandle inner;
  };

  Slot* FindLocked(std::string_view connection_name);

  std::function<void()> before_open_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::map<std::uintptr_t, Route> routes_;
  std::uintptr_t next_handle_ = 1;
};

}  // namespace srom
