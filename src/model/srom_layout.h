// Byte offsets of the EEPROM image (image offsets, not buffer offsets).
#pragma once

#include <cstddef>

namespace srom::srom_layout {

inline constexpr std::size_t kMac = 0x00;        // 6 bytes, first byte first
inline constexpr std::size_t kProductId = 0x06;  // 2, little-endian
inline constexpr std::size_t kVendorId = 0x08;   // 2, little-endian
inline constexpr std::size_t kIdChecksum = 0x0A;
inline constexpr std::size_t kFlag = 0x0B;
inline constexpr std::size_t kBusPower =
    0x0E;  // counts: 8 mA chip A, 4 mA chip B
inline constexpr std::size_t kSelfPower = 0x0F;
inline constexpr std::size_t kProductLength = 0x15;
inline constexpr std::size_t kManufacturerLength = 0x17;
inline constexpr std::size_t kSerialLength = 0x19;
inline constexpr std::size_t kProduct = 0x1C;  // 24 bytes, 0x00 after the end
inline constexpr std::size_t kManufacturer = 0x34;  // 24 bytes
inline constexpr std::size_t kSerial = 0x4C;        // 14 ASCII hex digits
inline constexpr std::size_t kBos = 0x5A;      // 22-byte USB 3.0 BOS descriptor
inline constexpr std::size_t kLedWord = 0x84;  // 2, little-endian
inline constexpr std::size_t kSwField = 0x86;  // 2, little-endian
inline constexpr std::size_t kForcedFF = 0x88;  // 2 bytes forced to 0xFF

inline constexpr std::size_t kStringCapacity = 24;
inline constexpr std::size_t kSerialCapacity = 14;
inline constexpr std::size_t kMacBytes = 6;

}  // namespace srom::srom_layout
