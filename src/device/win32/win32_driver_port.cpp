#include "device/win32/win32_driver_port.h"

#include <windows.h>

#include <string>

namespace srom {
namespace {

HANDLE ToHandle(DeviceHandle handle) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle));
}

}  // namespace

std::optional<DeviceHandle> Win32DriverPort::Open(std::string_view path) {
  const std::string name(path);  // CreateFileA wants a terminated string
  // Read and write access, others may only read, the device must exist.
  HANDLE handle =
      CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  return DeviceHandle{reinterpret_cast<std::uintptr_t>(handle)};
}

bool Win32DriverPort::Request(DeviceHandle handle, std::uint32_t code,
                              std::span<const std::uint8_t> input,
                              std::span<std::uint8_t> output) {
  // Without overlapped I/O the byte count must have somewhere to go; the
  // driver's answer is its return value alone.
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(
      ToHandle(handle), code,
      input.empty() ? nullptr : const_cast<std::uint8_t*>(input.data()),
      static_cast<DWORD>(input.size()),
      output.empty() ? nullptr : output.data(),
      static_cast<DWORD>(output.size()), &returned, nullptr);
  return ok != FALSE;
}

void Win32DriverPort::Close(DeviceHandle handle) {
  CloseHandle(ToHandle(handle));
}

}  // namespace srom
