// The two checksums of the images. Both add bytes with an end-around carry
// and store the eight-bit complement of the sum.
#pragma once

#include <cstdint>
#include <span>

namespace srom {

// Sum of `bytes` where every carry out of eight bits is added back in.
std::uint8_t EndAroundSum(std::span<const std::uint8_t> bytes);

// Checksum of the EEPROM image's product and vendor IDs (image bytes
// 0x06..0x09): 255 minus their end-around sum.
std::uint8_t IdChecksum(std::span<const std::uint8_t, 4> id_bytes);

// Checksum of a 64-byte eFuse image, taken with its checksum byte (0x32) read
// as 0xFF whatever it holds.
std::uint8_t EfuseChecksum(std::span<const std::uint8_t> efuse_image);

}  // namespace srom
