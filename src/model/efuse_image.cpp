#include "model/efuse_image.h"

#include <algorithm>
#include <array>

#include "model/byte_rules.h"
#include "model/checksum.h"
#include "model/efuse_layout.h"
#include "model/hex_text.h"
#include "model/srom_layout.h"

namespace srom {
namespace {

namespace E = efuse_layout;
namespace S = srom_layout;

constexpr std::array<std::uint8_t, 3> kLatencyBlock = {0x01, 0x65, 0x00};
constexpr std::array<std::uint8_t, 4> kFixed3B = {0x0D, 0x49, 0x90, 0x41};

constexpr ByteRule kEfuseRules[] = {
    {0x00, 0x00, RuleKind::kBit0Clear},
    {0x01, 0x0A, RuleKind::kAny},
    {0x0B, 0x0B, RuleKind::kOneOf, {0xE0, 0xE2}, 2},
    {0x0C, 0x0C, RuleKind::kOneOf, {0x80}, 1},
    {0x0D, 0x0D, RuleKind::kOneOf, {0x0B}, 1},
    {0x0E, 0x0E, RuleKind::kOneOf, {0x09}, 1},
    {0x0F, 0x0F, RuleKind::kOneOf, {0x04}, 1},
    {0x10, 0x10, RuleKind::kOneOf, {0x0B}, 1},
    {0x11, 0x11, RuleKind::kAny},
    {0x12, 0x12, RuleKind::kOneOf, {0x11}, 1},
    {0x13, 0x13, RuleKind::kAny},
    {0x14, 0x14, RuleKind::kOneOf, {0x16}, 1},
    {0x15, 0x15, RuleKind::kOneOf, {0x03}, 1},
    {0x16, 0x2B, RuleKind::kTextOrZero},
    {0x2C, 0x2E, RuleKind::kSequence, {}, 0, kLatencyBlock.data()},
    {0x2F, 0x2F, RuleKind::kOneOf, {0xF3}, 1},
    {0x30, 0x30, RuleKind::kOneOf, {0xFC, 0xFD, 0xFE, 0xFF}, 4},
    {0x31, 0x34, RuleKind::kAny},
    {0x35, 0x35, RuleKind::kOneOf, {0x40}, 1},
    {0x36, 0x36, RuleKind::kOneOf, {0x42, 0x4A}, 2},
    {0x37, 0x37, RuleKind::kOneOf, {0x40}, 1},
    {0x38, 0x38, RuleKind::kOneOf, {0x00}, 1},
    {0x39, 0x3A, RuleKind::kAny},
    {0x3B, 0x3E, RuleKind::kSequence, {}, 0, kFixed3B.data()},
    {0x3F, 0x3F, RuleKind::kBelow, {0xF0}},
};

}  // namespace

bool EfuseByteValid(std::size_t position, std::uint8_t value) {
  return RuleTableAccepts(kEfuseRules, position, value);
}

int FirstInvalidEfuseByte(std::span<const std::uint8_t> image) {
  const std::size_t count = std::min<std::size_t>(image.size(), kEfuseSize);
  for (std::size_t n = 0; n < count; ++n) {
    if (!EfuseByteValid(n, image[n])) return static_cast<int>(n);
  }
  return -1;
}

void StoreEfuseChecksum(std::span<std::uint8_t> image) {
  image[E::kChecksum] = 0xFF;
  image[E::kChecksum] = EfuseChecksum(image.first(kEfuseSize));
}

EfuseImage DefaultEfuseImageWithChecksum(Chip chip) {
  EfuseImage image = DefaultEfuseImage(chip);
  StoreEfuseChecksum(image);
  return image;
}

void ResetEfuseImageArea(ImageBuffer& buffer, int device_sel) {
  const EfuseImage image = DefaultEfuseImageWithChecksum(ChipOf(device_sel));
  std::copy(image.begin(), image.end(), ImageArea(buffer).begin());
}

void PutEfuseMac(std::span<std::uint8_t> image, std::uint64_t mac) {
  for (std::size_t n = 0; n < E::kMacBytes; ++n) {
    image[E::kMac + n] =
        static_cast<std::uint8_t>(mac >> (8 * (E::kMacBytes - 1 - n)));
  }
}

EfuseBuildResult BuildEfuseImage(ImageBuffer& buffer,
                                 const SromSettings& settings,
                                 const BoxTexts& boxes,
                                 const LastAccepted& accepted,
                                 NumericValues& values, int& image_size) {
  EfuseBuildResult result;
  result.failure = CheckEfuseMac(settings, boxes, accepted, values);
  if (result.failure) return result;

  FillImageHeader(buffer, settings.DeviceSel, settings.SromSize, image_size);
  // The last byte is left out of the blank test: the write sets it itself.
  if (IsImageAreaBlank(buffer, kEfuseSize - 1)) {
    ResetEfuseImageArea(buffer, settings.DeviceSel);
    result.loaded_default = true;
  }
  auto image = ImageArea(buffer).first<kEfuseSize>();
  PutEfuseMac(image, values.CurrentMacValue);
  if (settings.SerialNoType == kSerialFixed) {
    image[E::kFlag] |= E::kSerialTypeBit;
  } else {
    image[E::kFlag] &= static_cast<std::uint8_t>(~E::kSerialTypeBit);
  }
  StoreEfuseChecksum(image);
  return result;
}

EfuseImage DeriveEfuseImage(ImageBuffer& prev, int device_sel,
                            int serial_no_type) {
  auto eeprom = ImageArea(prev);
  if (serial_no_type == kSerialFixed) eeprom[S::kFlag] |= E::kSerialTypeBit;

  EfuseImage image = DefaultEfuseImage(ChipOf(device_sel));
  std::copy_n(eeprom.begin() + S::kMac, 8, image.begin() + E::kMac);
  std::copy_n(eeprom.begin() + S::kVendorId, 2, image.begin() + E::kVendorId);
  image[E::kBusPower] = eeprom[S::kBusPower];
  image[E::kProductLength] = eeprom[S::kProductLength];
  image[E::kManufacturerLength] = eeprom[S::kManufacturerLength];
  std::copy_n(eeprom.begin() + S::kProduct, E::kProductCapacity,
              image.begin() + E::kProduct);
  std::copy_n(eeprom.begin() + S::kManufacturer, E::kManufacturerCapacity,
              image.begin() + E::kManufacturer);
  image[E::kFlag] = eeprom[S::kFlag];
  image[E::kLedWord] = eeprom[S::kLedWord];
  image[E::kLedWord + 1] = eeprom[S::kLedWord + 1];
  image[E::kSelfPower] = eeprom[S::kSelfPower] & 0x0F;
  image[E::kChecksum] = EfuseChecksum(image);
  return image;
}

std::string EfuseMacText(std::span<const std::uint8_t> image) {
  std::string text;
  for (std::size_t n = 0; n < S::kMacBytes && n < image.size(); ++n) {
    text += FormatHex(image[E::kMac + n], 2);
  }
  return text;
}

}  // namespace srom
