// The test driver reached through the Win32 API: CreateFileA on the control
// device, DeviceIoControl without overlapped I/O, CloseHandle. Windows only.
#pragma once

#include "device/driver_port.h"

namespace srom {

class Win32DriverPort : public DriverPort {
 public:
  std::optional<DeviceHandle> Open(std::string_view path) override;
  bool Request(DeviceHandle handle, std::uint32_t code,
               std::span<const std::uint8_t> input,
               std::span<std::uint8_t> output) override;
  void Close(DeviceHandle handle) override;
};

}  // namespace srom
