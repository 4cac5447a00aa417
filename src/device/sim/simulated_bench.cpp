#include "device/sim/simulated_bench.h"

namespace srom {

SimulatedAdapter* SimulatedBench::AddAdapter(std::string description,
                                             std::string connection_name,
                                             int eeprom_size) {
  std::lock_guard lock(mutex_);
  if (static_cast<int>(slots_.size()) >= kMaxAdapters ||
      FindLocked(connection_name) != nullptr) {
    return nullptr;
  }
  auto slot = std::make_unique<Slot>();
  slot->description = std::move(description);
  slot->connection_name = std::move(connection_name);
  slot->adapter = std::make_unique<SimulatedAdapter>(eeprom_size);
  slots_.push_back(std::move(slot));
  return slots_.back()->adapter.get();
}

std::vector<BenchAdapterInfo> SimulatedBench::Describe() const {
  std::lock_guard lock(mutex_);
  std::vector<BenchAdapterInfo> out;
  for (const auto& slot : slots_) {
    out.push_back({slot->description, slot->connection_name, slot->enabled});
  }
  return out;
}

SimulatedAdapter* SimulatedBench::Find(std::string_view connection_name) {
  std::lock_guard lock(mutex_);
  Slot* slot = FindLocked(connection_name);
  return slot ? slot->adapter.get() : nullptr;
}

int SimulatedBench::size() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(slots_.size());
}

SimulatedAdapter* SimulatedBench::At(int index) {
  std::lock_guard lock(mutex_);
  if (index < 0 || index >= static_cast<int>(slots_.size())) return nullptr;
  return slots_[static_cast<std::size_t>(index)]->adapter.get();
}

void SimulatedBench::set_before_open(std::function<void()> hook) {
  before_open_ = std::move(hook);
}

void SimulatedBench::CatchUp() {
  if (before_open_) before_open_();
}

SimulatedBench::Slot* SimulatedBench::FindLocked(
    std::string_view connection_name) {
  for (auto& slot : slots_) {
    if (slot->connection_name == connection_name) return slot.get();
  }
  return nullptr;
}

bool SimulatedBench::EnableConnection(std::string_view connection_name) {
  std::lock_guard lock(mutex_);
  Slot* slot = FindLocked(connection_name);
  if (slot) slot->enabled = true;
  return slot != nullptr;
}

bool SimulatedBench::DisableConnection(std::string_view connection_name) {
  std::lock_guard lock(mutex_);
  Slot* slot = FindLocked(connection_name);
  if (slot) slot->enabled = false;
  return slot != nullptr;
}

std::optional<DeviceHandle> SimulatedBench::Open(std::string_view path) {
  CatchUp();
  std::lock_guard lock(mutex_);
  for (auto& slot : slots_) {
    if (!slot->enabled) continue;
    // An unplugged adapter takes its connection with it.
    const auto inner = slot->adapter->Open(path);
    if (!inner) continue;
    const std::uintptr_t handle = next_handle_++;
    routes_[handle] = {slot.get(), *inner};
    return DeviceHandle{handle};
  }
  return std::nullopt;
}

bool SimulatedBench::Request(DeviceHandle handle, std::uint32_t code,
                             std::span<const std::uint8_t> input,
                             std::span<std::uint8_t> output) {
  Route route;
  {
    std::lock_guard lock(mutex_);
    const auto it = routes_.find(static_cast<std::uintptr_t>(handle));
    if (it == routes_.end() || !it->second.slot->enabled) return false;
    route = it->second;
  }
  // Outside the bench's lock: the adapter may take its latency.
  return route.slot->adapter->Request(route.inner, code, input, output);
}

void SimulatedBench::Close(DeviceHandle handle) {
  std::lock_guard lock(mutex_);
  const auto it = routes_.find(static_cast<std::uintptr_t>(handle));
  if (it == routes_.end()) return;
  it->second.slot->adapter->Close(it->second.inner);
  routes_.erase(it);
}

}  // namespace srom
