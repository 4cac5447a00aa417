#include "model/stepping.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/validation.h"

namespace srom {
namespace {

// The window after a successful check of the given texts, stepping one
// verified unit with `step` (read again from the list unchanged).
struct StepCase {
  const char* name;
  const char* mac;
  const char* max_mac;
  const char* serial;
  const char* max_serial;
  int step;
  bool based_on_mac;
  bool bar_code;
  int reread_step;  // -1: same as step
  const char* want_mac;
  const char* want_serial;
  std::vector<std::string> want_notices;
};

class StepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(StepTest, StepsMacThenSerial) {
  const StepCase& c = GetParam();
  SromSettings s;
  s.CurrentMac = c.mac;
  s.MaximumMac = c.max_mac;
  s.CurrentSerial = c.serial;
  s.MaximumSerial = c.max_serial;
  s.BasedOnMac = c.based_on_mac;
  s.BarCode = c.bar_code;
  NumericValues v;
  const auto failure = CheckDataCorrect(s, BoxTextsOf(s), LastAccepted{}, v);
  ASSERT_FALSE(failure) << failure->message;

  const int reread = c.reread_step < 0 ? c.step : c.reread_step;
  Notices notices = StepMacAddress(s, v, {c.step, reread, v.CurrentMacValue});
  const Notices serial_notices =
      StepSerialNumber(s, v, {c.step, reread, v.CurrentSerialValue});
  notices.insert(notices.end(), serial_notices.begin(), serial_notices.end());

  EXPECT_EQ(s.CurrentMac, c.want_mac);
  EXPECT_EQ(s.CurrentSerial, c.want_serial);
  EXPECT_EQ(notices, c.want_notices);
}

const char* kMaxMac = "FFFFFFFFFFFF";
const char* kMaxSerial = "FFFFFFFFFFFFFF";
const char* kSerial1 = "00000000000001";

INSTANTIATE_TEST_SUITE_P(
    Edges, StepTest,
    ::testing::Values(StepCase{"PlainStep",
                               "000000000001",
                               kMaxMac,
                               kSerial1,
                               kMaxSerial,
                               1,
                               false,
                               false,
                               -1,
                               "000000000002",
                               "00000000000002",
                               {}},
                      StepCase{"MulticastRangeIsSkipped",
                               "00FFFFFFFFFF",
                               kMaxMac,
                               kSerial1,
                               kMaxSerial,
                               1,
                               false,
                               false,
                               -1,
                               "020000000000",
                               "00000000000002",
                               {}},
                      StepCase{"SkipKeepsTheLowerOctets",
                               "00FFFFFFFFFE",
                               kMaxMac,
                               kSerial1,
                               kMaxSerial,
                               5,
                               false,
                               false,
                               -1,
                               "020000000003",
                               "00000000000006",
                               {}},
                      StepCase{"SkipPastTheMaximumIsClamped",
                               "FEFFFFFFFFFF",
                               kMaxMac,
                               kSerial1,
                               kMaxSerial,
                               1,
                               false,
                               false,
                               -1,
                               "FFFFFFFFFFFF",
                               "00000000000002",
                               {"Reach to Maximum MAC Address!"}},
                      StepCase{"StepPastTheMaximumWithoutSkipIsNotClamped",
                               "000000000010",
                               "000000000011",
                               kSerial1,
                               kMaxSerial,
                               3,
                               false,
                               false,
                               -1,
                               "000000000013",
                               "00000000000004",
                               {}},
                      StepCase{"StepZeroChangesNothing",
                               "00000000000A",
                               kMaxMac,
                               "0000000000000B",
                               kMaxSerial,
                               0,
                               false,
                               false,
                               -1,
                               "00000000000A",
                               "0000000000000B",
                               {}},
                      StepCase{"SerialSumIsHexadecimal",
                               "000000000001",
                               kMaxMac,
                               "00000000000009",
                               kMaxSerial,
                               9,
                               false,
                               false,
                               -1,
                               "00000000000A",
                               "00000000000012",
                               {}},
                      StepCase{"SerialPastTheMaximumIsClamped",
                               "000000000001",
                               kMaxMac,
                               "00000000000008",
                               "0000000000000A",
                               3,
                               false,
                               false,
                               -1,
                               "000000000004",
                               "0000000000000A",
                               {"Reach to Maximum Serial Number!"}},
                      StepCase{"BasedOnMacFollowsTheNewMac",
                               "001122334455",
                               kMaxMac,
                               "AB001122334455",
                               kMaxSerial,
                               2,
                               true,
                               false,
                               -1,
                               "001122334457",
                               "AB001122334457",
                               {}},
                      StepCase{"ChangedListWarnsButKeepsTheSum",
                               "000000000001",
                               kMaxMac,
                               kSerial1,
                               kMaxSerial,
                               1,
                               false,
                               false,
                               2,
                               "000000000002",
                               "00000000000002",
                               {"Mac Address Increasing Error!",
                                "Serial Number Increasing Error!"}},
                      StepCase{"BarCodeSkipsOnlyTheMacCrossCheck",
                               "000000000001",
                               kMaxMac,
                               kSerial1,
                               kMaxSerial,
                               1,
                               false,
                               true,
                               2,
                               "000000000002",
                               "00000000000002",
                               {"Serial Number Increasing Error!"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RangeGuardTest, RefusesAtTheMaximumIgnoringCase) {
  const struct {
    const char* mac;
    const char* max_mac;
    const char* serial;
    const char* max_serial;
    const char* want;  // nullptr: the unit may be programmed
  } cases[] = {
      {"00000000000A", "00000000000B", "01", "02", nullptr},
      {"00000000000a", "00000000000A", "01", "02",
       "MAC Address Reach to Maximum MAC Address!"},
      {"000000000001", "000000000002", "0000000000000f", "0000000000000F",
       "Serial Number Reach to Maximum MAC Address!"},
      {"FF", "FF", "1", "1", "MAC Address Reach to Maximum MAC Address!"},
  };
  for (const auto& c : cases) {
    SromSettings s;
    s.CurrentMac = c.mac;
    s.MaximumMac = c.max_mac;
    s.CurrentSerial = c.serial;
    s.MaximumSerial = c.max_serial;
    const auto refusal = RangeGuard(s);
    if (c.want) {
      EXPECT_EQ(refusal, c.want);
    } else {
      EXPECT_FALSE(refusal) << *refusal;
    }
  }
}

// A clamped step lands on the maximum, so the next unit is refused.
TEST(RangeGuardTest, ClampedMacRefusesTheNextUnit) {
  SromSettings s;
  s.CurrentMac = "FEFFFFFFFFFF";
  NumericValues v;
  ASSERT_FALSE(CheckDataCorrect(s, BoxTextsOf(s), LastAccepted{}, v));
  StepMacAddress(s, v, {1, 1, v.CurrentMacValue});
  EXPECT_EQ(RangeGuard(s), "MAC Address Reach to Maximum MAC Address!");
}

TEST(BasedOnMacTest, CheckedDerivesTheSerialFieldsFromTheMac) {
  SromSettings s;
  s.CurrentSerial = "AB000000000001";
  s.CurrentMac = "001122334455";
  s.MaximumMac = "00112233FFFF";
  s.MacIncrement = 3;
  ApplyBasedOnMac(s, true);
  EXPECT_EQ(s.CurrentSerial, "AB001122334455");
  EXPECT_EQ(s.MaximumSerial, "FF00112233FFFF");
  EXPECT_EQ(s.SerialIncrement, 3);
  EXPECT_FALSE(s.FixedSerial);
  EXPECT_EQ(s.SerialNoType, kSerialFromMac);

  s.CurrentSerial = "A";
  ApplyBasedOnMac(s, true);
  EXPECT_EQ(s.CurrentSerial, "A001122334455");
}

TEST(BasedOnMacTest, UncheckedKeepsTheSerial) {
  SromSettings s;
  s.CurrentSerial = "12345678901234";
  ApplyBasedOnMac(s, false);
  EXPECT_EQ(s.CurrentSerial, "12345678901234");
  EXPECT_EQ(s.SerialIncrement, 1);
}

// The fixed-serial flag and SerialNoType follow the box only from the
// operator's first click on: a loaded or re-applied state never fixes the
// serial number.
TEST(BasedOnMacTest, TheFlagFollowsTheBoxOnlyOnceItWasClicked) {
  const struct {
    const char* name;
    bool click;
    bool checked;
    bool fixed;
    int serial_no_type;
  } cases[] = {
      {"applied unchecked", false, false, false, kSerialFromMac},
      {"applied checked", false, true, false, kSerialFromMac},
      {"clicked unchecked", true, false, true, kSerialFixed},
      {"clicked checked", true, true, false, kSerialFromMac},
  };
  for (const auto& c : cases) {
    SromSettings s;
    if (c.click) {
      ClickBasedOnMac(s, c.checked);
    } else {
      ApplyBasedOnMac(s, c.checked);
    }
    EXPECT_EQ(s.FixedSerial, c.fixed) << c.name;
    EXPECT_EQ(s.SerialNoType, c.serial_no_type) << c.name;
  }
  // Once clicked, a later re-application follows the box too.
  SromSettings s;
  ClickBasedOnMac(s, true);
  ApplyBasedOnMac(s, false);
  EXPECT_TRUE(s.FixedSerial);
  EXPECT_EQ(s.SerialNoType, kSerialFixed);
}

}  // namespace
}  // namespace srom
