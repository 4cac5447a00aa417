#include "model/settings.h"

#include <limits>

#include "model/chip_traits.h"

namespace srom {

void ApplyChipProductDefaults(SromSettings& settings, int new_device_sel) {
  if (!IsEepromSel(new_device_sel)) return;
  const Chip to = ChipOf(new_device_sel);
  const ChipTraits& mine = TraitsOf(to);
  const ChipTraits& other = OtherChipTraits(to);
  if (settings.Product == other.name) settings.Product = mine.name;
  if (settings.ProductId == other.product_id) {
    settings.ProductId = mine.product_id;
  }
}

std::optional<std::string> CorrectProductIdForChip(SromSettings& settings) {
  if (!IsEepromSel(settings.DeviceSel)) return std::nullopt;
  const Chip chip = ChipOf(settings.DeviceSel);
  if (settings.ProductId != OtherChipTraits(chip).product_id) {
    return std::nullopt;
  }
  const ChipTraits& mine = TraitsOf(chip);
  settings.ProductId = mine.product_id;
  return mine.selection_message;
}

std::string PowerDigits(const std::string& text) {
  std::string digits;
  for (const char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

std::uint32_t PowerValue(const std::string& text) {
  constexpr std::uint32_t kCap = std::numeric_limits<std::uint32_t>::max() / 10;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    if (value >= kCap) return kCap;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

std::string& EditedBusPower(SromSettings& settings) {
  return TraitsOfSel(settings.DeviceSel).edits_super_speed
             ? settings.SuperBusPower
             : settings.HighBusPower;
}

std::string& EditedSelfPower(SromSettings& settings) {
  return TraitsOfSel(settings.DeviceSel).edits_super_speed
             ? settings.SuperSelfPower
             : settings.HighSelfPower;
}

const std::string& EditedBusPower(const SromSettings& settings) {
  return TraitsOfSel(settings.DeviceSel).edits_super_speed
             ? settings.SuperBusPower
             : settings.HighBusPower;
}

const std::string& EditedSelfPower(const SromSettings& settings) {
  return TraitsOfSel(settings.DeviceSel).edits_super_speed
             ? settings.SuperSelfPower
             : settings.HighSelfPower;
}

void DerivePowerRows(SromSettings& settings) {
  if (TraitsOfSel(settings.DeviceSel).edits_super_speed) {
    settings.HighBusPower =
        std::to_string(PowerValue(settings.SuperBusPower) / 2);
    settings.HighSelfPower =
        std::to_string(PowerValue(settings.SuperSelfPower) / 2);
  }
  settings.FullBusPower = settings.HighBusPower;
  settings.FullSelfPower = settings.HighSelfPower;
}

void PutChipPowerDefaults(SromSettings& settings) {
  const ChipTraits& traits = TraitsOfSel(settings.DeviceSel);
  EditedBusPower(settings) = traits.bus_power_default;
  EditedSelfPower(settings) = traits.self_power_default;
  DerivePowerRows(settings);
}

}  // namespace srom
