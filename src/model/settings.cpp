#include "model/settings.h"

#include <limits>

namespace srom {

ChipProductDefaults ProductDefaultsOf(Chip chip) {
  return chip == Chip::kA ? ChipProductDefaults{"KM62058", "0580"}
                          : ChipProductDefaults{"KM62057D", "057D"};
}

void ApplyChipProductDefaults(SromSettings& settings, int new_device_sel) {
  if (!IsEepromSel(new_device_sel)) return;
  const Chip to = ChipOf(new_device_sel);
  const ChipProductDefaults mine = ProductDefaultsOf(to);
  const ChipProductDefaults other =
      ProductDefaultsOf(to == Chip::kA ? Chip::kB : Chip::kA);
  if (settings.Product == other.product) settings.Product = mine.product;
  if (settings.ProductId == other.product_id) {
    settings.ProductId = mine.product_id;
  }
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
  return ChipOf(settings.DeviceSel) == Chip::kA ? settings.SuperBusPower
                                                : settings.HighBusPower;
}

std::string& EditedSelfPower(SromSettings& settings) {
  return ChipOf(settings.DeviceSel) == Chip::kA ? settings.SuperSelfPower
                                                : settings.HighSelfPower;
}

void DerivePowerRows(SromSettings& settings) {
  if (ChipOf(settings.DeviceSel) == Chip::kA) {
    settings.HighBusPower =
        std::to_string(PowerValue(settings.SuperBusPower) / 2);
    settings.HighSelfPower =
        std::to_string(PowerValue(settings.SuperSelfPower) / 2);
  }
  settings.FullBusPower = settings.HighBusPower;
  settings.FullSelfPower = settings.HighSelfPower;
}

}  // namespace srom
