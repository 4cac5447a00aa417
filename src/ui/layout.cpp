#include "ui/layout.h"

#include "model/messages.h"

namespace srom {
namespace {

using enum ControlId;
using K = ControlKind;

// The smallest DLU rectangle at (x, y) that the dialog manager makes at
// least `pixels` large with the reference base units.
constexpr DluRect PictureRect(int x, int y, PixelSize pixels) {
  DluRect rect = {x, y, 0, 0};
  while (DluToPixelsX(rect.width, kReferenceBaseUnits) < pixels.width) {
    ++rect.width;
  }
  while (DluToPixelsY(rect.height, kReferenceBaseUnits) < pixels.height) {
    ++rect.height;
  }
  return rect;
}

constexpr PixelSize kAdapterPicturePixels = {16, 16};
// Wide enough for the pass and blank pictures and high enough for the fail
// picture, which is higher than it is wide.
constexpr PixelSize kResultPicturePixels = {154, 154};
constexpr PixelSize kCautionPicturePixels = {409, 167};

constexpr ControlLayout Control(ControlId id, ControlKind kind,
                                std::string_view caption, DluRect rect,
                                std::optional<ControlId> frame = std::nullopt) {
  return {id, kind, caption, rect, frame, {}, {}};
}

constexpr ControlLayout List(ControlId id, DluRect rect,
                             std::span<const std::string_view> entries,
                             std::optional<ControlId> frame = std::nullopt) {
  return {id, K::kDropDownList, "", rect, frame, entries, {}};
}

constexpr ControlLayout Picture(ControlId id, int x, int y, PixelSize pixels,
                                std::optional<ControlId> frame = std::nullopt) {
  return {id, K::kPicture, "", PictureRect(x, y, pixels), frame, {}, pixels};
}

// One LED row: its label and six check boxes, at row top `y`.
constexpr ControlLayout LedLabel(ControlId id, std::string_view caption,
                                 int y) {
  return Control(id, K::kLabel, caption, {13, y + 1, 21, 8}, kLedFrame);
}
constexpr ControlLayout LedBox(ControlId id, int column, int y) {
  struct Column {
    std::string_view caption;
    int x;
    int width;
  };
  constexpr Column kColumns[] = {
      {"USB3.0", 35, 35},  {"Active", 71, 35},   {"Duplex", 107, 35},
      {"10Mbps", 143, 35}, {"100Mbps", 179, 39}, {"Giga", 219, 29},
  };
  const Column& c = kColumns[column];
  return Control(id, K::kCheckBox, c.caption, {c.x, y, c.width, 10}, kLedFrame);
}

// The six adapters of "Multi EEPROM Program" in three rows of two, each
// check box with its picture at its left, wide enough for a caption such as
// "KM62058 (Ethernet 2)" in the window's font.
constexpr int AdapterX(int index) { return 262 + (index % 2) * 107; }
constexpr int AdapterY(int index) { return 275 + (index / 2) * 14; }
constexpr ControlLayout Adapter(ControlId id, std::string_view caption,
                                int index) {
  return Control(id, K::kCheckBox, caption,
                 {AdapterX(index) + 10, AdapterY(index), 97, 10}, kMultiFrame);
}
constexpr ControlLayout AdapterPic(ControlId id, int index) {
  return Picture(id, AdapterX(index), AdapterY(index), kAdapterPicturePixels,
                 kMultiFrame);
}

// The button block beside the result frame: two full-width rows, then two
// columns.
constexpr int kButtonLeft = 365;
constexpr int kButtonRight = 424;
constexpr int kButtonWidth = 54;
constexpr int ButtonRowY(int row) { return 135 + row * 18; }
constexpr ControlLayout Button(ControlId id, std::string_view caption, int x,
                               int row) {
  return Control(id, K::kPushButton, caption,
                 {x, ButtonRowY(row), kButtonWidth, 14});
}

constexpr std::array<ControlLayout, kControlCount> kLayouts = {{
    // Device row.
    Control(kDeviceSelLabel, K::kLabel, "Device Sel.", {7, 9, 46, 8}),
    List(kDeviceSel, {55, 7, 100, 12}, kDeviceSelEntries),
    Control(kLock, K::kCheckBox, "Lock", {159, 8, 30, 10}),
    // Never shown; it sits in the free corner by "Bar Code".
    Control(kDisableSetting, K::kCheckBox, "Disable Setting",
            {385, 349, 72, 10}),

    Control(kSromSizeFrame, K::kFrame, "SROM Size (bytes)",
            {133, 191, 120, 26}),
    Control(kSromSize256, K::kRadioButton, "256", {139, 203, 30, 10},
            kSromSizeFrame),
    Control(kSromSize512, K::kRadioButton, "512", {175, 203, 30, 10},
            kSromSizeFrame),

    Control(kMacFrame, K::kFrame, "Mac Address", {7, 23, 246, 42}),
    Control(kMacCurrentLabel, K::kLabel, "Current", {13, 36, 46, 8}, kMacFrame),
    Control(kCurrentMac, K::kEditBox, "", {61, 34, 56, 12}, kMacFrame),
    Control(kMacMaximumLabel, K::kLabel, "Maximum", {131, 36, 32, 8},
            kMacFrame),
    Control(kMaximumMac, K::kEditBox, "", {165, 34, 56, 12}, kMacFrame),
    Control(kMacIncrementLabel, K::kLabel, "Increase by", {13, 50, 46, 8},
            kMacFrame),
    List(kMacIncrement, {61, 48, 30, 12}, kIncrementEntries, kMacFrame),

    Control(kSerialFrame, K::kFrame, "Serial Number", {7, 69, 246, 42}),
    Control(kSerialCurrentLabel, K::kLabel, "Current", {13, 82, 46, 8},
            kSerialFrame),
    Control(kCurrentSerial, K::kEditBox, "", {61, 80, 64, 12}, kSerialFrame),
    Control(kSerialMaximumLabel, K::kLabel, "Maximum", {131, 82, 32, 8},
            kSerialFrame),
    Control(kMaximumSerial, K::kEditBox, "", {165, 80, 64, 12}, kSerialFrame),
    Control(kSerialIncrementLabel, K::kLabel, "Increase by", {13, 96, 46, 8},
            kSerialFrame),
    List(kSerialIncrement, {61, 94, 30, 12}, kIncrementEntries, kSerialFrame),
    Control(kBasedOnMac, K::kCheckBox, "Based On Mac Address",
            {131, 95, 96, 10}, kSerialFrame),

    Control(kStringFrame, K::kFrame, "String", {7, 115, 162, 42}),
    Control(kManufacturerLabel, K::kLabel, "Manufacture", {13, 128, 46, 8},
            kStringFrame),
    Control(kManufacturer, K::kEditBox, "", {61, 126, 104, 12}, kStringFrame),
    Control(kProductLabel, K::kLabel, "Product", {13, 142, 46, 8},
            kStringFrame),
    Control(kProduct, K::kEditBox, "", {61, 140, 104, 12}, kStringFrame),

    Control(kIdFrame, K::kFrame, "ID", {175, 115, 78, 42}),
    Control(kVendorIdLabel, K::kLabel, "Vendor", {181, 128, 30, 8}, kIdFrame),
    Control(kVendorId, K::kEditBox, "", {213, 126, 30, 12}, kIdFrame),
    Control(kProductIdLabel, K::kLabel, "Product", {181, 142, 30, 8}, kIdFrame),
    Control(kProductId, K::kEditBox, "", {213, 140, 30, 12}, kIdFrame),

    Control(kCharacteristicsFrame, K::kFrame, "Characteristics(Hex)",
            {133, 161, 120, 26}),
    Control(kFlagLabel, K::kLabel, "Flag", {139, 174, 18, 8},
            kCharacteristicsFrame),
    Control(kFlagByte, K::kEditBox, "", {159, 172, 16, 12},
            kCharacteristicsFrame),
    Control(kSwFieldLabel, K::kLabel, "SW Field  ", {181, 174, 40, 8},
            kCharacteristicsFrame),
    Control(kSwField, K::kEditBox, "", {223, 172, 24, 12},
            kCharacteristicsFrame),

    // Each speed's row: its label, the bus power box, the self power box.
    Control(kPowerFrame, K::kFrame, "Bus Power Self Power", {7, 161, 120, 56}),
    Control(kSuperSpeedLabel, K::kLabel, "Super Speed(mA)", {13, 174, 62, 8},
            kPowerFrame),
    Control(kSuperBusPower, K::kEditBox, "", {77, 172, 20, 12}, kPowerFrame),
    Control(kSuperSelfPower, K::kEditBox, "", {101, 172, 20, 12}, kPowerFrame),
    Control(kHighSpeedLabel, K::kLabel, "High Speed(mA)", {13, 188, 62, 8},
            kPowerFrame),
    Control(kHighBusPower, K::kEditBox, "", {77, 186, 20, 12}, kPowerFrame),
    Control(kHighSelfPower, K::kEditBox, "", {101, 186, 20, 12}, kPowerFrame),
    Control(kFullSpeedLabel, K::kLabel, "Full Speed(mA)", {13, 202, 62, 8},
            kPowerFrame),
    Control(kFullBusPower, K::kEditBox, "", {77, 200, 20, 12}, kPowerFrame),
    Control(kFullSelfPower, K::kEditBox, "", {101, 200, 20, 12}, kPowerFrame),

    Control(kLedFrame, K::kFrame, "LED Setting", {7, 221, 246, 56}),
    LedLabel(kLed0Label, "LED 0", 233),
    LedBox(kLed0Usb3, 0, 233),
    LedBox(kLed0Active, 1, 233),
    LedBox(kLed0Duplex, 2, 233),
    LedBox(kLed010Mbps, 3, 233),
    LedBox(kLed0100Mbps, 4, 233),
    LedBox(kLed0Giga, 5, 233),
    LedLabel(kLed1Label, "LED 1", 247),
    LedBox(kLed1Usb3, 0, 247),
    LedBox(kLed1Active, 1, 247),
    LedBox(kLed1Duplex, 2, 247),
    LedBox(kLed110Mbps, 3, 247),
    LedBox(kLed1100Mbps, 4, 247),
    LedBox(kLed1Giga, 5, 247),
    LedLabel(kLed2Label, "LED 2", 261),
    LedBox(kLed2Usb3, 0, 261),
    LedBox(kLed2Active, 1, 261),
    LedBox(kLed2Duplex, 2, 261),
    LedBox(kLed210Mbps, 3, 261),
    LedBox(kLed2100Mbps, 4, 261),
    LedBox(kLed2Giga, 5, 261),

    Control(kProgressBar, K::kProgressBar, "", {7, 333, 246, 10}),
    Control(kReloadFrame, K::kFrame, "Reload", {259, 337, 52, 26}),
    Control(kReload, K::kCheckBox, "Reload", {265, 349, 40, 10}, kReloadFrame),
    Control(kBarCodeFrame, K::kFrame, "Bar Code", {317, 337, 58, 26}),
    Control(kBarCode, K::kCheckBox, "Bar Code", {323, 349, 46, 10},
            kBarCodeFrame),
    Control(kConvertToBin, K::kPushButton, "Convert to Bin",
            {kButtonLeft, ButtonRowY(0), 113, 14}),
    Control(kConvertToEfuse, K::kPushButton, "Convert to EFuse",
            {kButtonLeft, ButtonRowY(1), 113, 14}),

    Control(kMultiFrame, K::kFrame, "Multi EEPROM Program",
            {259, 263, 219, 70}),
    Adapter(kAdapter1, "Adapter1", 0),
    Adapter(kAdapter2, "Adapter2", 1),
    Adapter(kAdapter3, "Adapter3", 2),
    Adapter(kAdapter4, "Adapter4", 3),
    Adapter(kAdapter5, "Adapter5", 4),
    Adapter(kAdapter6, "Adapter6", 5),
    AdapterPic(kAdapterPicture1, 0),
    AdapterPic(kAdapterPicture2, 1),
    AdapterPic(kAdapterPicture3, 2),
    AdapterPic(kAdapterPicture4, 3),
    AdapterPic(kAdapterPicture5, 4),
    AdapterPic(kAdapterPicture6, 5),
    Control(kMultiEnable, K::kCheckBox, "MultiEnable", {265, 318, 60, 10},
            kMultiFrame),
    Control(kScan, K::kPushButton, "Scan", {418, 316, 54, 14}, kMultiFrame),

    // The countdown's figures are 40 points high: the frame is tall enough
    // for them to be read from across the line.
    Control(kAutoFrame, K::kFrame, "Auto Progam", {7, 281, 246, 48}),
    Control(kAuto, K::kCheckBox, "Auto", {13, 299, 30, 10}, kAutoFrame),
    Control(kDelayTimeLabel, K::kLabel, "Delay time", {49, 300, 42, 8},
            kAutoFrame),
    Control(kDelayTime, K::kEditBox, "", {93, 298, 24, 12}, kAutoFrame),
    Control(kCountdownLabel, K::kLabel, "Static", {181, 290, 64, 36},
            kAutoFrame),

    Button(kProgram, "Program", kButtonLeft, 2),
    Button(kDump, "Dump", kButtonRight, 2),
    Button(kSave, "Save", kButtonLeft, 3),
    Button(kLoadEeprom, "Load EEPROM", kButtonRight, 3),
    Button(kLoadSrom, "Load SROM", kButtonLeft, 4),
    Control(
        kPreview, K::kPushButton, "Preview",
        {kPreviewEepromPosition.x, kPreviewEepromPosition.y, kButtonWidth, 14}),
    Button(kErase, "Erase", kButtonRight, 4),
    // Never shown.
    Button(kDefault, "Default", kButtonRight, 5),

    // 15 lines of the listing; the scroll bar reaches the rest.
    Control(kOutputBox, K::kOutputBox, "", {259, 7, 219, 124}),
    Control(kResultFrame, K::kFrame, "Result", {259, 135, 100, 124}),
    Picture(kResultPicture, 265, 146, kResultPicturePixels, kResultFrame),
    Control(kVerdictLabel, K::kLabel, "", {261, 237, 96, 16}, kResultFrame),
    Control(kStatusLabel, K::kLabel, msg::kStatusUnplugged, {7, 347, 246, 8}),
    // Over the place of the settings the eFuse layouts hide.
    Picture(kCautionPicture, 13, 69, kCautionPicturePixels),
}};

constexpr bool InControlIdOrder() {
  for (int i = 0; i < kControlCount; ++i) {
    if (kLayouts[i].id != static_cast<ControlId>(i)) return false;
  }
  return true;
}
static_assert(InControlIdOrder(), "one entry per ControlId, in its order");

}  // namespace

const ControlLayout& LayoutOf(ControlId id) {
  return kLayouts[static_cast<int>(id)];
}

bool StartsHidden(ControlId id) {
  return id == kDisableSetting || id == kDefault || id == kCautionPicture;
}

bool StartsDisabled(ControlId id) {
  return id == kHighBusPower || id == kHighSelfPower || id == kFullBusPower ||
         id == kFullSelfPower || (id >= kAdapter1 && id <= kAdapter6);
}

std::span<const ControlLayout> AllLayouts() { return kLayouts; }

}  // namespace srom
