// The settings record the operator edits, with its initial values, the last
// accepted texts that a rejected edit is put back from, and the numbers the
// validation parses out of the MAC and serial texts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

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

inline constexpr int kLedCount = 3;

// The window programs up to six adapters in turn, one box and one picture
// each; a simulated bench holds as many.
inline constexpr int kAdapterSlots = 6;

// LED bits, one per check box of an LED.
inline constexpr std::uint8_t kLedActive = 0x01;
inline constexpr std::uint8_t kLed10Mbps = 0x02;
inline constexpr std::uint8_t kLed100Mbps = 0x04;
inline constexpr std::uint8_t kLedGiga = 0x08;
inline constexpr std::uint8_t kLedDuplex = 0x10;
inline constexpr std::uint8_t kLedValueMask = 0x1F;

// Serial number of a device without a serial string (the eFuse image).
enum SerialNoTypeValue : int {
  kSerialFromMac = 0,  // "Use Mac Address as Serial No."
  kSerialFixed = 1,    // "Fixed to 00000000000001"
};

// Every editable value of the main window. Texts hold exactly what the boxes
// show; hex fields are upper-case digits without separators.
struct SromSettings {
  int DeviceSel = kChipAEeprom;
  int SromSize = 0;  // 0 = 256 bytes, 1 = 512 bytes
  std::string CurrentMac = "000000000001";
  std::string MaximumMac = "FFFFFFFFFFFF";
  int MacIncrement = 1;  // 0..9, the index of the "Increase by" entry
  std::string CurrentSerial = "00000000000001";
  std::string MaximumSerial = "FFFFFFFFFFFFFF";
  int SerialIncrement = 1;
  bool BasedOnMac = false;
  std::string Manufacturer = "VELK Elec. Corp.";
  std::string Product = "KM62058";
  std::string VendorId = "4C1E";
  std::string ProductId = "0580";
  std::string SuperBusPower = "496";
  std::string SuperSelfPower = "8";
  std::string HighBusPower = "248";
  std::string HighSelfPower = "4";
  std::string FullBusPower = "248";
  std::string FullSelfPower = "4";
  std::string FlagByte = "73";
  std::string SwField = "FFFF";
  std::array<std::uint8_t, kLedCount> LedSetting = {0x01, 0x0E, 0x0F};
  std::uint16_t LedWord = 0xBDC1;
  std::array<bool, kLedCount> LedUsb3 = {false, false, false};
  int SerialNoType = kSerialFromMac;
  bool BarCode = false;
  bool Reload = false;
  bool DisableSetting = false;
  bool MultiEnable = false;
  bool AutoProgram = false;
  int DelayTime = 0;  // seconds, 0..15
  bool DeviceSelLock = false;
  // Set by the "Based On Mac Address" handler: true while the box is not
  // checked. False until the handler first runs.
  bool FixedSerial = false;
};

// The last accepted text of each field that a failed check can put back.
// Bus and self power hold the values of whichever speed the chip edits.
struct LastAccepted {
  std::string Manufacturer = "VELK Elec. Corp.";
  std::string Product = "KM62058";
  std::string VendorId = "4C1E";
  std::string ProductId = "0580";
  std::string CurrentMac = "000000000001";
  std::string MaximumMac = "FFFFFFFFFFFF";
  std::string CurrentSerial = "00000000000001";
  std::string MaximumSerial = "FFFFFFFFFFFFFF";
  std::string BusPower = "496";
  std::string SelfPower = "8";
  std::string FlagByte = "73";
};

// The MAC and serial texts read as numbers, first digit pair most significant.
// All zero until the first successful check.
struct NumericValues {
  std::uint64_t CurrentMacValue = 0;
  std::uint64_t MaximumMacValue = 0;
  std::uint64_t CurrentSerialValue = 0;
  std::uint64_t MaximumSerialValue = 0;
};

inline constexpr int kMacDigits = 12;
inline constexpr int kSerialDigits = 14;
inline constexpr int kIdDigits = 4;
inline constexpr int kFlagDigits = 2;
inline constexpr int kMaxStringChars = 24;  // product and manufacturer boxes

// When the selection changes to an EEPROM selection, the other chip's default
// product string and product ID (compared exactly) become this chip's. The
// eFuse selections change neither.
void ApplyChipProductDefaults(SromSettings& settings, int new_device_sel);

// In an EEPROM selection the product ID must not be the other chip's default:
// it is corrected into this chip's, and the message to show is returned.
// Nothing when the ID fits (or in an eFuse selection).
std::optional<std::string> CorrectProductIdForChip(SromSettings& settings);

// The power value of a decimal text: its leading digits, 0 when it has none.
// Saturates instead of overflowing on absurdly long texts.
std::uint32_t PowerValue(const std::string& text);

// A power box keeps its decimal digits only.
std::string PowerDigits(const std::string& text);

// The bus and self power texts that the chip of `device_sel` edits
// (Super Speed for chip A, High Speed for chip B).
std::string& EditedBusPower(SromSettings& settings);
std::string& EditedSelfPower(SromSettings& settings);
const std::string& EditedBusPower(const SromSettings& settings);
const std::string& EditedSelfPower(const SromSettings& settings);

// Keeps the derived power rows in step with the edited one: chip A halves the
// Super Speed values into High and Full Speed, chip B copies High to Full.
void DerivePowerRows(SromSettings& settings);

// The edited power row back at the chip's own texts ("496"/"8" for chip A,
// "248"/"4" for chip B), the derived rows following, as selecting the chip
// leaves them.
void PutChipPowerDefaults(SromSettings& settings);

}  // namespace srom
