#include "model/chip_traits.h"

#include "model/hex_text.h"

namespace srom {

const ChipTraits& TraitsOf(Chip chip) {
  return chip == Chip::kA ? kChipATraits : kChipBTraits;
}

const ChipTraits& OtherChipTraits(Chip chip) {
  return chip == Chip::kA ? kChipBTraits : kChipATraits;
}

std::uint8_t ProductIdLow(const ChipTraits& traits) {
  return HexPairAt(traits.product_id, 1);
}

std::uint8_t ProductIdHigh(const ChipTraits& traits) {
  return HexPairAt(traits.product_id, 0);
}

}  // namespace srom
