// Every control of the main window, by one name each: boxes, lists, check
// boxes, buttons, frames, labels and pictures.
#pragma once

#include <array>
#include <string_view>

namespace srom {

enum class ControlId {
  // Device row.
  kDeviceSelLabel,
  kDeviceSel,
  kLock,
  kDisableSetting,
  // "SROM Size (bytes)".
  kSromSizeFrame,
  kSromSize256,
  kSromSize512,
  // "Mac Address".
  kMacFrame,
  kMacCurrentLabel,
  kCurrentMac,
  kMacMaximumLabel,
  kMaximumMac,
  kMacIncrementLabel,
  kMacIncrement,
  // "Serial Number".
  kSerialFrame,
  kSerialCurrentLabel,
  kCurrentSerial,
  kSerialMaximumLabel,
  kMaximumSerial,
  kSerialIncrementLabel,
  kSerialIncrement,
  kBasedOnMac,
  // "String".
  kStringFrame,
  kManufacturerLabel,
  kManufacturer,
  kProductLabel,
  kProduct,
  // "ID".
  kIdFrame,
  kVendorIdLabel,
  kVendorId,
  kProductIdLabel,
  kProductId,
  // "Characteristics(Hex)".
  kCharacteristicsFrame,
  kFlagLabel,
  kFlagByte,
  kSwFieldLabel,
  kSwField,
  // "Bus Power Self Power".
  kPowerFrame,
  kSuperSpeedLabel,
  kSuperBusPower,
  kSuperSelfPower,
  kHighSpeedLabel,
  kHighBusPower,
  kHighSelfPower,
  kFullSpeedLabel,
  kFullBusPower,
  kFullSelfPower,
  // "LED Setting": a label and six boxes per LED, in this order.
  kLedFrame,
  kLed0Label,
  kLed0Usb3,
  kLed0Active,
  kLed0Duplex,
  kLed010Mbps,
  kLed0100Mbps,
  kLed0Giga,
  kLed1Label,
  kLed1Usb3,
  kLed1Active,
  kLed1Duplex,
  kLed110Mbps,
  kLed1100Mbps,
  kLed1Giga,
  kLed2Label,
  kLed2Usb3,
  kLed2Active,
  kLed2Duplex,
  kLed210Mbps,
  kLed2100Mbps,
  kLed2Giga,
  kProgressBar,
  kReloadFrame,
  kReload,
  kBarCodeFrame,
  kBarCode,
  kConvertToBin,
  kConvertToEfuse,
  // "Multi EEPROM Program".
  kMultiFrame,
  kAdapter1,
  kAdapter2,
  kAdapter3,
  kAdapter4,
  kAdapter5,
  kAdapter6,
  kAdapterPicture1,
  kAdapterPicture2,
  kAdapterPicture3,
  kAdapterPicture4,
  kAdapterPicture5,
  kAdapterPicture6,
  kMultiEnable,
  kScan,
  // "Auto Progam".
  kAutoFrame,
  kAuto,
  kDelayTimeLabel,
  kDelayTime,
  kCountdownLabel,
  // Buttons.
  kProgram,
  kDump,
  kSave,
  kLoadEeprom,
  kLoadSrom,
  kPreview,
  kErase,
  kDefault,
  // Outputs.
  kOutputBox,
  kResultFrame,
  kResultPicture,
  // Below the result picture: the last unit's verdict and MAC address.
  kVerdictLabel,
  kStatusLabel,
  kCautionPicture,
  kCount,  // not a control
};

inline constexpr int kControlCount = static_cast<int>(ControlId::kCount);

// The LED boxes of one LED, by their bit: Active, 10Mbps, 100Mbps, Giga,
// Duplex; and the LED's "USB3.0" box.
ControlId LedBitBox(int led, int bit);
ControlId LedUsb3Box(int led);

ControlId AdapterBox(int index);      // 0..5
ControlId AdapterPicture(int index);  // 0..5

// A readable name for test output: "kCurrentMac".
std::string_view ControlName(ControlId id);

}  // namespace srom
