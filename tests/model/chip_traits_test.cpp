#include "model/chip_traits.h"

#include <gtest/gtest.h>

#include <string>

#include "model/default_images.h"
#include "model/settings.h"
#include "model/srom_layout.h"

namespace srom {
namespace {

namespace L = srom_layout;

// The chip table and the default images must tell the same story: a default
// image built from the table's power texts, names and IDs is the image the
// chip ships with.
TEST(ChipTraitsTest, AgreesWithTheChipsDefaultEepromImage) {
  for (const Chip chip : {Chip::kA, Chip::kB}) {
    const ChipTraits& traits = TraitsOf(chip);
    const SromDefault& image = DefaultSromImage(chip);
    const std::string name = traits.name;
    SCOPED_TRACE(name);
    EXPECT_EQ(image[L::kProductId], ProductIdLow(traits));
    EXPECT_EQ(image[L::kProductId + 1], ProductIdHigh(traits));
    EXPECT_EQ(image[L::kProductLength], name.size());
    EXPECT_EQ(std::string(image.begin() + L::kProduct,
                          image.begin() + L::kProduct + name.size()),
              name);
    EXPECT_EQ(image[L::kBusPower] * traits.power_unit_ma,
              std::stoi(traits.bus_power_default));
    EXPECT_EQ(image[L::kSelfPower] * traits.power_unit_ma,
              std::stoi(traits.self_power_default));
    EXPECT_EQ(DefaultEfuseImage(chip)[0x06], ProductIdLow(traits));
  }
}

// Each EEPROM selection edits its chip's row and starts from its defaults;
// the settings record's initial texts are chip A's.
TEST(ChipTraitsTest, SelectingAChipPutsItsPowerDefaultsIntoItsEditedRow) {
  const struct {
    int device_sel;
    const char* high_bus;
    const char* full_self;
  } cases[] = {
      {kChipAEeprom, "248", "4"},
      {kChipBEeprom, "248", "4"},
  };
  for (const auto& c : cases) {
    SromSettings s;
    s.DeviceSel = c.device_sel;
    s.SuperBusPower = "1";
    s.HighBusPower = "1";
    s.FullSelfPower = "1";
    PutChipPowerDefaults(s);
    EXPECT_EQ(EditedBusPower(s), TraitsOfSel(c.device_sel).bus_power_default);
    EXPECT_EQ(s.HighBusPower, c.high_bus) << c.device_sel;
    EXPECT_EQ(s.FullSelfPower, c.full_self) << c.device_sel;
  }
  const SromSettings initial;
  EXPECT_EQ(initial.SuperBusPower, TraitsOf(Chip::kA).bus_power_default);
  EXPECT_EQ(initial.SuperSelfPower, TraitsOf(Chip::kA).self_power_default);
}

TEST(ChipTraitsTest, TheOtherChipsProductIdIsCorrectedWithItsMessage) {
  const struct {
    int device_sel;
    const char* product_id;
    const char* want_id;
    bool message;
  } cases[] = {
      {kChipAEeprom, "057D", "0580", true},
      {kChipBEeprom, "0580", "057D", true},
      {kChipAEeprom, "0580", "0580", false},
      {kChipAEeprom, "1234", "1234", false},
      {kChipAEfuse, "057D", "057D", false},
  };
  for (const auto& c : cases) {
    SromSettings s;
    s.DeviceSel = c.device_sel;
    s.ProductId = c.product_id;
    const auto message = CorrectProductIdForChip(s);
    EXPECT_EQ(message.has_value(), c.message) << c.product_id;
    if (message) {
      EXPECT_EQ(*message, TraitsOfSel(c.device_sel).selection_message);
    }
    EXPECT_EQ(s.ProductId, c.want_id);
  }
}

}  // namespace
}  // namespace srom
