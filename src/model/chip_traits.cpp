#include "model/chip_traits.h"

#include "model/hex_text.h"
#include "model/messages.h"

namespace srom {
namespace {

constexpr ChipTraits kChipA = {
    Chip::kA, "KM62058", "0580", msg::kSelectionIsChipA, 8,
    true,     "496",     "8",    msg::kBusPowerBelow8,   msg::kSelfPowerBelow8,
    "058",
};

constexpr ChipTraits kChipB = {
    Chip::kB, "KM62057D", "057D", msg::kSelectionIsChipB, 4,
    false,    "248",      "4",    msg::kBusPowerBelow4,   msg::kSelfPowerBelow4,
    "057D",
};

}  // namespace

const ChipTraits& TraitsOf(Chip chip) {
  return chip == Chip::kA ? kChipA : kChipB;
}

const ChipTraits& OtherChipTraits(Chip chip) {
  return chip == Chip::kA ? kChipB : kChipA;
}

std::uint8_t ProductIdLow(const ChipTraits& traits) {
  return HexPairAt(traits.product_id, 1);
}

std::uint8_t ProductIdHigh(const ChipTraits& traits) {
  return HexPairAt(traits.product_id, 0);
}

}  // namespace srom
