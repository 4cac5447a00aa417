#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "model/checksum.h"
#include "model/hex_text.h"
#include "model/settings.h"

namespace srom {
namespace {

TEST(HexPairToByteTest, Table) {
  const struct {
    const char* text;
    std::uint8_t want;
  } cases[] = {
      {"73", 0x73},   {"ff", 0xFF}, {"7", 0x07}, {"7G", 0x70},
      {"ABCD", 0xAB}, {"0", 0x00},  {"", 0x00},  {"G1", 0x01},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HexPairToByte(c.text), c.want) << '"' << c.text << '"';
  }
}

TEST(HexTextTest, ValueAndFormat) {
  EXPECT_EQ(HexTextValue("0A1B2C3D4E5F", 12), 0x0A1B2C3D4E5Full);
  EXPECT_EQ(HexTextValue("FFFFFFFFFFFFFF", 14), 0xFFFFFFFFFFFFFFull);
  EXPECT_EQ(FormatHex(0x2A, 4), "002A");
  EXPECT_EQ(FormatHex(0x12345, 2), "12345");
  EXPECT_TRUE(HasHexDigits("0123456789ABCDEF", 16));
  EXPECT_FALSE(HasHexDigits("abc", 3));
  EXPECT_FALSE(HasHexDigits("12", 3));
}

// A MAC address's text and number, both ways, as the settings, the ledgers
// and the line pools all read and write them: lower case reads as upper,
// the text keeps its leading zeros, and a pool's next value past the last
// address keeps its thirteenth digit.
TEST(MacTextTest, ValueAndTextBothWays) {
  const struct {
    const char* text;
    std::uint64_t value;
    const char* written;
  } cases[] = {
      {"0A1B2C3D4E5F", 0x0A1B2C3D4E5Full, "0A1B2C3D4E5F"},
      {"0a1b2c3d4e5f", 0x0A1B2C3D4E5Full, "0A1B2C3D4E5F"},
      {"000000000001", 0x1ull, "000000000001"},
      {"FFFFFFFFFFFF", 0xFFFFFFFFFFFFull, "FFFFFFFFFFFF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MacValue(c.text), c.value) << c.text;
    EXPECT_EQ(MacText(c.value), c.written) << c.text;
  }
  EXPECT_EQ(MacText(0xFFFFFFFFFFFFull + 1), "1000000000000");
}

TEST(IdChecksumTest, EndAroundCarry) {
  const struct {
    std::array<std::uint8_t, 4> ids;
    std::uint8_t want;
  } cases[] = {
      {{0x12, 0x34, 0x56, 0x78}, 0xEA},  // 0x114 folds to 0x15
      {{0x80, 0x05, 0x1E, 0x4C}, 0x10},  // chip A's IDs, no carry
      {{0xFF, 0xFF, 0xFF, 0xFF}, 0x00},  // a carry at every byte
      {{0xFF, 0x01, 0x00, 0x00}, 0xFE},  // 0x100 folds to 0x01
      {{0x00, 0x00, 0x00, 0x00}, 0xFF},
  };
  for (const auto& c : cases) {
    const std::uint8_t sum = IdChecksum(c.ids);
    EXPECT_EQ(sum, c.want);
    // The consistency test the image loader applies.
    EXPECT_EQ((sum + EndAroundSum(c.ids)) % 256, 255);
  }
}

TEST(EfuseChecksumTest, ChecksumPlaceReadsAsFF) {
  std::array<std::uint8_t, 64> image{};
  image[0] = 0x01;
  image[0x32] = 0x00;
  // 0x01 + 0xFF = 0x100 folds to 0x01; 255 - 1.
  EXPECT_EQ(EfuseChecksum(image), 0xFE);
  image[0x32] = 0x77;
  EXPECT_EQ(EfuseChecksum(image), 0xFE);
}

TEST(PowerValueTest, LeadingDigitsOnly) {
  EXPECT_EQ(PowerValue("496"), 496u);
  EXPECT_EQ(PowerValue("12mA"), 12u);
  EXPECT_EQ(PowerValue(""), 0u);
  EXPECT_EQ(PowerValue(" 8"), 0u);
  EXPECT_GT(PowerValue(std::string(40, '9')), 1000000u) << "saturates";
}

}  // namespace
}  // namespace srom
