// The device selection and the chip it names.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace srom {

// Device selection, as the "Device Sel." list orders it. Any other value
// (the list without a selection) builds nothing.
enum DeviceSelValue : int {
  kChipBEeprom = 0,
  kChipBEfuse = 1,
  kChipAEeprom = 2,
  kChipAEfuse = 3,
};

enum class Chip { kA, kB };

// The "Device Sel." list's entries, in the order above. A scan for several
// adapters looks for an adapter's chip label in the selected entry's text.
inline constexpr std::array<std::string_view, 4> kDeviceSelEntries = {
    "KM62057D with EEPROM",
    "KM62057D with EFUSE",
    "KM62058  with EEPROM",
    "KM62058  with EFUSE",
};

// The selected entry's text; empty for a value the list does not hold.
constexpr std::string_view DeviceSelEntry(int device_sel) {
  return device_sel >= 0 &&
                 device_sel < static_cast<int>(kDeviceSelEntries.size())
             ? kDeviceSelEntries[static_cast<std::size_t>(device_sel)]
             : std::string_view();
}

// Only the low eight bits of the list index count, as the window hands it over.
constexpr int NormalizeDeviceSel(int device_sel) { return device_sel & 0xFF; }
constexpr bool IsEepromSel(int device_sel) {
  const int sel = NormalizeDeviceSel(device_sel);
  return sel == kChipBEeprom || sel == kChipAEeprom;
}
constexpr bool IsEfuseSel(int device_sel) {
  const int sel = NormalizeDeviceSel(device_sel);
  return sel == kChipBEfuse || sel == kChipAEfuse;
}
constexpr bool IsValidDeviceSel(int device_sel) {
  return IsEepromSel(device_sel) || IsEfuseSel(device_sel);
}
// Chip A for selections 2 and 3, chip B otherwise.
constexpr Chip ChipOf(int device_sel) {
  const int sel = NormalizeDeviceSel(device_sel);
  return sel == kChipAEeprom || sel == kChipAEfuse ? Chip::kA : Chip::kB;
}

}  // namespace srom
