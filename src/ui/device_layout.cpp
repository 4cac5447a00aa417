#include "ui/device_layout.h"

#include <algorithm>
#include <array>
#include <string>

#include "model/chip_traits.h"
#include "model/device_sel.h"
#include "ui/window_texts.h"

namespace srom {
namespace {

using C = ControlId;

// Shown in the EEPROM selections of both chips, hidden in the eFuse ones.
// The progress bar stays in every selection: an eFuse unit's rewrites can
// take many seconds, and the bar shows how far it is.
constexpr std::array kEepromOnly = {
    C::kSromSizeFrame,    C::kSromSize256,          C::kSromSize512,
    C::kSerialFrame,      C::kSerialCurrentLabel,   C::kCurrentSerial,
    C::kSerialMaximumLabel, C::kMaximumSerial,      C::kSerialIncrementLabel,
    C::kSerialIncrement,  C::kBasedOnMac,           C::kStringFrame,
    C::kManufacturerLabel, C::kManufacturer,        C::kProductLabel,
    C::kProduct,          C::kIdFrame,              C::kVendorIdLabel,
    C::kVendorId,         C::kProductIdLabel,       C::kProductId,
    C::kCharacteristicsFrame, C::kFlagLabel,        C::kFlagByte,
    C::kSwFieldLabel,     C::kSwField,              C::kPowerFrame,
    C::kHighSpeedLabel,   C::kHighBusPower,         C::kHighSelfPower,
    C::kFullSpeedLabel,   C::kFullBusPower,         C::kFullSelfPower,
    C::kLedFrame,         C::kLed0Label,            C::kLed0Active,
    C::kLed0Duplex,       C::kLed010Mbps,           C::kLed0100Mbps,
    C::kLed0Giga,         C::kLed1Label,            C::kLed1Active,
    C::kLed1Duplex,       C::kLed110Mbps,           C::kLed1100Mbps,
    C::kLed1Giga,         C::kLed2Label,            C::kLed2Active,
    C::kLed2Duplex,       C::kLed210Mbps,           C::kLed2100Mbps,
    C::kLed2Giga,         C::kErase,
    C::kConvertToEfuse,   C::kConvertToBin,         C::kLoadSrom,
    C::kAutoFrame,        C::kAuto,                 C::kDelayTimeLabel,
    C::kDelayTime,        C::kCountdownLabel,
};

// Chip A's EEPROM selection only: the Super Speed row and "USB3.0".
constexpr std::array kChipAEepromOnly = {
    C::kSuperSpeedLabel, C::kSuperBusPower, C::kSuperSelfPower,
    C::kLed0Usb3,        C::kLed1Usb3,      C::kLed2Usb3,
};

// The eFuse selections only.
constexpr std::array kEfuseOnly = {C::kCautionPicture};

constexpr auto kAllDependent = [] {
  std::array<ControlId, kEepromOnly.size() + kChipAEepromOnly.size() +
                            kEfuseOnly.size()>
      all{};
  std::size_t n = 0;
  for (ControlId id : kEepromOnly) all[n++] = id;
  for (ControlId id : kChipAEepromOnly) all[n++] = id;
  for (ControlId id : kEfuseOnly) all[n++] = id;
  return all;
}();

template <std::size_t N>
bool In(const std::array<ControlId, N>& list, ControlId id) {
  return std::find(list.begin(), list.end(), id) != list.end();
}

constexpr std::array kRangeControls = {
    C::kDeviceSel,     C::kMaximumMac,    C::kMacIncrement,
    C::kCurrentSerial, C::kMaximumSerial, C::kSerialIncrement,
    C::kVendorId,      C::kProductId,
};

constexpr std::array kOtherControls = {
    C::kSave,         C::kLoadEeprom,     C::kFlagByte,     C::kSwField,
    C::kSromSize256,  C::kSromSize512,    C::kManufacturer, C::kProduct,
    C::kBarCode,      C::kDefault,        C::kPreview,      C::kLoadSrom,
    C::kConvertToBin, C::kConvertToEfuse, C::kReload,       C::kBasedOnMac,
    C::kLed0Usb3,     C::kLed0Active,     C::kLed0Duplex,   C::kLed010Mbps,
    C::kLed0100Mbps,  C::kLed0Giga,       C::kLed1Usb3,     C::kLed1Active,
    C::kLed1Duplex,   C::kLed110Mbps,     C::kLed1100Mbps,  C::kLed1Giga,
    C::kLed2Usb3,     C::kLed2Active,     C::kLed2Duplex,   C::kLed210Mbps,
    C::kLed2100Mbps,  C::kLed2Giga,       C::kDump,
};

}  // namespace

std::optional<bool> VisibleIn(ControlId id, int device_sel) {
  const bool eeprom = IsEepromSel(device_sel);
  if (In(kEepromOnly, id)) return eeprom;
  if (In(kChipAEepromOnly, id)) return device_sel == kChipAEeprom;
  if (In(kEfuseOnly, id)) return IsEfuseSel(device_sel);
  return std::nullopt;
}

std::span<const ControlId> SelectionDependentControls() {
  return kAllDependent;
}

std::span<const ControlId> DisableSettingRangeControls() {
  return kRangeControls;
}

std::span<const ControlId> DisableSettingOtherControls() {
  return kOtherControls;
}

ControlId EditedBusPowerBox(int device_sel) {
  return device_sel == kChipAEeprom ? C::kSuperBusPower : C::kHighBusPower;
}

ControlId EditedSelfPowerBox(int device_sel) {
  return device_sel == kChipAEeprom ? C::kSuperSelfPower : C::kHighSelfPower;
}

std::string WindowTitle(int device_sel) {
  const std::string chip = TraitsOfSel(device_sel).name;
  const std::string kind = IsEfuseSel(device_sel) ? "(EFUSE) " : "(EEPROM) ";
  return "VELK " + chip + " Windows SROM Tool" + kind + kToolVersion;
}

const char* SaveButtonCaption(int device_sel) {
  return IsEfuseSel(device_sel) ? "Save Efuse" : "Save";
}

const char* LoadButtonCaption(int device_sel) {
  return IsEfuseSel(device_sel) ? "Load Efuse" : "Load EEPROM";
}

}  // namespace srom
