#include "model/efuse_image.h"

#include <gtest/gtest.h>

#include <vector>

#include "model/checksum.h"
#include "model/srom_image.h"
#include "model/validation.h"
#include "support/refresh_harness.h"
#include "test_bytes.h"

namespace srom {
namespace {

std::vector<std::uint8_t> Efuse(const ImageBuffer& b) {
  const auto area = ImageArea(b);
  return std::vector<std::uint8_t>(area.begin(), area.begin() + 64);
}

std::vector<std::uint8_t> Expected(std::string_view hex, std::uint8_t sum) {
  auto bytes = test::Bytes(hex);
  bytes[0x32] = sum;
  return bytes;
}

struct Window {
  SromSettings settings;
  NumericValues values;
  ImageBuffer prev = BlankBuffer();
  int image_size = 512;

  EfuseBuildResult Build() {
    return BuildEfuseImage(prev, settings, BoxTextsOf(settings), LastAccepted{},
                           values, image_size);
  }
};

TEST(BuildEfuseImageTest, BlankAreaTakesTheChipsDefault) {
  const struct {
    int device_sel;
    std::string_view image;
    std::uint8_t sum;
  } cases[] = {{kChipAEfuse, test::kChipAEfuse, test::kChipAEfuseChecksum},
               {kChipBEfuse, test::kChipBEfuse, test::kChipBEfuseChecksum}};
  for (const auto& c : cases) {
    Window w;
    w.settings.DeviceSel = c.device_sel;
    w.settings.SerialNoType = kSerialFromMac;
    const EfuseBuildResult r = w.Build();
    ASSERT_FALSE(r.failure);
    EXPECT_TRUE(r.loaded_default);
    EXPECT_EQ(w.image_size, 64);
    EXPECT_EQ(ReadImageHeader(w.prev).length_words, 32);
    EXPECT_EQ(Efuse(w.prev), Expected(c.image, c.sum));
  }
}

// The last byte is not part of the blank test.
TEST(BuildEfuseImageTest, OnlyTheLastByteSetStillCountsAsBlank) {
  Window w;
  w.settings.DeviceSel = kChipAEfuse;
  ImageArea(w.prev)[0x3F] = 0x01;
  EXPECT_TRUE(w.Build().loaded_default);

  Window x;
  x.settings.DeviceSel = kChipAEfuse;
  ImageArea(x.prev)[0x3E] = 0x41;
  EXPECT_FALSE(x.Build().loaded_default);
}

TEST(BuildEfuseImageTest, ChangingTheMacChangesOnlyMacAndChecksum) {
  Window w;
  w.settings.DeviceSel = kChipAEfuse;
  ASSERT_FALSE(w.Build().failure);
  const auto before = Efuse(w.prev);

  w.settings.CurrentMac = "0A0B0C0D0E0F";
  ASSERT_FALSE(w.Build().failure);
  auto want = before;
  const std::uint8_t mac[] = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
  std::copy(std::begin(mac), std::end(mac), want.begin());
  want[0x32] = 0x7A;  // worked out by hand
  EXPECT_EQ(Efuse(w.prev), want);
}

TEST(BuildEfuseImageTest, SerialNoTypeSetsAndClearsFlagBit3) {
  Window w;
  w.settings.DeviceSel = kChipAEfuse;
  w.settings.CurrentMac = "0A0B0C0D0E0F";
  w.settings.SerialNoType = kSerialFixed;
  ASSERT_FALSE(w.Build().failure);
  EXPECT_EQ(ImageArea(w.prev)[0x31], 0x7B);
  EXPECT_EQ(ImageArea(w.prev)[0x32], 0x72);
  w.settings.SerialNoType = kSerialFromMac;
  ASSERT_FALSE(w.Build().failure);
  EXPECT_EQ(ImageArea(w.prev)[0x31], 0x73);
}

TEST(BuildEfuseImageTest, FailedMacCheckChangesNothing) {
  Window w;
  w.settings.DeviceSel = kChipAEfuse;
  w.settings.CurrentMac = "0000000000ZZ";
  const ImageBuffer before = w.prev;
  const EfuseBuildResult r = w.Build();
  ASSERT_TRUE(r.failure);
  EXPECT_EQ(r.failure->message, "Current Mac Address Got The Wrong Format");
  EXPECT_EQ(w.prev, before);
  EXPECT_EQ(w.image_size, 512);
}

// The refresh of an eFuse selection is the eFuse build, not the EEPROM one.
TEST(BuildEfuseImageTest, RefreshOfAnEfuseSelectionBuildsTheEfuseImage) {
  SromSettings s;
  s.DeviceSel = kChipBEfuse;
  s.FlagByte = "08";  // an EEPROM check would refuse this
  ImageBuffer b = BlankBuffer();
  NumericValues v;
  int size = 512;
  const RefreshRun r = RefreshWithoutWindow(b, s, LastAccepted{}, v, size);
  ASSERT_FALSE(r.failure);
  EXPECT_TRUE(r.built);
  EXPECT_EQ(Efuse(b), Expected(test::kChipBEfuse, test::kChipBEfuseChecksum));
}

ImageBuffer ChipAEepromImage(const std::string& manufacturer) {
  SromSettings s;
  s.Manufacturer = manufacturer;
  ImageBuffer b = BlankBuffer();
  NumericValues v;
  int size = 512;
  RefreshWithoutWindow(b, s, LastAccepted{}, v, size);
  return b;
}

TEST(DeriveEfuseImageTest, ChipADefaultsGiveTheDefaultEfuseImage) {
  ImageBuffer prev = ChipAEepromImage("VELK Elec.");
  ASSERT_FALSE(CheckEfuseConversionSizes(prev));
  const ImageBuffer before = prev;
  const EfuseImage image = DeriveEfuseImage(prev, kChipAEfuse, kSerialFromMac);
  EXPECT_EQ(std::vector<std::uint8_t>(image.begin(), image.end()),
            Expected(test::kChipAEfuse, test::kChipAEfuseChecksum));
  EXPECT_EQ(prev, before);
}

TEST(DeriveEfuseImageTest, FixedSerialSetsFlagBit3InBothImages) {
  ImageBuffer prev = ChipAEepromImage("VELK Elec.");
  const EfuseImage image = DeriveEfuseImage(prev, kChipAEfuse, kSerialFixed);
  EXPECT_EQ(image[0x31], 0x7B);
  EXPECT_EQ(ImageArea(prev)[0x0B], 0x7B);
  EXPECT_EQ(image[0x32], EfuseChecksum(image));
}

// An eFuse image starts from the default of the selection's chip, whichever
// selection of the chip asks for it: chip A's EEPROM selection once gave chip
// B's image.
TEST(ResetEfuseImageAreaTest, TheSelectionsChipGivesTheDefaultBytes) {
  const struct {
    int device_sel;
    std::uint8_t product_id_low;
    std::uint8_t product_length;
  } cases[] = {
      {kChipAEeprom, 0x80, 7},
      {kChipAEfuse, 0x80, 7},
      {kChipBEeprom, 0x7D, 8},
      {kChipBEfuse, 0x7D, 8},
  };
  for (const auto& c : cases) {
    ImageBuffer reset = BlankBuffer();
    ResetEfuseImageArea(reset, c.device_sel);
    EXPECT_EQ(ImageArea(reset)[0x06], c.product_id_low) << c.device_sel;
    EXPECT_EQ(ImageArea(reset)[0x11], c.product_length) << c.device_sel;
  }
}

TEST(DeriveEfuseImageTest, SelfPowerKeepsItsLowFourBits) {
  ImageBuffer prev = ChipAEepromImage("VELK Elec.");
  ImageArea(prev)[0x0F] = 0x0E;
  EXPECT_EQ(DeriveEfuseImage(prev, kChipBEfuse, kSerialFromMac)[0x3F], 0x0E);
}

TEST(CheckEfuseConversionSizesTest, LimitsOfTheEfuseImage) {
  const struct {
    std::size_t offset;
    std::uint8_t value;
    const char* message;  // nullptr: passes
  } cases[] = {
      {0x15, 12, nullptr}, {0x15, 13, "Product String is over 12 bytes"},
      {0x17, 10, nullptr}, {0x17, 11, "Manufacture String is over 10 bytes"},
      {0x0F, 15, nullptr}, {0x0F, 16, "Maximum Self Power is over 120mA"},
  };
  for (const auto& c : cases) {
    ImageBuffer prev = ChipAEepromImage("VELK Elec.");
    ImageArea(prev)[c.offset] = c.value;
    const auto failure = CheckEfuseConversionSizes(prev);
    if (c.message) {
      ASSERT_TRUE(failure) << c.offset;
      EXPECT_EQ(*failure, c.message);
    } else {
      EXPECT_FALSE(failure) << c.offset << ": " << *failure;
    }
  }
  EXPECT_EQ(CheckEfuseConversionSizes(ChipAEepromImage("VELK Elec. Corp.")),
            "Manufacture String is over 10 bytes");
}

TEST(EfuseImageTest, MacTextOfALoadedImage) {
  const auto image = test::Bytes(test::kChipAEfuse);
  EXPECT_EQ(EfuseMacText(image), "000000000001");
  const auto other = test::Bytes("0A 1B 2C 3D 4E 5F");
  EXPECT_EQ(EfuseMacText(other), "0A1B2C3D4E5F");
}

TEST(EfuseImageTest, DefaultImagesPassTheByteRules) {
  for (Chip chip : {Chip::kA, Chip::kB}) {
    EXPECT_EQ(FirstInvalidEfuseByte(DefaultEfuseImageWithChecksum(chip)), -1);
  }
  ImageBuffer b = BlankBuffer();
  int size = 0;
  LoadDefaultImageArea(b, kChipAEeprom, 1, size);
  EXPECT_EQ(FirstInvalidSromByte(b, 512), -1);
}

}  // namespace
}  // namespace srom
