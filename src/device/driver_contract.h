// What the tool relies on from the maker's test driver: the control device,
// its seven synchronous I/O control requests, the register request and the
// transfer buffer (an ImageHeader followed by the image area).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace srom {

// The one control device of the test driver.
inline constexpr std::string_view kDevicePath = "\\\\.\\KM62058";

// CTL_CODE(0x22, function, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr std::uint32_t DriverControlCode(std::uint32_t function) {
  constexpr std::uint32_t kDeviceType = 0x22;
  constexpr std::uint32_t kAnyAccess = 0;
  constexpr std::uint32_t kMethodBuffered = 0;
  return (kDeviceType << 16) | (kAnyAccess << 14) | (function << 2) |
         kMethodBuffered;
}

// The seven requests, by the names the driver's documentation gives them.
// Input: transfer buffer, 8 + 256 or 8 + 512 bytes. Output: none.
inline constexpr std::uint32_t IOCTL_WRITE_EEPROM = DriverControlCode(0x801);
// Input and output: transfer buffer, 72 bytes (word count 0x24).
inline constexpr std::uint32_t IOCTL_READ_EFUSE = DriverControlCode(0x802);
// Input: transfer buffer, 72 bytes. Output: none.
inline constexpr std::uint32_t IOCTL_WRITE_EFUSE = DriverControlCode(0x803);
// Input: a RegisterRequest. Output: none.
inline constexpr std::uint32_t IOCTL_WRITE_REGISTER = DriverControlCode(0x830);
// Input: a RegisterRequest. Output: the register's byte.
inline constexpr std::uint32_t IOCTL_READ_REGISTER = DriverControlCode(0x831);
// No input, no output: the adapter reloads its configuration.
inline constexpr std::uint32_t IOCTL_RELOAD_EEPROM = DriverControlCode(0x861);
// Input and output: 3 bytes; "Yes" from a driver recent enough.
inline constexpr std::uint32_t IOCTL_QUERY_DRIVER = DriverControlCode(0x880);

static_assert(IOCTL_WRITE_EEPROM == 0x222004);
static_assert(IOCTL_READ_EFUSE == 0x222008);
static_assert(IOCTL_WRITE_EFUSE == 0x22200C);
static_assert(IOCTL_WRITE_REGISTER == 0x2220C0);
static_assert(IOCTL_READ_REGISTER == 0x2220C4);
static_assert(IOCTL_RELOAD_EEPROM == 0x222184);
static_assert(IOCTL_QUERY_DRIVER == 0x222200);

// The request's name for logs and test output; "IOCTL_unknown" for others.
std::string_view IoctlName(std::uint32_t code);

// Word counts a transfer header carries.
inline constexpr std::uint16_t kWordsEeprom256 = 0x0080;
inline constexpr std::uint16_t kWordsEeprom512 = 0x0100;
inline constexpr std::uint16_t kWordsEfuseWrite = 0x0020;
// A read-eFuse request asks for the header and the data: 72 bytes.
inline constexpr std::uint16_t kWordsEfuseRead = 0x0024;

// Bytes of an eFuse transfer: the header and the 64 fuse bytes.
inline constexpr std::size_t kEfuseTransferSize = 72;

// Chip registers the EEPROM is read through.
inline constexpr std::uint8_t kRegEepromAddress = 0x07;  // word address
inline constexpr std::uint8_t kRegEepromControl = 0x0A;  // 0x04 starts a read
inline constexpr std::uint8_t kRegEepromDataLow = 0x08;
inline constexpr std::uint8_t kRegEepromDataHigh = 0x09;
inline constexpr std::uint8_t kEepromStartRead = 0x04;
inline constexpr std::uint8_t kEepromBusy = 0x10;
// Every register access carries selector 1; the driver's presence probe, a
// read of three zero bytes, carries 0.
inline constexpr std::uint8_t kRegisterSelector = 0x01;

// The 3-byte input of IOCTL_WRITE_REGISTER and IOCTL_READ_REGISTER.
struct RegisterRequest {
  std::uint8_t reg = 0;
  std::uint8_t selector = 0;
  std::uint8_t value = 0;

  std::array<std::uint8_t, 3> Bytes() const { return {reg, selector, value}; }
  bool operator==(const RegisterRequest&) const = default;
};

// The answer of a recent driver to IOCTL_QUERY_DRIVER.
inline constexpr std::array<std::uint8_t, 3> kDriverRecentAnswer = {'Y', 'e',
                                                                    's'};

}  // namespace srom
