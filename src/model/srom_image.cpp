#include "model/srom_image.h"

#include <algorithm>
#include <array>

#include "model/byte_rules.h"
#include "model/checksum.h"
#include "model/chip_traits.h"
#include "model/default_images.h"
#include "model/hex_text.h"
#include "model/srom_layout.h"

namespace srom {
namespace {

namespace L = srom_layout;

// The USB 3.0 BOS descriptor every image carries: a USB 2.0 extension and a
// SuperSpeed capability.
constexpr std::array<std::uint8_t, 22> kBosDescriptor = {
    0x05, 0x0F, 0x16, 0x00, 0x02,                               // header
    0x07, 0x10, 0x02, 0x02, 0x00, 0x00, 0x00,                   // USB 2.0 ext.
    0x0A, 0x10, 0x03, 0x00, 0x0E, 0x00, 0x01, 0x01, 0x65, 0x00  // SuperSpeed
};
constexpr std::array<std::uint8_t, 4> kFixed80 = {0x0D, 0x49, 0x90, 0x41};

constexpr ByteRule kSromRules[] = {
    {0x00, 0x0B, RuleKind::kAny},
    {0x0C, 0x0C, RuleKind::kOneOf, {0x00}, 1},
    {0x0D, 0x0D, RuleKind::kOneOf, {0xE0, 0xE2}, 2},
    {0x0E, 0x0F, RuleKind::kAtMost, {0x7C}},
    {0x10, 0x10, RuleKind::kOneOf, {0x80}, 1},
    {0x11, 0x11, RuleKind::kOneOf, {0x0B}, 1},
    {0x12, 0x12, RuleKind::kOneOf, {0x09}, 1},
    {0x13, 0x13, RuleKind::kOneOf, {0x04}, 1},
    {0x14, 0x14, RuleKind::kOneOf, {0x0E}, 1},
    {0x15, 0x15, RuleKind::kAtMost, {24}},
    {0x16, 0x16, RuleKind::kOneOf, {0x1A}, 1},
    {0x17, 0x17, RuleKind::kAtMost, {24}},
    {0x18, 0x18, RuleKind::kAny},
    {0x19, 0x19, RuleKind::kAtMost, {14}},
    {0x1A, 0x1A, RuleKind::kOneOf, {0x2D}, 1},
    {0x1B, 0x1B, RuleKind::kOneOf, {0x16}, 1},
    {0x1C, 0x4B, RuleKind::kAny},
    {0x4C, 0x59, RuleKind::kHexDigitChar},
    {0x5A, 0x6F, RuleKind::kSequence, {}, 0, kBosDescriptor.data()},
    {0x70, 0x77, RuleKind::kOneOf, {0x00}, 1},
    {0x78, 0x78, RuleKind::kOneOf, {0xF3}, 1},
    {0x79, 0x79, RuleKind::kOneOf, {0xFC, 0xFD, 0xFE, 0xFF}, 4},
    {0x7A, 0x7A, RuleKind::kOneOf, {0x40}, 1},
    {0x7B, 0x7B, RuleKind::kOneOf, {0x42, 0x4A}, 2},
    {0x7C, 0x7C, RuleKind::kOneOf, {0x40}, 1},
    {0x7D, 0x7D, RuleKind::kOneOf, {0x00}, 1},
    {0x7E, 0x7F, RuleKind::kAny},
    {0x80, 0x83, RuleKind::kSequence, {}, 0, kFixed80.data()},
    {0x84, 0x84, RuleKind::kAny},
    {0x85, 0x85, RuleKind::kBit7Set},
    {0x86, 0x89, RuleKind::kAny},
    {0x8A, kImageAreaSize - 1, RuleKind::kOneOf, {0xFF}, 1},
};

// A count or length goes into the image the way every field does: as hex
// text read back two digits at a time.
std::uint8_t ByteViaHexText(std::uint64_t n) {
  return HexPairToByte(FormatHex(n, 1));
}

void PutString(std::span<std::uint8_t, kImageAreaSize> area, std::size_t offset,
               const std::string& text) {
  for (std::size_t n = 0; n < L::kStringCapacity; ++n) {
    area[offset + n] =
        n < text.size() ? static_cast<std::uint8_t>(text[n]) : 0x00;
  }
}

}  // namespace

void PutSromMac(std::span<std::uint8_t, kImageAreaSize> area,
                const std::string& mac) {
  for (std::size_t n = 0; n < L::kMacBytes; ++n) {
    area[L::kMac + n] = HexPairAt(mac, n);
  }
}

void PutSromSerial(std::span<std::uint8_t, kImageAreaSize> area,
                   const std::string& serial) {
  const std::size_t chars = std::min(serial.size(), L::kSerialCapacity);
  std::copy_n(serial.begin(), chars, area.begin() + L::kSerial);
}

void BuildSromImage(ImageBuffer& buffer, const SromSettings& s) {
  auto area = ImageArea(buffer);
  PutSromMac(area, s.CurrentMac);
  area[L::kProductId] = HexPairAt(s.ProductId, 1);
  area[L::kProductId + 1] = HexPairAt(s.ProductId, 0);
  area[L::kVendorId] = HexPairAt(s.VendorId, 1);
  area[L::kVendorId + 1] = HexPairAt(s.VendorId, 0);
  area[L::kIdChecksum] = IdChecksum(area.subspan<L::kProductId, 4>());
  area[L::kFlag] = HexPairToByte(s.FlagByte);

  if (IsEepromSel(s.DeviceSel)) {
    const auto unit =
        static_cast<std::uint32_t>(TraitsOfSel(s.DeviceSel).power_unit_ma);
    area[L::kBusPower] = ByteViaHexText(PowerValue(EditedBusPower(s)) / unit);
    area[L::kSelfPower] = ByteViaHexText(PowerValue(EditedSelfPower(s)) / unit);
  }

  area[L::kProductLength] = ByteViaHexText(s.Product.size());
  area[L::kManufacturerLength] = ByteViaHexText(s.Manufacturer.size());
  area[L::kSerialLength] = ByteViaHexText(s.CurrentSerial.size());
  PutString(area, L::kProduct, s.Product);
  PutString(area, L::kManufacturer, s.Manufacturer);
  PutSromSerial(area, s.CurrentSerial);

  area[L::kLedWord] = static_cast<std::uint8_t>(s.LedWord & 0xFF);
  area[L::kLedWord + 1] = static_cast<std::uint8_t>(s.LedWord >> 8);
  area[L::kSwField] = HexPairAt(s.SwField, 1);
  area[L::kSwField + 1] = HexPairAt(s.SwField, 0);
  area[L::kForcedFF] = 0xFF;
  area[L::kForcedFF + 1] = 0xFF;
}

bool SromByteValid(std::size_t position, std::uint8_t value) {
  return RuleTableAccepts(kSromRules, position, value);
}

int FirstInvalidSromByte(const ImageBuffer& buffer, int image_size) {
  const auto area = ImageArea(buffer);
  const int count = std::clamp(image_size, 0, static_cast<int>(area.size()));
  for (int n = 0; n < count; ++n) {
    if (!SromByteValid(static_cast<std::size_t>(n), area[n])) return n;
  }
  return -1;
}

std::string FormatImagePreview(const ImageBuffer& buffer, int image_size) {
  const auto area = ImageArea(buffer);
  const int count = std::clamp(image_size, 0, static_cast<int>(area.size()));
  return FormatHexListing(area.first(static_cast<std::size_t>(count)), "\r\n",
                          true);
}

void LoadDefaultImageArea(ImageBuffer& buffer, int device_sel, int srom_size,
                          int& image_size) {
  buffer.fill(0xFF);
  image_size = EepromSizeOf(srom_size);
  if (!IsEepromSel(device_sel)) return;
  const SromDefault& image = DefaultSromImage(ChipOf(device_sel));
  std::copy_n(image.begin(), image_size, ImageArea(buffer).begin());
}

}  // namespace srom
