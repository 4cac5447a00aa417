// The device selection layouts, "Disable Setting" and "Lock", on a window that
// has been through start-up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/image_buffer.h"
#include "model/messages.h"
#include "ui/device_layout.h"
#include "fresh_window_fixture.h"

namespace srom::test {
namespace {

using ::testing::ElementsAre;

class DeviceLayoutTest : public FreshWindowTest {
 protected:
  void SetUp() override {
    FreshWindowTest::SetUp();
    ASSERT_TRUE(Start());
    view_.ClearEvents();
  }
  std::set<ControlId> VisibleControls() {
    std::set<ControlId> shown;
    for (int i = 0; i < kControlCount; ++i) {
      const auto id = static_cast<ControlId>(i);
      if (State(id).visible) shown.insert(id);
    }
    return shown;
  }
};

TEST_F(DeviceLayoutTest, SwitchingChipsPutsEachChipsPowerDefaults) {
  TypeAndLeave(ControlId::kSuperBusPower, "800");
  Pick(kChipBEeprom);

  EXPECT_FALSE(State(ControlId::kSuperBusPower).visible);
  EXPECT_FALSE(State(ControlId::kLed0Usb3).visible);
  EXPECT_TRUE(State(ControlId::kHighBusPower).enabled);
  for (ControlId id : {ControlId::kHighBusPower, ControlId::kFullBusPower}) {
    EXPECT_EQ(State(id).text, "248") << ControlName(id);
  }
  for (ControlId id : {ControlId::kHighSelfPower, ControlId::kFullSelfPower}) {
    EXPECT_EQ(State(id).text, "4") << ControlName(id);
  }
  EXPECT_EQ(State(ControlId::kProductId).text, "057D");
  EXPECT_EQ(view_.title(), "VELK KM62057D Windows SROM Tool(EEPROM) v1.0.22.0");

  TypeAndLeave(ControlId::kHighBusPower, "300");
  Pick(kChipAEeprom);
  EXPECT_EQ(State(ControlId::kSuperBusPower).text, "496");
  EXPECT_EQ(State(ControlId::kSuperSelfPower).text, "8");
  EXPECT_EQ(State(ControlId::kHighBusPower).text, "248");
  EXPECT_EQ(State(ControlId::kFullSelfPower).text, "4");
  EXPECT_FALSE(State(ControlId::kHighBusPower).enabled);
  EXPECT_EQ(station().accepted.BusPower, "496");
}

TEST_F(DeviceLayoutTest, PickingTheSelectedEntryAgainKeepsTypedPower) {
  TypeAndLeave(ControlId::kSuperBusPower, "800");
  Pick(kChipAEeprom);
  EXPECT_EQ(State(ControlId::kSuperBusPower).text, "800");
  EXPECT_EQ(State(ControlId::kHighBusPower).text, "400");
}

TEST_F(DeviceLayoutTest, ATypedMacAddressSurvivesTheSwitch) {
  State(ControlId::kCurrentMac).text = "00E04C0000AA";
  dlg_->OnTextChanged(ControlId::kCurrentMac);
  Pick(kChipBEeprom);
  EXPECT_EQ(State(ControlId::kCurrentMac).text, "00E04C0000AA");
  EXPECT_EQ(settings().CurrentMac, "00E04C0000AA");
}

class EfuseLayoutTest : public DeviceLayoutTest,
                        public ::testing::WithParamInterface<int> {};

TEST_P(EfuseLayoutTest, ShowsOnlyTheMacRangeTheCautionAndTheOperations) {
  Pick(GetParam());
  using C = ControlId;
  // Written out here rather than read from the layout table, so that a
  // wrong row in it shows.
  std::set<ControlId> expected = {
      C::kDeviceSelLabel, C::kDeviceSel,        C::kLock,
      C::kMacFrame,       C::kMacCurrentLabel,  C::kCurrentMac,
      C::kMacMaximumLabel, C::kMaximumMac,      C::kMacIncrementLabel,
      C::kMacIncrement,   C::kCautionPicture,   C::kMultiFrame,
      C::kMultiEnable,    C::kScan,             C::kReloadFrame,
      C::kReload,         C::kBarCodeFrame,     C::kBarCode,
      C::kProgram,        C::kDump,             C::kSave,
      C::kLoadEeprom,     C::kPreview,          C::kOutputBox,
      C::kResultFrame,    C::kResultPicture,    C::kStatusLabel,
      C::kVerdictLabel,   C::kProgressBar,
  };
  for (int i = 0; i < 6; ++i) {
    expected.insert(AdapterBox(i));
    expected.insert(AdapterPicture(i));
  }
  EXPECT_EQ(VisibleControls(), expected);
  EXPECT_EQ(State(C::kSave).text, "Save Efuse");
  EXPECT_EQ(State(C::kLoadEeprom).text, "Load Efuse");
  EXPECT_EQ(State(C::kPreview).place, C::kLoadSrom);
  EXPECT_EQ(station().image_size, kEfuseSize);
  EXPECT_THAT(view_.messages(), ElementsAre(msg::kEfuseDatCreated));

  Pick(kChipAEeprom);
  EXPECT_EQ(State(C::kPreview).place, C::kCount) << "back in its own place";
  EXPECT_TRUE(State(C::kLoadSrom).visible);
  EXPECT_EQ(State(C::kSave).text, "Save");
}

INSTANTIATE_TEST_SUITE_P(Entries, EfuseLayoutTest,
                         ::testing::Values(kChipBEfuse, kChipAEfuse));

TEST_F(DeviceLayoutTest, AnEfuseEntryStopsAutomaticProgramming) {
  Click(ControlId::kAuto, true);
  dlg_->OnClicked(ControlId::kAuto);
  ASSERT_THAT(view_.events(), ::testing::Contains("timer 1 start 500"));
  view_.ClearEvents();
  Pick(kChipAEfuse);
  EXPECT_FALSE(State(ControlId::kAuto).checked);
  EXPECT_FALSE(settings().AutoProgram);
  EXPECT_THAT(view_.events(), ::testing::Contains("timer 1 stop"));
  // A later watch tick starts nothing.
  dlg_->OnTimer(CKM62058_SromDlg::kWatchTimer);
  EXPECT_THAT(view_.events(),
              ::testing::Not(::testing::Contains("timer 2 start 1000")));
}

TEST_F(DeviceLayoutTest, AnEfuseRefreshEnablesTheMacBoxesEvenWhenItFails) {
  Pick(kChipAEfuse);
  State(ControlId::kMaximumMac).enabled = false;
  // Bit 0 of the first byte set: a multicast address, refused.
  TypeAndLeave(ControlId::kCurrentMac, "01E04C000001");
  EXPECT_FALSE(view_.messages().empty());
  EXPECT_TRUE(State(ControlId::kMaximumMac).enabled);
  EXPECT_TRUE(State(ControlId::kMacIncrement).enabled);
}

// ---- The fixed-serial flag ----------------------------------------------------

// Chip A's eFuse selection reached by the operator's pick or by start-up on
// a settings file saved in it: either way the preview's flag byte has bit 3
// (the fixed serial) clear until "Based On Mac Address" is clicked, and then
// follows the box.
class FixedSerialFlagTest;
struct EfuseEntryCase {
  const char* name;
  void (*reach)(FixedSerialFlagTest&);
};

class FixedSerialFlagTest
    : public FreshWindowTest,
      public ::testing::WithParamInterface<EfuseEntryCase> {
 public:
  using FreshWindowTest::Pick;
  using FreshWindowTest::Start;
  using FreshWindowTest::WriteSettings;

 protected:
  std::uint8_t PreviewFlag() { return ImageArea(station().prev)[0x31]; }
  void ClickBasedOnMac(bool checked) {
    Click(ControlId::kBasedOnMac, checked);
    dlg_->OnOperator(OperatorEvent::Click(ControlId::kBasedOnMac));
  }
};

TEST_P(FixedSerialFlagTest, IsClearUntilBasedOnMacIsClicked) {
  GetParam().reach(*this);
  ASSERT_EQ(settings().DeviceSel, kChipAEfuse);
  EXPECT_FALSE(settings().FixedSerial);
  EXPECT_EQ(PreviewFlag(), 0x73);

  ClickBasedOnMac(true);
  EXPECT_EQ(PreviewFlag(), 0x73);
  ClickBasedOnMac(false);
  EXPECT_TRUE(settings().FixedSerial);
  EXPECT_EQ(PreviewFlag(), 0x7B);
  // From the first click on, a new layout follows the box too.
  Pick(kChipAEeprom);
  Pick(kChipAEfuse);
  EXPECT_EQ(PreviewFlag(), 0x7B);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, FixedSerialFlagTest,
    ::testing::Values(EfuseEntryCase{"Picked",
                                     [](FixedSerialFlagTest& w) {
                                       ASSERT_TRUE(w.Start());
                                       w.Pick(kChipAEfuse);
                                     }},
                      EfuseEntryCase{"StartedIn",
                                     [](FixedSerialFlagTest& w) {
                                       SromSettings saved;
                                       saved.DeviceSel = kChipAEfuse;
                                       w.WriteSettings(saved);
                                       ASSERT_TRUE(w.Start());
                                     }}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- "Disable Setting" -------------------------------------------------------

struct DisableCase {
  const char* name;
  bool bar_code;
};

class DisableSettingTest : public DeviceLayoutTest,
                           public ::testing::WithParamInterface<DisableCase> {
};

TEST_P(DisableSettingTest, LocksTheSettingsAndKeepsTheScannerBox) {
  Click(ControlId::kBarCode, GetParam().bar_code);
  settings().DisableSetting = true;
  State(ControlId::kDisableSetting).checked = true;
  dlg_->ApplyDisableSetting();

  EXPECT_EQ(State(ControlId::kCurrentMac).enabled, GetParam().bar_code);
  for (ControlId id : DisableSettingRangeControls()) {
    EXPECT_FALSE(State(id).enabled) << ControlName(id);
  }
  for (ControlId id : DisableSettingOtherControls()) {
    EXPECT_FALSE(State(id).enabled) << ControlName(id);
  }
  EXPECT_FALSE(State(ControlId::kSuperBusPower).enabled);
  EXPECT_FALSE(State(ControlId::kLed2Giga).enabled);
  for (ControlId id : {ControlId::kProgram, ControlId::kErase,
                       ControlId::kScan, ControlId::kMultiEnable,
                       ControlId::kAuto, ControlId::kDelayTime,
                       ControlId::kLock}) {
    EXPECT_TRUE(State(id).enabled) << ControlName(id);
  }

  // Cleared again: everything back, and the LED and serial rules lock what
  // their boxes block.
  Click(ControlId::kBasedOnMac, true);
  settings().DisableSetting = false;
  State(ControlId::kDisableSetting).checked = false;
  dlg_->ApplyDisableSetting();
  EXPECT_TRUE(State(ControlId::kCurrentMac).enabled);
  EXPECT_TRUE(State(ControlId::kVendorId).enabled);
  EXPECT_TRUE(State(ControlId::kSuperBusPower).enabled);
  EXPECT_FALSE(State(ControlId::kCurrentSerial).enabled) << "Based On Mac";
  EXPECT_TRUE(State(ControlId::kLed1Giga).enabled);
}

INSTANTIATE_TEST_SUITE_P(
    BarCode, DisableSettingTest,
    ::testing::Values(DisableCase{"WithoutBarCode", false},
                      DisableCase{"WithBarCode", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceLayoutTest, LockFreesTheListEvenUnderDisableSetting) {
  settings().DisableSetting = true;
  State(ControlId::kDisableSetting).checked = true;
  dlg_->ApplyDisableSetting();
  ASSERT_FALSE(State(ControlId::kDeviceSel).enabled);
  Click(ControlId::kLock, true);
  dlg_->OnLock();
  Click(ControlId::kLock, false);
  dlg_->OnLock();
  EXPECT_TRUE(State(ControlId::kDeviceSel).enabled);
}

}  // namespace
}  // namespace srom::test
