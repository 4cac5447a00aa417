#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "model/settings.h"
#include "model/validation.h"

namespace srom {
namespace {

using Edit = std::function<void(SromSettings&, BoxTexts&)>;

struct StepCase {
  const char* name;
  Edit edit;
  int step;
  const char* message;
  Field field;
  Remedy remedy;
  const char* put_back;  // the LastAccepted text, for put-backs
};

// Applies a record edit and shows the result in the boxes, as the exchange
// from the window leaves them.
Edit Record(std::function<void(SromSettings&)> f) {
  return [f](SromSettings& s, BoxTexts& b) {
    f(s);
    b = BoxTextsOf(s);
  };
}

class CheckDataCorrectStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(CheckDataCorrectStepTest, FailsWithTheStepsMessageAndRemedy) {
  const StepCase& c = GetParam();
  SromSettings s;
  LastAccepted accepted;
  accepted.BusPower = "400";  // distinguishable from the record's values
  BoxTexts boxes = BoxTextsOf(s);
  c.edit(s, boxes);
  NumericValues values;

  const auto failure = CheckDataCorrect(s, boxes, accepted, values);

  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->step, c.step);
  EXPECT_EQ(failure->message, c.message);
  EXPECT_EQ(failure->field, c.field);
  EXPECT_EQ(failure->remedy, c.remedy);
  EXPECT_EQ(failure->put_back_text, c.put_back);
}

const auto kPutBack = Remedy::kPutBack;
const auto kFocus = Remedy::kFocus;

INSTANTIATE_TEST_SUITE_P(
    Steps, CheckDataCorrectStepTest,
    ::testing::Values(
        StepCase{"ChipABusPowerBelow8",
                 Record([](auto& s) { s.SuperBusPower = "7"; }), 1,
                 "Bus Power Can not be less than 8", Field::kSuperBusPower,
                 kPutBack, "400"},
        StepCase{"ChipASelfPowerWithoutDigits",
                 Record([](auto& s) { s.SuperSelfPower = "x9"; }), 2,
                 "Self Power Can not be less than 8", Field::kSuperSelfPower,
                 kPutBack, "8"},
        StepCase{"ChipBBusPowerBelow4", Record([](auto& s) {
                   s.DeviceSel = kChipBEeprom;
                   s.HighBusPower = "3";
                 }),
                 3, "Bus Power Can not be less than 4", Field::kHighBusPower,
                 kPutBack, "400"},
        StepCase{"ChipBSelfPowerEmpty", Record([](auto& s) {
                   s.DeviceSel = kChipBEeprom;
                   s.HighSelfPower = "";
                 }),
                 4, "Self Power Can not be less than 4", Field::kHighSelfPower,
                 kPutBack, "8"},
        StepCase{"VendorIdShortInTheBox",
                 Record([](auto& s) { s.VendorId = "4C1"; }), 5,
                 "Wrong Vendor ID Length", Field::kVendorId, kPutBack, "4C1E"},
        StepCase{"ProductIdShortInTheBox",
                 Record([](auto& s) { s.ProductId = ""; }), 6,
                 "Wrong Product ID Length", Field::kProductId, kPutBack,
                 "0580"},
        StepCase{"VendorIdLowerCase",
                 Record([](auto& s) { s.VendorId = "4c1e"; }), 7,
                 "Vendor ID Got The Wrong Format", Field::kVendorId, kFocus,
                 ""},
        StepCase{"ProductIdNotHex",
                 Record([](auto& s) { s.ProductId = "05G0"; }), 8,
                 "Product ID Got The Wrong Format", Field::kProductId, kFocus,
                 ""},
        StepCase{"CurrentMacShort",
                 Record([](auto& s) { s.CurrentMac = "00000000001"; }), 9,
                 "Wrong Current Mac Address Length", Field::kCurrentMac,
                 kPutBack, "000000000001"},
        StepCase{"CurrentMacNotHex",
                 Record([](auto& s) { s.CurrentMac = "00000000000Z"; }), 10,
                 "Current Mac Address Got The Wrong Format",
                 Field::kCurrentMac, kFocus, ""},
        StepCase{"MaximumMacShort",
                 Record([](auto& s) { s.MaximumMac = "FFFF"; }), 11,
                 "Wrong Maximum Mac Address Length", Field::kMaximumMac,
                 kPutBack, "FFFFFFFFFFFF"},
        StepCase{"MaximumMacNotHex",
                 Record([](auto& s) { s.MaximumMac = "FFFFFFFFFFF-"; }), 12,
                 "Maximum Mac Address Got The Wrong Format",
                 Field::kMaximumMac, kFocus, ""},
        StepCase{"SwFieldShort", Record([](auto& s) { s.SwField = "FFF"; }),
                 13, "Wrong AutoDetach Field Length", Field::kSwField,
                 Remedy::kNone, ""},
        StepCase{"SwFieldNotHex", Record([](auto& s) { s.SwField = "FFFf"; }),
                 14, "SW Filed Got The Wrong Format", Field::kSwField, kFocus,
                 ""},
        StepCase{"MulticastFirstOctet",
                 Record([](auto& s) { s.CurrentMac = "010000000000"; }), 15,
                 "The bit 0 of the first Mac Address can't be 1",
                 Field::kCurrentMac, kPutBack, "000000000001"},
        StepCase{"MulticastEvenAboveMaximum", Record([](auto& s) {
                   s.CurrentMac = "030000000000";
                   s.MaximumMac = "020000000000";
                 }),
                 15, "The bit 0 of the first Mac Address can't be 1",
                 Field::kCurrentMac, kPutBack, "000000000001"},
        StepCase{"MacAboveMaximum", Record([](auto& s) {
                   s.CurrentMac = "000000010001";
                   s.MaximumMac = "000000010000";
                 }),
                 16, "Current Mac Address Exceeded Maximum Mac Address",
                 Field::kCurrentMac, kPutBack, "000000000001"},
        StepCase{"CurrentSerialShort",
                 Record([](auto& s) { s.CurrentSerial = "0000000000001"; }),
                 18, "Wrong Current Serial Number Length",
                 Field::kCurrentSerial, kPutBack, "00000000000001"},
        StepCase{"MaximumSerialShort",
                 Record([](auto& s) { s.MaximumSerial = "F"; }), 19,
                 "Wrong Maximum Serial Number Length", Field::kMaximumSerial,
                 kPutBack, "FFFFFFFFFFFFFF"},
        StepCase{"CurrentSerialNotHex",
                 Record([](auto& s) { s.CurrentSerial = "0000000000000g"; }),
                 20, "Current Serial Number Got The Wrong Format",
                 Field::kCurrentSerial, kFocus, ""},
        StepCase{"MaximumSerialNotHex",
                 Record([](auto& s) { s.MaximumSerial = " FFFFFFFFFFFFF"; }),
                 21, "Maximum Serial Number Got The Wrong Format",
                 Field::kMaximumSerial, kFocus, ""},
        StepCase{"SerialAboveMaximum", Record([](auto& s) {
                   s.CurrentSerial = "00000000000010";
                   s.MaximumSerial = "0000000000000F";
                 }),
                 22, "Current Serial Number Exceeded Maximum Serial Number",
                 Field::kCurrentSerial, kPutBack, "00000000000001"},
        StepCase{"FlagBit3", Record([](auto& s) { s.FlagByte = "08"; }), 25,
                 "For EEPROM Flag Byte, Bit 3 should be 0", Field::kFlagByte,
                 kPutBack, "73"},
        StepCase{"FlagNotHex", Record([](auto& s) { s.FlagByte = "0G"; }), 26,
                 "Flag Field Got The Wrong Format", Field::kFlagByte, kFocus,
                 ""},
        StepCase{"FlagEmpty", Record([](auto& s) { s.FlagByte = ""; }), 26,
                 "Flag Field Got The Wrong Format", Field::kFlagByte, kFocus,
                 ""},
        StepCase{"TwoFaultsGiveTheEarlierStep", Record([](auto& s) {
                   s.FlagByte = "08";
                   s.CurrentMac = "0000000000";
                 }),
                 9, "Wrong Current Mac Address Length", Field::kCurrentMac,
                 kPutBack, "000000000001"},
        // A put-back shows the accepted text in the box while the record
        // keeps the rejected one: the length test reads the box.
        StepCase{"LengthReadsTheBoxNotTheRecord",
                 [](SromSettings&, BoxTexts& b) { b.VendorId = "4C"; }, 5,
                 "Wrong Vendor ID Length", Field::kVendorId, kPutBack, "4C1E"},
        StepCase{"FormatReadsTheRecordNotTheBox",
                 [](SromSettings& s, BoxTexts&) { s.VendorId = "4C"; }, 7,
                 "Vendor ID Got The Wrong Format", Field::kVendorId, kFocus,
                 ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct PassCase {
  const char* name;
  std::function<void(SromSettings&)> edit;
};

class CheckDataCorrectPassTest : public ::testing::TestWithParam<PassCase> {};

TEST_P(CheckDataCorrectPassTest, Passes) {
  SromSettings s;
  GetParam().edit(s);
  NumericValues values;
  const auto failure = CheckDataCorrect(s, BoxTextsOf(s), LastAccepted{}, values);
  EXPECT_FALSE(failure.has_value()) << failure->message;
}

INSTANTIATE_TEST_SUITE_P(
    Edges, CheckDataCorrectPassTest,
    ::testing::Values(
        PassCase{"Initial", [](auto&) {}},
        PassCase{"MacEqualToMaximum",
                 [](auto& s) { s.MaximumMac = s.CurrentMac; }},
        PassCase{"FourthByteDecides",
                 [](auto& s) {
                   s.CurrentMac = "00000000FF00";
                   s.MaximumMac = "000000010000";
                 }},
        PassCase{"SerialEqualToMaximum",
                 [](auto& s) { s.MaximumSerial = s.CurrentSerial; }},
        PassCase{"ChipABusPower8", [](auto& s) { s.SuperBusPower = "8"; }},
        PassCase{"ChipAIgnoresHighSpeed",
                 [](auto& s) { s.HighBusPower = "0"; }},
        PassCase{"ChipBIgnoresSuperSpeed",
                 [](auto& s) {
                   s.DeviceSel = kChipBEeprom;
                   s.SuperBusPower = "0";
                 }},
        PassCase{"SingleDigitFlag", [](auto& s) { s.FlagByte = "7"; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckDataCorrectEffectsTest, StoresTheFourValuesOnSuccess) {
  SromSettings s;
  s.CurrentMac = "0A1B2C3D4E5F";
  s.CurrentSerial = "0123456789ABCD";
  NumericValues v;
  ASSERT_FALSE(CheckDataCorrect(s, BoxTextsOf(s), LastAccepted{}, v));
  EXPECT_EQ(v.CurrentMacValue, 0x0A1B2C3D4E5Full);
  EXPECT_EQ(v.MaximumMacValue, 0xFFFFFFFFFFFFull);
  EXPECT_EQ(v.CurrentSerialValue, 0x0123456789ABCDull);
  EXPECT_EQ(v.MaximumSerialValue, 0xFFFFFFFFFFFFFFull);
}

TEST(CheckDataCorrectEffectsTest, MacValuesStayWhenALaterStepFails) {
  SromSettings s;
  s.CurrentMac = "000000000042";
  s.CurrentSerial = "bad";
  NumericValues v;
  const auto failure = CheckDataCorrect(s, BoxTextsOf(s), LastAccepted{}, v);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->step, 18);
  EXPECT_EQ(v.CurrentMacValue, 0x42u);
  EXPECT_EQ(v.MaximumMacValue, 0xFFFFFFFFFFFFull);
  EXPECT_EQ(v.CurrentSerialValue, 0u);
}

TEST(CheckDataCorrectEffectsTest, BlankStringsTakeTheLastAcceptedText) {
  LastAccepted accepted;
  accepted.Manufacturer = "Accepted Maker";
  accepted.Product = "Accepted Product";
  const struct {
    const char* manufacturer;
    const char* product;
    const char* want_manufacturer;
    const char* want_product;
  } cases[] = {
      {"", "P", "Accepted Maker", "P"},
      {" Maker", "", "Accepted Maker", "Accepted Product"},
      {"Maker ", " ", "Maker ", "Accepted Product"},
  };
  for (const auto& c : cases) {
    SromSettings s;
    s.Manufacturer = c.manufacturer;
    s.Product = c.product;
    s.FlagByte = "08";  // the replacement happens before the flag checks
    NumericValues v;
    CheckDataCorrect(s, BoxTextsOf(s), accepted, v);
    EXPECT_EQ(s.Manufacturer, c.want_manufacturer);
    EXPECT_EQ(s.Product, c.want_product);
  }
}

TEST(CheckEfuseMacTest, StepsInOrder) {
  const struct {
    const char* current;
    const char* maximum;
    int step;
    const char* message;
    Remedy remedy;
  } cases[] = {
      {"00000000001", "FFFFFFFFFFFF", 1, "Wrong Current Mac Address Length",
       kPutBack},
      {"000000000001", "FFFFFFFFFF", 2, "Wrong Maximum Mac Address Length",
       kPutBack},
      // Non-hex characters would burn an arbitrary byte into the eFuse.
      {"0000000000G1", "FFFFFFFFFFFF", 2,
       "Current Mac Address Got The Wrong Format", kFocus},
      {"000000000001", "FFFFFFFFFFFf", 2,
       "Maximum Mac Address Got The Wrong Format", kFocus},
      {"010000000000", "FFFFFFFFFFFF", 3,
       "The bit 0 of the first Mac Address can't be 1", kPutBack},
      {"000000000002", "000000000001", 4,
       "Current efuse Mac Address Exceeded Maximum Mac Address", kPutBack},
  };
  for (const auto& c : cases) {
    SromSettings s;
    s.CurrentMac = c.current;
    s.MaximumMac = c.maximum;
    NumericValues v;
    const auto failure = CheckEfuseMac(s, BoxTextsOf(s), LastAccepted{}, v);
    ASSERT_TRUE(failure) << c.current;
    EXPECT_EQ(failure->step, c.step);
    EXPECT_EQ(failure->message, c.message);
    EXPECT_EQ(failure->remedy, c.remedy);
  }
}

TEST(CheckEfuseMacTest, StoresBothAddressesEvenAboveTheMaximum) {
  SromSettings s;
  s.CurrentMac = "000000000102";
  s.MaximumMac = "000000000101";
  NumericValues v;
  ASSERT_TRUE(CheckEfuseMac(s, BoxTextsOf(s), LastAccepted{}, v));
  EXPECT_EQ(v.CurrentMacValue, 0x102u);
  EXPECT_EQ(v.MaximumMacValue, 0x101u);
}

}  // namespace
}  // namespace srom
