// What sets the two chips apart, one row each: their names, product IDs, the
// power row the window edits and its unit, the default power texts, and how
// the production log names them. Every rule that differs by chip reads it
// from here.
#pragma once

#include <cstdint>

#include "model/device_sel.h"
#include "model/messages.h"

namespace srom {

struct ChipTraits {
  Chip chip;
  // The product string a new image carries, as the device list names it.
  const char* name;
  // The default product ID, four hex digits.
  const char* product_id;
  // The message when the product ID belongs to the other chip.
  const char* selection_message;
  // The power byte of the image counts in these milliamperes; it is also the
  // smallest power the checks accept.
  int power_unit_ma;
  // Chip A edits the Super Speed row (High and Full are its halves), chip B
  // the High Speed row (Full is a copy).
  bool edits_super_speed;
  // The edited row's texts when the chip is selected.
  const char* bus_power_default;
  const char* self_power_default;
  const char* bus_power_too_low;
  const char* self_power_too_low;
  // The chip in the device column of Serial-MAC.log.
  const char* log_label;
};

inline constexpr ChipTraits kChipATraits = {
    .chip = Chip::kA,
    .name = "KM62058",
    .product_id = "0580",
    .selection_message = msg::kSelectionIsChipA,
    .power_unit_ma = 8,
    .edits_super_speed = true,
    .bus_power_default = "496",
    .self_power_default = "8",
    .bus_power_too_low = msg::kBusPowerBelow8,
    .self_power_too_low = msg::kSelfPowerBelow8,
    .log_label = "058",
};

inline constexpr ChipTraits kChipBTraits = {
    .chip = Chip::kB,
    .name = "KM62057D",
    .product_id = "057D",
    .selection_message = msg::kSelectionIsChipB,
    .power_unit_ma = 4,
    .edits_super_speed = false,
    .bus_power_default = "248",
    .self_power_default = "4",
    .bus_power_too_low = msg::kBusPowerBelow4,
    .self_power_too_low = msg::kSelfPowerBelow4,
    .log_label = "057D",
};

const ChipTraits& TraitsOf(Chip chip);
// The other chip's row: its product string and ID are corrected into ours.
const ChipTraits& OtherChipTraits(Chip chip);

// The row of a device selection's chip (chip A for selections 2 and 3).
inline const ChipTraits& TraitsOfSel(int device_sel) {
  return TraitsOf(ChipOf(device_sel));
}

// The low and high byte of a chip's product ID as the images store it.
std::uint8_t ProductIdLow(const ChipTraits& traits);
std::uint8_t ProductIdHigh(const ChipTraits& traits);

}  // namespace srom
