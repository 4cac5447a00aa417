// The constant images every new image starts from: a 512-byte EEPROM image and
// a 64-byte eFuse image for each chip.
#pragma once

#include <array>
#include <cstdint>

#include "model/settings.h"

namespace srom {

using SromDefault = std::array<std::uint8_t, 512>;
using EfuseImage = std::array<std::uint8_t, 64>;

const SromDefault& DefaultSromImage(Chip chip);
// The default eFuse image as stored: its checksum place 0x32 holds 0xFF.
const EfuseImage& DefaultEfuseImage(Chip chip);

}  // namespace srom
