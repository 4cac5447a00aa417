#include "model/default_images.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_bytes.h"

namespace srom {
namespace {

using test::Bytes;

struct DefaultCase {
  const char* name;
  Chip chip;
  std::string_view srom_head;
  std::string_view efuse;
};

class DefaultImageTest : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(DefaultImageTest, EepromImageMatchesTheTableByteForByte) {
  const auto& c = GetParam();
  const SromDefault& image = DefaultSromImage(c.chip);
  EXPECT_EQ(std::vector<std::uint8_t>(image.begin(), image.end()),
            test::SromDefaultBytes(c.srom_head, 512));
}

TEST_P(DefaultImageTest, EfuseImageMatchesTheTableByteForByte) {
  const auto& c = GetParam();
  const EfuseImage& image = DefaultEfuseImage(c.chip);
  EXPECT_EQ(std::vector<std::uint8_t>(image.begin(), image.end()),
            Bytes(c.efuse));
}

INSTANTIATE_TEST_SUITE_P(
    Chips, DefaultImageTest,
    ::testing::Values(DefaultCase{"ChipA", Chip::kA, test::kChipASromHead,
                                  test::kChipAEfuse},
                      DefaultCase{"ChipB", Chip::kB, test::kChipBSromHead,
                                  test::kChipBEfuse}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace srom
