#include "model/default_images.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "model/checksum.h"
#include "model/chip_traits.h"

namespace srom {
namespace {

template <std::size_t N>
void Put(std::array<std::uint8_t, N>& image, std::size_t offset,
         std::initializer_list<std::uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), image.begin() + offset);
}

template <std::size_t N>
void PutText(std::array<std::uint8_t, N>& image, std::size_t offset,
             std::string_view text) {
  std::copy(text.begin(), text.end(), image.begin() + offset);
}

constexpr std::uint8_t kVendorIdLow = 0x1E;
constexpr std::uint8_t kVendorIdHigh = 0x4C;

struct ChipIdentity {
  std::string_view product;
  std::uint8_t product_id_low;
  std::uint8_t product_id_high;
};

ChipIdentity IdentityOf(Chip chip) {
  const ChipTraits& traits = TraitsOf(chip);
  return {traits.name, ProductIdLow(traits), ProductIdHigh(traits)};
}

SromDefault MakeSromDefault(Chip chip) {
  const ChipIdentity id = IdentityOf(chip);
  SromDefault image;
  image.fill(0xFF);
  Put(image, 0x00, {0x00, 0x00, 0x00, 0x00, 0x00, 0x01});
  Put(image, 0x06,
      {id.product_id_low, id.product_id_high, kVendorIdLow, kVendorIdHigh});
  image[0x0A] = IdChecksum(std::span<const std::uint8_t, 4>(&image[0x06], 4));
  Put(image, 0x0B,
      {0x73, 0x00, 0xE0, 0x3E, 0x01, 0x80, 0x0B, 0x09, 0x04, 0x0E,
       static_cast<std::uint8_t>(id.product.size()), 0x1A, 0x10, 0x26, 0x0E,
       0x2D, 0x16});
  std::fill(image.begin() + 0x1C, image.begin() + 0x4C, 0x00);
  PutText(image, 0x1C, id.product);
  PutText(image, 0x34, "VELK Elec. Corp.");
  PutText(image, 0x4C, "00000000000001");
  Put(image, 0x5A,
      {0x05, 0x0F, 0x16, 0x00, 0x02, 0x07, 0x10, 0x02, 0x02, 0x00, 0x00,
       0x00, 0x0A, 0x10, 0x03, 0x00, 0x0E, 0x00, 0x01, 0x01, 0x65, 0x00});
  std::fill(image.begin() + 0x70, image.begin() + 0x78, 0x00);
  Put(image, 0x78,
      {0xF3, 0xFF, 0x40, 0x4A, 0x40, 0x00, 0x40, 0x30, 0x0D, 0x49, 0x90, 0x41,
       0xC1, 0xBD});
  return image;
}

EfuseImage MakeEfuseDefault(Chip chip) {
  const ChipIdentity id = IdentityOf(chip);
  EfuseImage image;
  image.fill(0x00);
  Put(image, 0x00,
      {0x00,
       0x00,
       0x00,
       0x00,
       0x00,
       0x01,
       id.product_id_low,
       id.product_id_high,
       kVendorIdLow,
       kVendorIdHigh,
       0x3E,
       0xE0,
       0x80,
       0x0B,
       0x09,
       0x04,
       0x0B,
       static_cast<std::uint8_t>(id.product.size()),
       0x11,
       0x0A,
       0x16,
       0x03});
  PutText(image, 0x16, id.product);
  PutText(image, 0x22, "VELK Elec.");
  Put(image, 0x2C,
      {0x01, 0x65, 0x00, 0xF3, 0xFF, 0x73, 0xFF, 0xC1, 0xBD, 0x40,
       0x4A, 0x40, 0x00, 0x40, 0x30, 0x0D, 0x49, 0x90, 0x41, 0x01});
  return image;
}

}  // namespace

const SromDefault& DefaultSromImage(Chip chip) {
  static const SromDefault kChipA = MakeSromDefault(Chip::kA);
  static const SromDefault kChipB = MakeSromDefault(Chip::kB);
  return chip == Chip::kA ? kChipA : kChipB;
}

const EfuseImage& DefaultEfuseImage(Chip chip) {
  static const EfuseImage kChipA = MakeEfuseDefault(Chip::kA);
  static const EfuseImage kChipB = MakeEfuseDefault(Chip::kB);
  return chip == Chip::kA ? kChipA : kChipB;
}

}  // namespace srom
