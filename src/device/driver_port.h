// The one way the tool reaches the test driver: open its control device, send
// a synchronous I/O control request, close. Win32DriverPort is the real one,
// SimulatedAdapter answers in-process wherever the driver is absent.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace srom {

// An open control device; only the port that returned it knows what it means.
enum class DeviceHandle : std::uintptr_t {};

class DriverPort {
 public:
  virtual ~DriverPort() = default;

  // Opens `path` for reading and writing; nothing when it cannot be opened,
  // which to every caller means that no adapter is attached.
  virtual std::optional<DeviceHandle> Open(std::string_view path) = 0;

  // One synchronous request. `input` and `output` may be the same bytes.
  // True when the driver reports success; the number of bytes it returned
  // is not part of the answer and the caller never relies on it.
  virtual bool Request(DeviceHandle handle, std::uint32_t code,
                       std::span<const std::uint8_t> input,
                       std::span<std::uint8_t> output) = 0;

  virtual void Close(DeviceHandle handle) = 0;
};

}  // namespace srom
