#include <gtest/gtest.h>

#include "model/led_rules.h"
#include "model/srom_decode.h"
#include "model/srom_image.h"
#include "support/refresh_harness.h"

namespace srom {
namespace {

ImageBuffer DefaultBuffer(int device_sel) {
  ImageBuffer b = BlankBuffer();
  int size = 0;
  LoadDefaultImageArea(b, device_sel, 1, size);
  return b;
}

TEST(DecodeSromImageTest, ReadsEveryBuiltField) {
  ImageBuffer b = DefaultBuffer(kChipAEeprom);
  auto area = ImageArea(b);
  const std::uint8_t mac[] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  std::copy(std::begin(mac), std::end(mac), area.begin());
  area[0x06] = 0x34;  // product ID 1234
  area[0x07] = 0x12;
  area[0x0B] = 0x61;
  area[0x15] = 3;
  area[0x17] = 2;
  area[0x86] = 0xCD;
  area[0x87] = 0xAB;
  SromSettings s;
  s.MaximumMac = "0000FFFFFFFF";  // not read

  DecodeSromImage(b, s);

  EXPECT_EQ(s.CurrentMac, "001A2B3C4D5E");
  EXPECT_EQ(s.ProductId, "1234");
  EXPECT_EQ(s.VendorId, "4C1E");
  EXPECT_EQ(s.FlagByte, "61");
  EXPECT_EQ(s.Product, "KM6");
  EXPECT_EQ(s.Manufacturer, "VE");
  EXPECT_EQ(s.SwField, "ABCD");
  EXPECT_EQ(s.MaximumMac, "0000FFFFFFFF");
  EXPECT_EQ(s.LedWord, 0xBDC1);
  EXPECT_EQ(s.LedSetting, (std::array<std::uint8_t, 3>{0x01, 0x0E, 0x0F}));
}

TEST(DecodeSromImageTest, PowerFollowsTheCurrentChip) {
  const struct {
    int device_sel;
    const char* super_bus;
    const char* super_self;
    const char* bus;  // High and Full Speed
    const char* self;
  } cases[] = {
      {kChipBEeprom, "496", "8", "248", "4"},  // Super Speed untouched
      {kChipAEeprom, "496", "8", "248", "4"},
      {kChipAEfuse, "1", "2", "3", "4"},  // nothing read
  };
  for (const auto& c : cases) {
    ImageBuffer b = DefaultBuffer(kChipBEeprom);  // bytes 0x3E, 0x01
    SromSettings s;
    s.DeviceSel = c.device_sel;
    if (c.device_sel == kChipAEfuse) {
      s.SuperBusPower = "1";
      s.SuperSelfPower = "2";
      s.HighBusPower = s.FullBusPower = "3";
      s.HighSelfPower = s.FullSelfPower = "4";
    }
    DecodeSromImage(b, s);
    EXPECT_EQ(s.SuperBusPower, c.super_bus) << c.device_sel;
    EXPECT_EQ(s.SuperSelfPower, c.super_self) << c.device_sel;
    EXPECT_EQ(s.HighBusPower, c.bus) << c.device_sel;
    EXPECT_EQ(s.FullBusPower, c.bus) << c.device_sel;
    EXPECT_EQ(s.HighSelfPower, c.self) << c.device_sel;
    EXPECT_EQ(s.FullSelfPower, c.self) << c.device_sel;
  }
}

TEST(DecodeSromImageTest, SerialKeepsTheWindowsFirstTwoCharacters) {
  const struct {
    const char* window;
    const char* want;
  } cases[] = {
      {"1A0000000000FF", "1A123456789ABC"},
      {"1A000", "1A123456789ABC"},
      {"Q", "Q123456789ABC"},
      {"", "123456789ABC"},
  };
  for (const auto& c : cases) {
    ImageBuffer b = DefaultBuffer(kChipAEeprom);
    const std::string image_serial = "ZZ123456789ABC";
    std::copy(image_serial.begin(), image_serial.end(),
              ImageArea(b).begin() + 0x4C);
    SromSettings s;
    s.CurrentSerial = c.window;
    DecodeSromImage(b, s);
    EXPECT_EQ(s.CurrentSerial, c.want) << c.window;
  }
}

TEST(DecodeSromImageTest, EmptyProductIsReplacedByTheNextRefresh) {
  ImageBuffer b = DefaultBuffer(kChipAEeprom);
  ImageArea(b)[0x15] = 0;
  SromSettings s;
  DecodeSromImage(b, s);
  EXPECT_EQ(s.Product, "");

  LastAccepted accepted;
  accepted.Product = "Last Product";
  NumericValues v;
  int size = 512;
  ASSERT_FALSE(RefreshWithoutWindow(b, s, accepted, v, size).failure);
  EXPECT_EQ(s.Product, "Last Product");
  EXPECT_EQ(ImageArea(b)[0x15], 12);
}

// A Duplex LED comes back as exactly 0x10 and the rebuilt image stores it.
TEST(LedRulesTest, DuplexLedDecodesTo0x10AndIsRebuilt) {
  ImageBuffer b = DefaultBuffer(kChipAEeprom);
  const std::uint16_t word = ReplaceLedBits(0xBDC1, 1, 0x13);
  ImageArea(b)[0x84] = static_cast<std::uint8_t>(word & 0xFF);
  ImageArea(b)[0x85] = static_cast<std::uint8_t>(word >> 8);
  SromSettings s;
  s.LedUsb3 = {false, false, false};
  DecodeSromImage(b, s);
  EXPECT_EQ(s.LedSetting[1], 0x13);

  ApplyLedRules(s);
  EXPECT_EQ(s.LedSetting[1], 0x10);
  NumericValues v;
  int size = 512;
  ASSERT_FALSE(RefreshWithoutWindow(b, s, LastAccepted{}, v, size).failure);
  const std::uint16_t stored =
      static_cast<std::uint16_t>(ImageArea(b)[0x85] << 8 | ImageArea(b)[0x84]);
  EXPECT_EQ(LedBits(stored, 1), 0x10);
  EXPECT_EQ(stored, ReplaceLedBits(0xBDC1, 1, 0x10));
}

TEST(LedRulesTest, RulesPerLed) {
  const struct {
    std::uint8_t value;
    bool usb3;
    std::uint8_t want;
  } cases[] = {
      {0x0F, false, 0x0F}, {0x13, false, 0x10}, {0x1F, false, 0x10},
      {0x0F, true, 0x00},  {0x10, true, 0x00},  {0x00, false, 0x00},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LedValueAfterRules(c.value, c.usb3), c.want)
        << int(c.value) << " usb3 " << c.usb3;
  }
}

TEST(LedRulesTest, ReplacingAnLedKeepsTheOtherBitsAndBit15) {
  EXPECT_EQ(ReplaceLedBits(0xBDC1, 0, 0x10), 0xBDD0);
  EXPECT_EQ(ReplaceLedBits(0xBDC1, 2, 0x00), 0x81C1);
  EXPECT_EQ(ReplaceLedBits(0x0000, 2, 0xFF), 0x7C00) << "only five bits";
  // The initial word stands for LEDs 0x01, 0x0E, 0x0F with bit 15 set.
  EXPECT_EQ(LedBits(0xBDC1, 0), 0x01);
  EXPECT_EQ(LedBits(0xBDC1, 1), 0x0E);
  EXPECT_EQ(LedBits(0xBDC1, 2), 0x0F);
}

TEST(LedRulesTest, Usb3LedIsClearedInTheWord) {
  SromSettings s;
  s.LedUsb3 = {false, false, true};
  ApplyLedRules(s);
  EXPECT_EQ(s.LedSetting, (std::array<std::uint8_t, 3>{0x01, 0x0E, 0x00}));
  EXPECT_EQ(s.LedWord, 0x81C1);
}

}  // namespace
}  // namespace srom
