// Hand-written expected bytes for the model tests.
#pragma once

#include <cctype>
#include <cstdint>
#include <string_view>
#include <vector>

namespace srom::test {

// "00 01 AB" (any white space) to bytes; test data only, never parsed by the
// code under test.
inline std::vector<std::uint8_t> Bytes(std::string_view hex) {
  std::vector<std::uint8_t> out;
  int high = -1;
  for (const char c : hex) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    const int v = std::isdigit(static_cast<unsigned char>(c))
                      ? c - '0'
                      : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + v));
      high = -1;
    }
  }
  return out;
}

// The first 0x86 bytes of each chip's default EEPROM image; the rest is 0xFF.
inline constexpr std::string_view kChipASromHead =
    "00 00 00 00 00 01 80 05 1E 4C 10 73 00 E0 3E 01"
    "80 0B 09 04 0E 07 1A 10 26 0E 2D 16 4B 4D 36 32"
    "30 35 38 00 00 00 00 00 00 00 00 00 00 00 00 00"
    "00 00 00 00 56 45 4C 4B 20 45 6C 65 63 2E 20 43"
    "6F 72 70 2E 00 00 00 00 00 00 00 00 30 30 30 30"
    "30 30 30 30 30 30 30 30 30 31 05 0F 16 00 02 07"
    "10 02 02 00 00 00 0A 10 03 00 0E 00 01 01 65 00"
    "00 00 00 00 00 00 00 00 F3 FF 40 4A 40 00 40 30"
    "0D 49 90 41 C1 BD";
inline constexpr std::string_view kChipBSromHead =
    "00 00 00 00 00 01 7D 05 1E 4C 13 73 00 E0 3E 01"
    "80 0B 09 04 0E 08 1A 10 26 0E 2D 16 4B 4D 36 32"
    "30 35 37 44 00 00 00 00 00 00 00 00 00 00 00 00"
    "00 00 00 00 56 45 4C 4B 20 45 6C 65 63 2E 20 43"
    "6F 72 70 2E 00 00 00 00 00 00 00 00 30 30 30 30"
    "30 30 30 30 30 30 30 30 30 31 05 0F 16 00 02 07"
    "10 02 02 00 00 00 0A 10 03 00 0E 00 01 01 65 00"
    "00 00 00 00 00 00 00 00 F3 FF 40 4A 40 00 40 30"
    "0D 49 90 41 C1 BD";

inline constexpr std::string_view kChipAEfuse =
    "00 00 00 00 00 01 80 05 1E 4C 3E E0 80 0B 09 04"
    "0B 07 11 0A 16 03 4B 4D 36 32 30 35 38 00 00 00"
    "00 00 56 45 4C 4B 20 45 6C 65 63 2E 01 65 00 F3"
    "FF 73 FF C1 BD 40 4A 40 00 40 30 0D 49 90 41 01";
inline constexpr std::string_view kChipBEfuse =
    "00 00 00 00 00 01 7D 05 1E 4C 3E E0 80 0B 09 04"
    "0B 08 11 0A 16 03 4B 4D 36 32 30 35 37 44 00 00"
    "00 00 56 45 4C 4B 20 45 6C 65 63 2E 01 65 00 F3"
    "FF 73 FF C1 BD 40 4A 40 00 40 30 0D 49 90 41 01";

// Computed by hand (end-around sum of the 64 bytes, 0x32 read as 0xFF).
inline constexpr std::uint8_t kChipAEfuseChecksum = 0xC4;
inline constexpr std::uint8_t kChipBEfuseChecksum = 0x83;

inline std::vector<std::uint8_t> SromDefaultBytes(std::string_view head,
                                                  std::size_t size) {
  std::vector<std::uint8_t> image = Bytes(head);
  image.resize(size, 0xFF);
  return image;
}

}  // namespace srom::test
