#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "model/settings.h"
#include "model/validation.h"

namespace srom {
namespace {

using Edit = std::function<void(SromSettings&, BoxTexts&)>;

struct CheckCase {
  const char* name;
  Edit edit;
  CheckId check;
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

class CheckDataCorrectCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckDataCorrectCheckTest, FailsWithTheChecksMessageAndRemedy) {
  const CheckCase& c = GetParam();
  SromSettings s;
  LastAccepted accepted;
  accepted.BusPower = "400";  // distinguishable from the record's values
  BoxTexts boxes = BoxTextsOf(s);
  c.edit(s, boxes);
  NumericValues values;

  const auto failure = CheckDataCorrect(s, boxes, accepted, values);

  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->check, c.check);
  EXPECT_EQ(failure->message, c.message);
  EXPECT_EQ(failure->field, c.field);
  EXPECT_EQ(failure->remedy, c.remedy);
  EXPECT_EQ(failure->put_back_text, c.put_back);
}

const auto kPutBack = Remedy::kPutBack;
const auto kFocus = Remedy::kFocus;

INSTANTIATE_TEST_SUITE_P(
    Checks, CheckDataCorrectCheckTest,
    ::testing::Values(
        CheckCase{"ChipABusPowerBelow8",
                  Record([](auto& s) { s.SuperBusPower = "7"; }),
                  CheckId::kBusPowerTooLow, "Bus Power Can not be less than 8",
                  Field::kSuperBusPower, kPutBack, "400"},
        CheckCase{"ChipASelfPowerWithoutDigits",
                  Record([](auto& s) { s.SuperSelfPower = "x9"; }),
                  CheckId::kSelfPowerTooLow,
                  "Self Power Can not be less than 8", Field::kSuperSelfPower,
                  kPutBack, "8"},
        CheckCase{"ChipBBusPowerBelow4", Record([](auto& s) {
                    s.DeviceSel = kChipBEeprom;
                    s.HighBusPower = "3";
                  }),
                  CheckId::kBusPowerTooLow, "Bus Power Can not be less than 4",
                  Field::kHighBusPower, kPutBack, "400"},
        CheckCase{"ChipBSelfPowerEmpty", Record([](auto& s) {
                    s.DeviceSel = kChipBEeprom;
                    s.HighSelfPower = "";
                  }),
                  CheckId::kSelfPowerTooLow,
                  "Self Power Can not be less than 4", Field::kHighSelfPower,
                  kPutBack, "8"},
        CheckCase{"VendorIdShortInTheBox",
                  Record([](auto& s) { s.VendorId = "4C1"; }),
                  CheckId::kVendorIdTooShort, "Wrong Vendor ID Length",
                  Field::kVendorId, kPutBack, "4C1E"},
        CheckCase{"ProductIdShortInTheBox",
                  Record([](auto& s) { s.ProductId = ""; }),
                  CheckId::kProductIdTooShort, "Wrong Product ID Length",
                  Field::kProductId, kPutBack, "0580"},
        CheckCase{"VendorIdLowerCase",
                  Record([](auto& s) { s.VendorId = "4c1e"; }),
                  CheckId::kVendorIdNotHex, "Vendor ID Got The Wrong Format",
                  Field::kVendorId, kFocus, ""},
        CheckCase{"ProductIdNotHex",
                  Record([](auto& s) { s.ProductId = "05G0"; }),
                  CheckId::kProductIdNotHex, "Product ID Got The Wrong Format",
                  Field::kProductId, kFocus, ""},
        CheckCase{"CurrentMacShort",
                  Record([](auto& s) { s.CurrentMac = "00000000001"; }),
                  CheckId::kCurrentMacTooShort,
                  "Wrong Current Mac Address Length", Field::kCurrentMac,
                  kPutBack, "000000000001"},
        CheckCase{"CurrentMacNotHex",
                  Record([](auto& s) { s.CurrentMac = "00000000000Z"; }),
                  CheckId::kCurrentMacNotHex,
                  "Current Mac Address Got The Wrong Format",
                  Field::kCurrentMac, kFocus, ""},
        CheckCase{
            "MaximumMacShort", Record([](auto& s) { s.MaximumMac = "FFFF"; }),
            CheckId::kMaximumMacTooShort, "Wrong Maximum Mac Address Length",
            Field::kMaximumMac, kPutBack, "FFFFFFFFFFFF"},
        CheckCase{"MaximumMacNotHex",
                  Record([](auto& s) { s.MaximumMac = "FFFFFFFFFFF-"; }),
                  CheckId::kMaximumMacNotHex,
                  "Maximum Mac Address Got The Wrong Format",
                  Field::kMaximumMac, kFocus, ""},
        CheckCase{"SwFieldShort", Record([](auto& s) { s.SwField = "FFF"; }),
                  CheckId::kSwFieldTooShort, "Wrong AutoDetach Field Length",
                  Field::kSwField, Remedy::kNone, ""},
        CheckCase{"SwFieldNotHex", Record([](auto& s) { s.SwField = "FFFf"; }),
                  CheckId::kSwFieldNotHex, "SW Filed Got The Wrong Format",
                  Field::kSwField, kFocus, ""},
        CheckCase{"MulticastFirstOctet",
                  Record([](auto& s) { s.CurrentMac = "010000000000"; }),
                  CheckId::kMacMulticast,
                  "The bit 0 of the first Mac Address can't be 1",
                  Field::kCurrentMac, kPutBack, "000000000001"},
        CheckCase{"MulticastEvenAboveMaximum", Record([](auto& s) {
                    s.CurrentMac = "030000000000";
                    s.MaximumMac = "020000000000";
                  }),
                  CheckId::kMacMulticast,
                  "The bit 0 of the first Mac Address can't be 1",
                  Field::kCurrentMac, kPutBack, "000000000001"},
        CheckCase{"MacAboveMaximum", Record([](auto& s) {
                    s.CurrentMac = "000000010001";
                    s.MaximumMac = "000000010000";
                  }),
                  CheckId::kMacAboveMaximum,
                  "Current Mac Address Exceeded Maximum Mac Address",
                  Field::kCurrentMac, kPutBack, "000000000001"},
        CheckCase{"CurrentSerialShort",
                  Record([](auto& s) { s.CurrentSerial = "0000000000001"; }),
                  CheckId::kCurrentSerialTooShort,
                  "Wrong Current Serial Number Length", Field::kCurrentSerial,
                  kPutBack, "00000000000001"},
        CheckCase{"MaximumSerialShort",
                  Record([](auto& s) { s.MaximumSerial = "F"; }),
                  CheckId::kMaximumSerialTooShort,
                  "Wrong Maximum Serial Number Length", Field::kMaximumSerial,
                  kPutBack, "FFFFFFFFFFFFFF"},
        CheckCase{"CurrentSerialNotHex",
                  Record([](auto& s) { s.CurrentSerial = "0000000000000g"; }),
                  CheckId::kCurrentSerialNotHex,
                  "Current Serial Number Got The Wrong Format",
                  Field::kCurrentSerial, kFocus, ""},
        CheckCase{"MaximumSerialNotHex",
                  Record([](auto& s) { s.MaximumSerial = " FFFFFFFFFFFFF"; }),
                  CheckId::kMaximumSerialNotHex,
                  "Maximum Serial Number Got The Wrong Format",
                  Field::kMaximumSerial, kFocus, ""},
        CheckCase{"SerialAboveMaximum", Record([](auto& s) {
                    s.CurrentSerial = "00000000000010";
                    s.MaximumSerial = "0000000000000F";
                  }),
                  CheckId::kSerialAboveMaximum,
                  "Current Serial Number Exceeded Maximum Serial Number",
                  Field::kCurrentSerial, kPutBack, "00000000000001"},
        CheckCase{"FlagBit3", Record([](auto& s) { s.FlagByte = "08"; }),
                  CheckId::kFlagBit3Set,
                  "For EEPROM Flag Byte, Bit 3 should be 0", Field::kFlagByte,
                  kPutBack, "73"},
        CheckCase{"FlagNotHex", Record([](auto& s) { s.FlagByte = "0G"; }),
                  CheckId::kFlagNotHex, "Flag Field Got The Wrong Format",
                  Field::kFlagByte, kFocus, ""},
        CheckCase{"FlagEmpty", Record([](auto& s) { s.FlagByte = ""; }),
                  CheckId::kFlagNotHex, "Flag Field Got The Wrong Format",
                  Field::kFlagByte, kFocus, ""},
        CheckCase{"TwoFaultsGiveTheEarlierCheck", Record([](auto& s) {
                    s.FlagByte = "08";
                    s.CurrentMac = "0000000000";
                  }),
                  CheckId::kCurrentMacTooShort,
                  "Wrong Current Mac Address Length", Field::kCurrentMac,
                  kPutBack, "000000000001"},
        // A put-back shows the accepted text in the box while the record
        // keeps the rejected one: the length test reads the box.
        CheckCase{"LengthReadsTheBoxNotTheRecord",
                  [](SromSettings&, BoxTexts& b) { b.VendorId = "4C"; },
                  CheckId::kVendorIdTooShort, "Wrong Vendor ID Length",
                  Field::kVendorId, kPutBack, "4C1E"},
        CheckCase{"FormatReadsTheRecordNotTheBox",
                  [](SromSettings& s, BoxTexts&) { s.VendorId = "4C"; },
                  CheckId::kVendorIdNotHex, "Vendor ID Got The Wrong Format",
                  Field::kVendorId, kFocus, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Texts longer than their boxes, and strings the settings file cannot hold:
// before these checks only the first digits reached the image (a wrong MAC
// address and PASS), or the unit was programmed and logged and only the save
// after it refused, leaving the MAC counter on disk behind.
// The same rows refuse the same texts in the eFuse selections, whose
// settings file is saved after every unit too.
const CheckCase kTooLongOrNotPrintable[] = {
    CheckCase{"VendorIdOfFiveDigits",
              Record([](auto& s) { s.VendorId = "4C1E0"; }),
              CheckId::kVendorIdTooLong, "Wrong Vendor ID Length",
              Field::kVendorId, kPutBack, "4C1E"},
    CheckCase{"ProductIdOfFiveDigits",
              Record([](auto& s) { s.ProductId = "05800"; }),
              CheckId::kProductIdTooLong, "Wrong Product ID Length",
              Field::kProductId, kPutBack, "0580"},
    CheckCase{"CurrentMacOf13Digits",
              Record([](auto& s) { s.CurrentMac = "0000000000010"; }),
              CheckId::kCurrentMacTooLong, "Wrong Current Mac Address Length",
              Field::kCurrentMac, kPutBack, "000000000001"},
    CheckCase{"CurrentMacOf14Digits",
              Record([](auto& s) { s.CurrentMac = "00000000000102"; }),
              CheckId::kCurrentMacTooLong, "Wrong Current Mac Address Length",
              Field::kCurrentMac, kPutBack, "000000000001"},
    // After a put-back the box shows the accepted text while the record
    // still holds the long one, and the record is what gets built.
    CheckCase{
        "CurrentMacLongInTheRecordOnly",
        [](SromSettings& s, BoxTexts&) { s.CurrentMac = "0000000000010"; },
        CheckId::kCurrentMacTooLong, "Wrong Current Mac Address Length",
        Field::kCurrentMac, kPutBack, "000000000001"},
    CheckCase{"MaximumMacOf13Digits",
              Record([](auto& s) { s.MaximumMac = "FFFFFFFFFFFF0"; }),
              CheckId::kMaximumMacTooLong, "Wrong Maximum Mac Address Length",
              Field::kMaximumMac, kPutBack, "FFFFFFFFFFFF"},
    // The SW field has no accepted text to go back to.
    CheckCase{"SwFieldOfFiveDigits",
              Record([](auto& s) { s.SwField = "FFFF0"; }),
              CheckId::kSwFieldTooLong, "Wrong AutoDetach Field Length",
              Field::kSwField, kFocus, ""},
    CheckCase{"CurrentSerialOf15Digits",
              Record([](auto& s) { s.CurrentSerial = "000000000000010"; }),
              CheckId::kCurrentSerialTooLong,
              "Wrong Current Serial Number Length", Field::kCurrentSerial,
              kPutBack, "00000000000001"},
    CheckCase{"MaximumSerialOf15Digits",
              Record([](auto& s) { s.MaximumSerial = "FFFFFFFFFFFFFFF"; }),
              CheckId::kMaximumSerialTooLong,
              "Wrong Maximum Serial Number Length", Field::kMaximumSerial,
              kPutBack, "FFFFFFFFFFFFFF"},
    CheckCase{"ManufacturerOf25Chars",
              Record([](auto& s) { s.Manufacturer = std::string(25, 'M'); }),
              CheckId::kManufacturerTooLong, "Wrong Manufacture String Length",
              Field::kManufacturer, kPutBack, "VELK Elec. Corp."},
    CheckCase{"ManufacturerWithADoubleQuote",
              Record([](auto& s) { s.Manufacturer = "VELK \"Elec\""; }),
              CheckId::kManufacturerNotPrintable,
              "Manufacture String Got The Wrong Format", Field::kManufacturer,
              kFocus, ""},
    CheckCase{"ManufacturerWithATab",
              Record([](auto& s) { s.Manufacturer = "VELK\tElec."; }),
              CheckId::kManufacturerNotPrintable,
              "Manufacture String Got The Wrong Format", Field::kManufacturer,
              kFocus, ""},
    CheckCase{"ManufacturerWithDel",
              Record([](auto& s) { s.Manufacturer = "VELK\x7F"; }),
              CheckId::kManufacturerNotPrintable,
              "Manufacture String Got The Wrong Format", Field::kManufacturer,
              kFocus, ""},
    CheckCase{"ProductOf25Chars",
              Record([](auto& s) { s.Product = std::string(25, 'P'); }),
              CheckId::kProductTooLong, "Wrong Product String Length",
              Field::kProduct, kPutBack, "KM62058"},
    CheckCase{"ProductWithADoubleQuote",
              Record([](auto& s) { s.Product = "KM\"62058"; }),
              CheckId::kProductNotPrintable,
              "Product String Got The Wrong Format", Field::kProduct, kFocus,
              ""},
    CheckCase{"ProductNotAscii",
              Record([](auto& s) { s.Product = "KM62058 \xC3\xBC"; }),
              CheckId::kProductNotPrintable,
              "Product String Got The Wrong Format", Field::kProduct, kFocus,
              ""},
    CheckCase{"FlagOfThreeDigits", Record([](auto& s) { s.FlagByte = "730"; }),
              CheckId::kFlagTooLong, "Wrong Flag Field Length",
              Field::kFlagByte, kPutBack, "73"},
    // Each new check stands beside the others of its field.
    CheckCase{"LongMacBeforeItsFormat",
              Record([](auto& s) { s.CurrentMac = "00000000000Z1"; }),
              CheckId::kCurrentMacTooLong, "Wrong Current Mac Address Length",
              Field::kCurrentMac, kPutBack, "000000000001"},
    CheckCase{"LongFlagBeforeItsBit3",
              Record([](auto& s) { s.FlagByte = "080"; }),
              CheckId::kFlagTooLong, "Wrong Flag Field Length",
              Field::kFlagByte, kPutBack, "73"},
};

INSTANTIATE_TEST_SUITE_P(TooLongOrNotPrintable, CheckDataCorrectCheckTest,
                         ::testing::ValuesIn(kTooLongOrNotPrintable),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

// In the EEPROM selections the serial's checks follow the MAC order check.
INSTANTIATE_TEST_SUITE_P(EepromOrder, CheckDataCorrectCheckTest,
                         ::testing::Values(CheckCase{
                             "LongSerialAfterTheMacOrder", Record([](auto& s) {
                               s.CurrentMac = "000000000002";
                               s.MaximumMac = "000000000001";
                               s.CurrentSerial = "000000000000010";
                             }),
                             CheckId::kMacAboveMaximum,
                             "Current Mac Address Exceeded Maximum Mac Address",
                             Field::kCurrentMac, kPutBack, "000000000001"}),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

struct PassCase {
  const char* name;
  std::function<void(SromSettings&)> edit;
};

class CheckDataCorrectPassTest : public ::testing::TestWithParam<PassCase> {};

TEST_P(CheckDataCorrectPassTest, Passes) {
  SromSettings s;
  GetParam().edit(s);
  NumericValues values;
  const auto failure =
      CheckDataCorrect(s, BoxTextsOf(s), LastAccepted{}, values);
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
        PassCase{"SingleDigitFlag", [](auto& s) { s.FlagByte = "7"; }},
        PassCase{"StringsOfExactly24PrintableChars",
                 [](auto& s) {
                   s.Manufacturer = "~ !#$%&'()*+,-./0:;<=>?@";
                   s.Product = "[\\]^_`{|}abcdefghijklmno";
                 }}),
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

TEST(CheckDataCorrectEffectsTest, MacValuesStayWhenALaterCheckFails) {
  SromSettings s;
  s.CurrentMac = "000000000042";
  s.CurrentSerial = "bad";
  NumericValues v;
  const auto failure = CheckDataCorrect(s, BoxTextsOf(s), LastAccepted{}, v);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->check, CheckId::kCurrentSerialTooShort);
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

TEST(CheckEfuseMacTest, ChecksInOrder) {
  const struct {
    const char* current;
    const char* maximum;
    CheckId check;
    const char* message;
    Remedy remedy;
  } cases[] = {
      {"00000000001", "FFFFFFFFFFFF", CheckId::kCurrentMacTooShort,
       "Wrong Current Mac Address Length", kPutBack},
      {"000000000001", "FFFFFFFFFF", CheckId::kMaximumMacTooShort,
       "Wrong Maximum Mac Address Length", kPutBack},
      // Non-hex characters would burn an arbitrary byte into the eFuse.
      {"0000000000G1", "FFFFFFFFFFFF", CheckId::kCurrentMacNotHex,
       "Current Mac Address Got The Wrong Format", kFocus},
      {"000000000001", "FFFFFFFFFFFf", CheckId::kMaximumMacNotHex,
       "Maximum Mac Address Got The Wrong Format", kFocus},
      {"010000000000", "FFFFFFFFFFFF", CheckId::kMacMulticast,
       "The bit 0 of the first Mac Address can't be 1", kPutBack},
      {"000000000002", "000000000001", CheckId::kMacAboveMaximum,
       "Current efuse Mac Address Exceeded Maximum Mac Address", kPutBack},
  };
  for (const auto& c : cases) {
    SromSettings s;
    s.CurrentMac = c.current;
    s.MaximumMac = c.maximum;
    NumericValues v;
    const auto failure = CheckEfuseMac(s, BoxTextsOf(s), LastAccepted{}, v);
    ASSERT_TRUE(failure) << c.current;
    EXPECT_EQ(failure->check, c.check);
    EXPECT_EQ(failure->message, c.message);
    EXPECT_EQ(failure->remedy, c.remedy);
  }
}

// The settings file is saved after every eFuse unit too: what it cannot hold
// is refused before a fuse is burnt.
class CheckEfuseMacCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckEfuseMacCheckTest, FailsWithTheChecksMessageAndRemedy) {
  const CheckCase& c = GetParam();
  SromSettings s;
  s.DeviceSel = kChipAEfuse;
  BoxTexts boxes = BoxTextsOf(s);
  c.edit(s, boxes);
  NumericValues values;

  const auto failure = CheckEfuseMac(s, boxes, LastAccepted{}, values);

  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->check, c.check);
  EXPECT_EQ(failure->message, c.message);
  EXPECT_EQ(failure->field, c.field);
  EXPECT_EQ(failure->remedy, c.remedy);
  EXPECT_EQ(failure->put_back_text, c.put_back);
}

INSTANTIATE_TEST_SUITE_P(TooLongOrNotPrintable, CheckEfuseMacCheckTest,
                         ::testing::ValuesIn(kTooLongOrNotPrintable),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

INSTANTIATE_TEST_SUITE_P(
    EfuseOrder, CheckEfuseMacCheckTest,
    ::testing::Values(
        CheckCase{"MaximumMacOf14Digits",
                  Record([](auto& s) { s.MaximumMac = "FFFFFFFFFFFFFF"; }),
                  CheckId::kMaximumMacTooLong,
                  "Wrong Maximum Mac Address Length", Field::kMaximumMac,
                  kPutBack, "FFFFFFFFFFFF"},
        CheckCase{"TheMacChecksComeFirst", Record([](auto& s) {
                    s.CurrentMac = "000000000002";
                    s.MaximumMac = "000000000001";
                    s.Product = "KM\"62058";
                  }),
                  CheckId::kMacAboveMaximum,
                  "Current efuse Mac Address Exceeded Maximum Mac Address",
                  Field::kCurrentMac, kPutBack, "000000000001"}),
    [](const auto& info) { return std::string(info.param.name); });

// The eFuse image takes only the MAC address: the other texts are checked
// for what the settings file needs, not for their digits.
TEST(CheckEfuseMacTest, OtherFieldsAreNotCheckedForTheirDigits) {
  SromSettings s;
  s.DeviceSel = kChipAEfuse;
  s.VendorId = "4c";
  s.SwField = "";
  s.CurrentSerial = "x";
  s.FlagByte = "08";
  s.Manufacturer = "";
  NumericValues v;
  const auto failure = CheckEfuseMac(s, BoxTextsOf(s), LastAccepted{}, v);
  EXPECT_FALSE(failure.has_value()) << failure->message;
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
