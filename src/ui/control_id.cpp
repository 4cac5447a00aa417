#include "ui/control_id.h"

namespace srom {
namespace {

constexpr std::array<std::string_view, kControlCount> kNames = {
    "kDeviceSelLabel",
    "kDeviceSel",
    "kLock",
    "kDisableSetting",
    "kSromSizeFrame",
    "kSromSize256",
    "kSromSize512",
    "kMacFrame",
    "kMacCurrentLabel",
    "kCurrentMac",
    "kMacMaximumLabel",
    "kMaximumMac",
    "kMacIncrementLabel",
    "kMacIncrement",
    "kSerialFrame",
    "kSerialCurrentLabel",
    "kCurrentSerial",
    "kSerialMaximumLabel",
    "kMaximumSerial",
    "kSerialIncrementLabel",
    "kSerialIncrement",
    "kBasedOnMac",
    "kStringFrame",
    "kManufacturerLabel",
    "kManufacturer",
    "kProductLabel",
    "kProduct",
    "kIdFrame",
    "kVendorIdLabel",
    "kVendorId",
    "kProductIdLabel",
    "kProductId",
    "kCharacteristicsFrame",
    "kFlagLabel",
    "kFlagByte",
    "kSwFieldLabel",
    "kSwField",
    "kPowerFrame",
    "kSuperSpeedLabel",
    "kSuperBusPower",
    "kSuperSelfPower",
    "kHighSpeedLabel",
    "kHighBusPower",
    "kHighSelfPower",
    "kFullSpeedLabel",
    "kFullBusPower",
    "kFullSelfPower",
    "kLedFrame",
    "kLed0Label",
    "kLed0Usb3",
    "kLed0Active",
    "kLed0Duplex",
    "kLed010Mbps",
    "kLed0100Mbps",
    "kLed0Giga",
    "kLed1Label",
    "kLed1Usb3",
    "kLed1Active",
    "kLed1Duplex",
    "kLed110Mbps",
    "kLed1100Mbps",
    "kLed1Giga",
    "kLed2Label",
    "kLed2Usb3",
    "kLed2Active",
    "kLed2Duplex",
    "kLed210Mbps",
    "kLed2100Mbps",
    "kLed2Giga",
    "kProgressBar",
    "kReloadFrame",
    "kReload",
    "kBarCodeFrame",
    "kBarCode",
    "kConvertToBin",
    "kConvertToEfuse",
    "kMultiFrame",
    "kAdapter1",
    "kAdapter2",
    "kAdapter3",
    "kAdapter4",
    "kAdapter5",
    "kAdapter6",
    "kAdapterPicture1",
    "kAdapterPicture2",
    "kAdapterPicture3",
    "kAdapterPicture4",
    "kAdapterPicture5",
    "kAdapterPicture6",
    "kMultiEnable",
    "kScan",
    "kAutoFrame",
    "kAuto",
    "kDelayTimeLabel",
    "kDelayTime",
    "kCountdownLabel",
    "kProgram",
    "kDump",
    "kSave",
    "kLoadEeprom",
    "kLoadSrom",
    "kPreview",
    "kErase",
    "kDefault",
    "kOutputBox",
    "kResultFrame",
    "kResultPicture",
    "kVerdictLabel",
    "kStatusLabel",
    "kCautionPicture",
};

constexpr ControlId At(int index) { return static_cast<ControlId>(index); }

}  // namespace

ControlId LedBitBox(int led, int bit) {
  // Each LED row holds its label, "USB3.0", "Active", "Duplex", "10Mbps",
  // "100Mbps" and "Giga".
  static constexpr int kOffsetOfBit[] = {2, 4, 5, 6, 3};
  return At(static_cast<int>(ControlId::kLed0Label) + led * 7 +
            kOffsetOfBit[bit]);
}

ControlId LedUsb3Box(int led) {
  return At(static_cast<int>(ControlId::kLed0Usb3) + led * 7);
}

ControlId AdapterBox(int index) {
  return At(static_cast<int>(ControlId::kAdapter1) + index);
}

ControlId AdapterPicture(int index) {
  return At(static_cast<int>(ControlId::kAdapterPicture1) + index);
}

std::string_view ControlName(ControlId id) {
  const int i = static_cast<int>(id);
  return i >= 0 && i < kControlCount ? kNames[i] : "kUnknown";
}

}  // namespace srom
