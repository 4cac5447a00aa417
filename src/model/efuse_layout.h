// Byte offsets of the 64-byte eFuse image.
#pragma once

#include <cstddef>
#include <cstdint>

namespace srom::efuse_layout {

inline constexpr std::size_t kMac = 0x00;        // 6 bytes, first byte first
inline constexpr std::size_t kProductId = 0x06;  // 2, little-endian
inline constexpr std::size_t kVendorId = 0x08;   // 2, little-endian
inline constexpr std::size_t kBusPower = 0x0A;
inline constexpr std::size_t kProductLength = 0x11;
inline constexpr std::size_t kManufacturerLength = 0x13;
inline constexpr std::size_t kProduct = 0x16;       // 12 bytes
inline constexpr std::size_t kManufacturer = 0x22;  // 10 bytes
inline constexpr std::size_t kFlag = 0x31;          // bit 3 = SerialNoType
inline constexpr std::size_t kChecksum = 0x32;
inline constexpr std::size_t kLedWord = 0x33;  // 2, little-endian
inline constexpr std::size_t kSelfPower =
    0x3F;  // low 4 bits; the write uses the byte
inline constexpr std::size_t kLast = 0x3F;

inline constexpr std::size_t kMacBytes = 6;
inline constexpr std::size_t kProductCapacity = 12;
inline constexpr std::size_t kManufacturerCapacity = 10;
inline constexpr std::uint8_t kSerialTypeBit = 0x08;

}  // namespace srom::efuse_layout
