// The device selection and the chip it names.
#pragma once

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
