#include "model/srom_decode.h"

#include <algorithm>
#include <string>

#include "model/chip_traits.h"
#include "model/hex_text.h"
#include "model/led_rules.h"
#include "model/srom_layout.h"

namespace srom {
namespace {

namespace L = srom_layout;

std::string Hex2(std::uint8_t b) { return FormatHex(b, 2); }

std::string TextAt(std::span<const std::uint8_t, kImageAreaSize> area,
                   std::size_t offset, std::size_t length) {
  length = std::min(length, area.size() - offset);
  return std::string(area.begin() + offset, area.begin() + offset + length);
}

}  // namespace

void DecodeSromImage(const ImageBuffer& buffer, SromSettings& s) {
  const auto area = ImageArea(buffer);

  s.CurrentMac.clear();
  for (std::size_t n = 0; n < L::kMacBytes; ++n) {
    s.CurrentMac += Hex2(area[L::kMac + n]);
  }
  s.ProductId = Hex2(area[L::kProductId + 1]) + Hex2(area[L::kProductId]);
  s.VendorId = Hex2(area[L::kVendorId + 1]) + Hex2(area[L::kVendorId]);
  s.FlagByte = Hex2(area[L::kFlag]);

  if (IsEepromSel(s.DeviceSel)) {
    const int unit = TraitsOfSel(s.DeviceSel).power_unit_ma;
    EditedBusPower(s) = std::to_string(area[L::kBusPower] * unit);
    EditedSelfPower(s) = std::to_string(area[L::kSelfPower] * unit);
    DerivePowerRows(s);
  }

  s.Product = TextAt(area, L::kProduct, area[L::kProductLength]);
  s.Manufacturer = TextAt(area, L::kManufacturer, area[L::kManufacturerLength]);

  // The serial keeps the window's first two characters; image bytes 0x4C and
  // 0x4D are not read.
  const std::size_t len = s.CurrentSerial.size();
  if (len >= kSerialDigits) {
    s.CurrentSerial.erase(2, 12);
  } else if (len >= 3) {
    s.CurrentSerial.erase(2, len - 2);
  }
  s.CurrentSerial += TextAt(area, L::kSerial + 2, 12);

  s.SwField = Hex2(area[L::kSwField + 1]) + Hex2(area[L::kSwField]);

  s.LedWord = static_cast<std::uint16_t>(area[L::kLedWord + 1] << 8 |
                                         area[L::kLedWord]);
  for (int led = 0; led < kLedCount; ++led) {
    s.LedSetting[led] = LedBits(s.LedWord, led);
  }
}

}  // namespace srom
