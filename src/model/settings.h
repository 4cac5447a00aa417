// The settings record the operator edits, with its initial values, the last
// accepted texts that a rejected edit is put back from, and the numbers the
// validation parses out of the MAC and serial texts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "model/chip_traits.h"
#include "model/device_sel.h"

namespace srom {

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
  // The initial selection's chip, chip A, with its Super Speed row edited
  // and halved into the High and Full Speed rows.
  std::string Product = kChipATraits.name;
  std::string VendorId = "4C1E";
  std::string ProductId = kChipATraits.product_id;
  std::string SuperBusPower = kChipATraits.bus_power_default;
  std::string SuperSelfPower = kChipATraits.self_power_default;
  std::string HighBusPower = kChipBTraits.bus_power_default;
  std::string HighSelfPower = kChipBTraits.self_power_default;
  std::string FullBusPower = kChipBTraits.bus_power_default;
  std::string FullSelfPower = kChipBTraits.self_power_default;
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
  // True while "Based On Mac Address" is not checked, once the operator has
  // clicked it; false until the first click (BasedOnMacClicked). Neither is
  // kept in the settings file.
  bool FixedSerial = false;
  bool BasedOnMacClicked = false;
};

// The last accepted text of each field that a failed check can put back.
// Bus and self power hold the values of whichever speed the chip edits.
struct LastAccepted {
  std::string Manufacturer = "VELK Elec. Corp.";
  std::string Product = kChipATraits.name;
  std::string VendorId = "4C1E";
  std::string ProductId = kChipATraits.product_id;
  std::string CurrentMac = "000000000001";
  std::string MaximumMac = "FFFFFFFFFFFF";
  std::string CurrentSerial = "00000000000001";
  std::string MaximumSerial = "FFFFFFFFFFFFFF";
  std::string BusPower = kChipATraits.bus_power_default;
  std::string SelfPower = kChipATraits.self_power_default;
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

// The edited power row back at the chip's own default texts, the derived rows
// following, as selecting the chip leaves them.
void PutChipPowerDefaults(SromSettings& settings);

}  // namespace srom
