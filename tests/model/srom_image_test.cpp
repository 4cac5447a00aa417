#include "model/srom_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/led_rules.h"
#include "model/settings.h"
#include "support/refresh_harness.h"
#include "test_bytes.h"

namespace srom {
namespace {

std::vector<std::uint8_t> Area(const ImageBuffer& b, std::size_t n) {
  const auto area = ImageArea(b);
  return std::vector<std::uint8_t>(area.begin(), area.begin() + n);
}

// The window's state around one refresh.
struct Window {
  SromSettings settings;
  LastAccepted accepted;
  NumericValues values;
  ImageBuffer prev = BlankBuffer();
  int image_size = 512;

  RefreshRun Refresh() {
    return RefreshWithoutWindow(prev, settings, accepted, values, image_size);
  }
};

struct DefaultBuildCase {
  const char* name;
  int device_sel;
  int srom_size;
  bool chip_b_product;
  std::string_view head;
  int size;
};

class InitialSettingsBuildTest
    : public ::testing::TestWithParam<DefaultBuildCase> {};

// Over a blank buffer the initial settings rebuild every field to the value
// the default image already holds, so the result is the default image.
TEST_P(InitialSettingsBuildTest, BlankBufferGivesTheChipsDefaultImage) {
  const auto& c = GetParam();
  Window w;
  w.settings.DeviceSel = c.device_sel;
  w.settings.SromSize = c.srom_size;
  if (c.chip_b_product) ApplyChipProductDefaults(w.settings, c.device_sel);

  const RefreshRun r = w.Refresh();

  ASSERT_FALSE(r.failure) << r.failure->message;
  EXPECT_TRUE(r.loaded_default);
  EXPECT_EQ(w.image_size, c.size);
  EXPECT_EQ(Area(w.prev, 512), test::SromDefaultBytes(c.head, 512))
      << "bytes past the image size stay 0xFF";
  const ImageHeader header = ReadImageHeader(w.prev);
  EXPECT_EQ(header.magic, kHeaderMagic);
  EXPECT_EQ(header.word_offset, 0);
  EXPECT_EQ(header.length_words, c.size / 2);
}

std::vector<std::uint8_t> HeadThenFF(std::string_view head, int size) {
  auto bytes = test::SromDefaultBytes(head, static_cast<std::size_t>(size));
  bytes.resize(512, 0xFF);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Selections, InitialSettingsBuildTest,
    ::testing::Values(DefaultBuildCase{"ChipA256", kChipAEeprom, 0, false,
                                       test::kChipASromHead, 256},
                      DefaultBuildCase{"ChipA512", kChipAEeprom, 1, false,
                                       test::kChipASromHead, 512},
                      DefaultBuildCase{"ChipB256", kChipBEeprom, 0, true,
                                       test::kChipBSromHead, 256}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadDefaultImageAreaTest, Size256LeavesTheUpperHalfBlank) {
  ImageBuffer b = BlankBuffer();
  b[0] = 0x00;
  int size = 0;
  LoadDefaultImageArea(b, kChipAEeprom, 0, size);
  EXPECT_EQ(size, 256);
  EXPECT_EQ(Area(b, 512), HeadThenFF(test::kChipASromHead, 256));
  EXPECT_EQ(b[0], 0xFF) << "the header bytes are refilled with 0xFF too";
}

TEST(LoadDefaultImageAreaTest, EfuseSelectionLeavesTheWholeBufferBlank) {
  ImageBuffer b{};
  int size = 0;
  LoadDefaultImageArea(b, kChipAEfuse, 1, size);
  EXPECT_EQ(b, BlankBuffer());
  EXPECT_EQ(size, 512);
}

struct FieldCase {
  const char* name;
  std::function<void(SromSettings&)> edit;
  std::size_t offset;
  std::vector<std::uint8_t> expected;
};

class BuildFieldTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(BuildFieldTest, WritesTheFieldAtItsOffset) {
  const auto& c = GetParam();
  Window w;
  c.edit(w.settings);
  const RefreshRun r = w.Refresh();
  ASSERT_FALSE(r.failure) << r.failure->message;
  const auto area = Area(w.prev, 512);
  EXPECT_EQ(
      std::vector<std::uint8_t>(area.begin() + c.offset,
                                area.begin() + c.offset + c.expected.size()),
      c.expected);
}

const std::string k24 = "ABCDEFGHIJKLMNOPQRSTUVWX";

const FieldCase kFieldCases[] = {
    FieldCase{"Product24FillsTheFieldWithoutTerminator",
              [](SromSettings& s) { s.Product = k24; }, 0x15,
              test::Bytes("18")},
    FieldCase{"Product24Bytes", [](SromSettings& s) { s.Product = k24; }, 0x1C,
              std::vector<std::uint8_t>(k24.begin(), k24.end())},
    FieldCase{"Product3ZeroFilled", [](SromSettings& s) { s.Product = "ABC"; },
              0x15, test::Bytes("03")},
    FieldCase{"Product3ZerosTo0x33", [](SromSettings& s) { s.Product = "ABC"; },
              0x1C,
              test::Bytes("41 42 43" + std::string(21 * 3, ' ') +
                          std::string(42, '0'))},
    FieldCase{"SuperBusPower15IsOneCount",
              [](SromSettings& s) { s.SuperBusPower = "15"; }, 0x0E,
              test::Bytes("01")},
    FieldCase{"SuperBusPower496Is62Counts",
              [](SromSettings& s) { s.SuperBusPower = "496"; }, 0x0E,
              test::Bytes("3E")},
    FieldCase{"ChipBHighBusPower248Is62Counts",
              [](SromSettings& s) {
                s.DeviceSel = kChipBEeprom;
                s.HighBusPower = "248";
                s.HighSelfPower = "16";
              },
              0x0E, test::Bytes("3E 04")},
    FieldCase{"ChipAIgnoresHighSpeedValues",
              [](SromSettings& s) { s.HighBusPower = "0"; }, 0x0E,
              test::Bytes("3E 01")},
    FieldCase{"SingleDigitFlag", [](SromSettings& s) { s.FlagByte = "7"; },
              0x0B, test::Bytes("07")},
    FieldCase{"SwFieldLowByteFirst",
              [](SromSettings& s) { s.SwField = "12AB"; }, 0x86,
              test::Bytes("AB 12 FF FF")},
    FieldCase{"IdsLittleEndianWithChecksum",
              [](SromSettings& s) {
                s.ProductId = "3412";
                s.VendorId = "7856";
              },
              0x06, test::Bytes("12 34 56 78 EA")},
    FieldCase{"MacFirstByteFirst",
              [](SromSettings& s) { s.CurrentMac = "0A1B2C3D4E5F"; }, 0x00,
              test::Bytes("0A 1B 2C 3D 4E 5F")},
    FieldCase{
        "LedWordLowByteFirst",
        [](SromSettings& s) { s.LedWord = ReplaceLedBits(s.LedWord, 1, 0x10); },
        0x84, test::Bytes("01 BE")},
    FieldCase{"SerialString",
              [](SromSettings& s) { s.CurrentSerial = "0123456789ABCD"; }, 0x4C,
              test::Bytes("30 31 32 33 34 35 36 37 38 39 41 42 43 44")}};

INSTANTIATE_TEST_SUITE_P(Fields, BuildFieldTest,
                         ::testing::ValuesIn(kFieldCases),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(BuildSromImageTest, CarriedBytesKeepWhatTheAreaHolds) {
  Window w;
  ASSERT_FALSE(w.Refresh().failure);
  auto area = ImageArea(w.prev);
  area[0x0C] = 0x5A;  // carried
  area[0x79] = 0xFC;  // carried
  area[0x88] = 0x00;  // forced back to 0xFF
  ASSERT_FALSE(w.Refresh().failure);
  EXPECT_EQ(area[0x0C], 0x5A);
  EXPECT_EQ(area[0x79], 0xFC);
  EXPECT_EQ(area[0x88], 0xFF);
}

// An eFuse image left in the area is not blank: the EEPROM build writes its
// fields over it and the carried bytes then break the byte rules.
TEST(BuildSromImageTest, EfuseImageInTheAreaIsBuiltOverNotReplaced) {
  Window w;
  std::fill_n(ImageArea(w.prev).begin(), 64, 0x11);
  const RefreshRun r = w.Refresh();
  ASSERT_FALSE(r.failure);
  EXPECT_FALSE(r.loaded_default);
  EXPECT_EQ(ImageArea(w.prev)[0x10], 0x11);
  EXPECT_EQ(FirstInvalidSromByte(w.prev, w.image_size), 0x0C);
}

TEST(BuildSromImageTest, FailedCheckLeavesTheBufferUntouched) {
  Window w;
  w.settings.VendorId = "4C1G";
  const ImageBuffer before = w.prev;
  const RefreshRun r = w.Refresh();
  ASSERT_TRUE(r.failure);
  EXPECT_EQ(r.failure->message, "Vendor ID Got The Wrong Format");
  EXPECT_EQ(w.prev, before);
}

TEST(FormatImagePreviewTest, SixteenBytesPerCrLfLine) {
  ImageBuffer b = BlankBuffer();
  int size = 0;
  LoadDefaultImageArea(b, kChipAEeprom, 0, size);
  const std::string listing = FormatImagePreview(b, 256);
  EXPECT_EQ(listing.size(), 16u * 50u);
  EXPECT_EQ(listing.substr(0, 50),
            "00 00 00 00 00 01 80 05 1E 4C 10 73 00 E0 3E 01 \r\n");
  EXPECT_EQ(listing.substr(8 * 50, 50),
            "0D 49 90 41 C1 BD FF FF FF FF FF FF FF FF FF FF \r\n");
  EXPECT_EQ(FormatImagePreview(b, 512).size(), 32u * 50u);
  EXPECT_EQ(FormatImagePreview(b, 64).size(), 4u * 50u);
}

struct HeaderCase {
  int device_sel;
  int srom_size;
  int size;
};

TEST(FillImageHeaderTest, SizeAndWordCountFollowTheSelection) {
  const HeaderCase cases[] = {{kChipBEeprom, 0, 256},
                              {kChipAEeprom, 1, 512},
                              {kChipBEfuse, 1, 64},
                              {kChipAEfuse, 0, 64},
                              {0x102, 0, 256}};
  for (const auto& c : cases) {
    ImageBuffer b = BlankBuffer();
    int size = 0;
    ASSERT_TRUE(FillImageHeader(b, c.device_sel, c.srom_size, size));
    EXPECT_EQ(size, c.size);
    const std::vector<std::uint8_t> head(b.begin(), b.begin() + 8);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{
                        'V', 'E', 'L', 'K', 0, 0,
                        static_cast<std::uint8_t>(c.size / 2 & 0xFF),
                        static_cast<std::uint8_t>(c.size / 2 >> 8)}))
        << "selection " << c.device_sel;
  }
  ImageBuffer b = BlankBuffer();
  int size = 77;
  EXPECT_FALSE(FillImageHeader(b, -1, 0, size));
  EXPECT_EQ(size, 77);
  EXPECT_EQ(b, BlankBuffer());
}

TEST(ChipProductDefaultsTest, OnlyExactDefaultsFollowTheChip) {
  struct Case {
    int to;
    const char* product;
    const char* product_id;
    const char* want_product;
    const char* want_id;
  };
  const Case cases[] = {
      {kChipAEeprom, "KM62057D", "057D", "KM62058", "0580"},
      {kChipBEeprom, "KM62058", "0580", "KM62057D", "057D"},
      {kChipAEeprom, "KM62057D ", "057d", "KM62057D ", "057d"},
      {kChipAEeprom, "km62057d", "1234", "km62057d", "1234"},
      {kChipAEfuse, "KM62057D", "057D", "KM62057D", "057D"},
  };
  for (const auto& c : cases) {
    SromSettings s;
    s.Product = c.product;
    s.ProductId = c.product_id;
    ApplyChipProductDefaults(s, c.to);
    EXPECT_EQ(s.Product, c.want_product);
    EXPECT_EQ(s.ProductId, c.want_id);
  }
}

}  // namespace
}  // namespace srom
