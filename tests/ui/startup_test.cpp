// Start-up and closing of the main window: the files it creates, the settings
// it brings on screen in each device selection, the lock on the station, and
// the automatic modes it starts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/eeprom_dat.h"
#include "model/chip_traits.h"
#include "model/led_rules.h"
#include "model/srom_image.h"
#include "model/messages.h"
#include "ports/station_lock.h"
#include "ui/device_layout.h"
#include "fresh_window_fixture.h"

#ifdef SROM_HAVE_SQLITE_LEDGER
#include "ledger/sqlite_ledger.h"
#include "ledger/station_ledger.h"
#endif

namespace srom::test {
namespace {

using ::testing::ElementsAre;

TEST_F(FreshWindowTest, FirstStartCreatesBothFilesAndOpensOnChipAEeprom) {
  ASSERT_TRUE(Start());

  EXPECT_THAT(view_.messages(),
              ElementsAre(msg::kSromDatCreated, msg::kEepromDatCreated));
  EXPECT_EQ(ReadFile("EEPROM.dat"), FormatEepromDat(SromSettings{}));
  EXPECT_TRUE(FileExists("SROM.dat"));
  EXPECT_EQ(State(ControlId::kDeviceSel).list_index, kChipAEeprom);
  EXPECT_EQ(view_.title(), "VELK KM62058 Windows SROM Tool(EEPROM) v1.0.22.0");
  EXPECT_FALSE(State(ControlId::kCautionPicture).visible);
  EXPECT_EQ(State(ControlId::kMacIncrement).list_index, 1);
  EXPECT_EQ(State(ControlId::kCountdownLabel).text, "");
  EXPECT_EQ(State(ControlId::kOutputBox).text,
            FormatImagePreview(station().prev, kSromSize256));
  EXPECT_THAT(view_.events(), ::testing::Contains("pictures loaded"));
  EXPECT_THAT(view_.events(), ::testing::Contains("focus: kOutputBox"));
}

TEST_F(FreshWindowTest, SecondStartWritesNothingAndSaysNothing) {
  ASSERT_TRUE(Start());
  const std::string settings = ReadFile("EEPROM.dat");
  const std::string image = ReadFile("SROM.dat");
  dlg_.reset();
  view_.ClearEvents();
  dlg_ = std::make_unique<CKM62058_SromDlg>(view_, adapter_, clock_,
                                            FileFolders{dir_, dir_});

  ASSERT_TRUE(Start());

  EXPECT_THAT(view_.messages(), ::testing::IsEmpty());
  EXPECT_EQ(ReadFile("EEPROM.dat"), settings);
  EXPECT_EQ(ReadFile("SROM.dat"), image);
}

// ---- The settings file's selection on screen ------------------------------

struct SelectionCase {
  const char* name;
  int device_sel;
};

class StartupSelectionTest
    : public FreshWindowTest,
      public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(StartupSelectionTest, OpensInTheFilesSelectionWithItsLayoutAndImage) {
  SromSettings s;
  s.DeviceSel = GetParam().device_sel;
  s.CurrentMac = "00E04C123456";
  WriteSettings(s);
  ASSERT_TRUE(Start());

  const int sel = GetParam().device_sel;
  EXPECT_EQ(State(ControlId::kDeviceSel).list_index, sel);
  EXPECT_EQ(view_.title(), WindowTitle(sel));
  for (ControlId id : SelectionDependentControls()) {
    EXPECT_EQ(State(id).visible, *VisibleIn(id, sel)) << ControlName(id);
  }
  EXPECT_EQ(State(ControlId::kSave).text, SaveButtonCaption(sel));
  EXPECT_EQ(State(ControlId::kLoadEeprom).text, LoadButtonCaption(sel));
  EXPECT_EQ(State(ControlId::kCurrentMac).text, "00E04C123456");
  // The image in the output box is the selection's, with the file's MAC.
  const int size = IsEfuseSel(sel) ? kEfuseSize : kSromSize256;
  EXPECT_EQ(station().image_size, size);
  EXPECT_EQ(State(ControlId::kOutputBox).text,
            FormatImagePreview(station().prev, size));
  EXPECT_EQ(ImageArea(station().prev)[0], 0x00);
  EXPECT_EQ(ImageArea(station().prev)[5], 0x56);
  EXPECT_EQ(FileExists("EFUSE.dat"), IsEfuseSel(sel));
  EXPECT_EQ(State(ControlId::kCurrentMac).enabled, true);
}

INSTANTIATE_TEST_SUITE_P(
    Selections, StartupSelectionTest,
    ::testing::Values(SelectionCase{"ChipBEeprom", kChipBEeprom},
                      SelectionCase{"ChipBEfuse", kChipBEfuse},
                      SelectionCase{"ChipAEeprom", kChipAEeprom},
                      SelectionCase{"ChipAEfuse", kChipAEfuse}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FreshWindowTest, LockedSettingsDisableTheDeviceListEvenWithoutDisable) {
  SromSettings s;
  s.DeviceSelLock = true;
  WriteSettings(s);
  ASSERT_TRUE(Start());
  EXPECT_TRUE(State(ControlId::kLock).checked);
  EXPECT_FALSE(State(ControlId::kDeviceSel).enabled);
  EXPECT_TRUE(State(ControlId::kMaximumMac).enabled);
}

TEST_F(FreshWindowTest, DisableSettingLocksTheSettingsButNotTheOperations) {
  SromSettings s;
  s.DisableSetting = true;
  WriteSettings(s);
  ASSERT_TRUE(Start());
  for (ControlId id : {ControlId::kCurrentMac, ControlId::kVendorId, ControlId::kSuperBusPower,
                       ControlId::kLed0Active, ControlId::kSave,
                       ControlId::kDump}) {
    EXPECT_FALSE(State(id).enabled) << ControlName(id);
  }
  for (ControlId id : {ControlId::kProgram, ControlId::kErase,
                       ControlId::kDelayTime, ControlId::kLock}) {
    EXPECT_TRUE(State(id).enabled) << ControlName(id);
  }
  // The device list follows "Lock" alone once the window is up.
  EXPECT_TRUE(State(ControlId::kDeviceSel).enabled);
}

// Power values and "USB3.0" selections of the file survive the start: shown,
// built into the image, and saved back as they were loaded.
struct KeptValuesCase {
  const char* name;
  int device_sel;
  const char* bus;
  const char* self;
  ControlId bus_box;
  ControlId derived_bus_box;
  const char* derived_bus;
  int bus_byte;
};

class KeptValuesTest : public FreshWindowTest,
                       public ::testing::WithParamInterface<KeptValuesCase> {};

TEST_P(KeptValuesTest, LoadedPowerAndUsb3SurviveStartAndSave) {
  const KeptValuesCase& c = GetParam();
  SromSettings s;
  s.DeviceSel = c.device_sel;
  s.ProductId = TraitsOfSel(c.device_sel).product_id;
  s.Product = TraitsOfSel(c.device_sel).name;
  EditedBusPower(s) = c.bus;
  EditedSelfPower(s) = c.self;
  DerivePowerRows(s);
  if (c.device_sel == kChipAEeprom) {
    s.LedUsb3 = {false, true, false};
    s.LedSetting[1] = 0;
    s.LedWord = ReplaceLedBits(s.LedWord, 1, 0);
  }
  WriteSettings(s);
  const std::string written = ReadFile("EEPROM.dat");
  ASSERT_TRUE(Start());

  EXPECT_EQ(State(c.bus_box).text, c.bus);
  EXPECT_EQ(State(c.derived_bus_box).text, c.derived_bus);
  EXPECT_EQ(ImageArea(station().prev)[0x0E], c.bus_byte);
  EXPECT_EQ(station().accepted.BusPower, c.bus);
  if (c.device_sel == kChipAEeprom) {
    EXPECT_TRUE(State(ControlId::kLed1Usb3).checked);
    EXPECT_FALSE(State(ControlId::kLed1Giga).enabled);
    EXPECT_EQ(settings().LedUsb3[1], true);
  }
  dlg_->OnSave();
  EXPECT_EQ(ReadFile("EEPROM.dat"), written);
}

INSTANTIATE_TEST_SUITE_P(
    Chips, KeptValuesTest,
    ::testing::Values(
        KeptValuesCase{"ChipA", kChipAEeprom, "896", "16",
                       ControlId::kSuperBusPower, ControlId::kHighBusPower,
                       "448", 112},
        KeptValuesCase{"ChipB", kChipBEeprom, "200", "12",
                       ControlId::kHighBusPower, ControlId::kFullBusPower,
                       "200", 50}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FreshWindowTest, SavedModesStartTheScanThenTheWatch) {
  SromSettings s;
  s.MultiEnable = true;
  s.AutoProgram = true;
  WriteSettings(s);
  ASSERT_TRUE(Start());
  // The scan listed the bench's adapter; "Auto" then took over from
  // "MultiEnable" and watches for an adapter.
  EXPECT_EQ(dlg_->adapters().FoundCount, 1);
  EXPECT_FALSE(State(ControlId::kMultiEnable).checked);
  EXPECT_FALSE(State(ControlId::kMultiEnable).enabled);
  EXPECT_FALSE(State(ControlId::kScan).enabled);
  EXPECT_THAT(view_.events(), ::testing::Contains("timer 1 start 500"));
}

TEST_F(FreshWindowTest, AnEfuseSelectionNeverStartsAutomaticProgramming) {
  SromSettings s;
  s.DeviceSel = kChipAEfuse;
  s.AutoProgram = true;
  WriteSettings(s);
  ASSERT_TRUE(Start());
  EXPECT_FALSE(State(ControlId::kAuto).checked);
  EXPECT_THAT(view_.events(),
              ::testing::Not(::testing::Contains("timer 1 start 500")));
}

TEST_F(FreshWindowTest, AStationHeldByAnotherProgramIsRefusedUntouched) {
  std::string error;
  auto held = StationLock::Acquire(dir_, &error);
  ASSERT_TRUE(held) << error;

  EXPECT_FALSE(Start());

  ASSERT_EQ(view_.messages().size(), 1u);
  EXPECT_THAT(view_.messages()[0], ::testing::HasSubstr(dir_.string()));
  EXPECT_FALSE(FileExists("SROM.dat"));
  EXPECT_FALSE(FileExists("EEPROM.dat"));
}

TEST_F(FreshWindowTest, CloseEnablesEveryScannedConnectionThenCloses) {
  ASSERT_TRUE(Start());
  dlg_->OnScan();
  dlg_->OnClose();
  EXPECT_THAT(network_.commands(),
              ElementsAre("start: netsh interface set interface "
                          "name=\"Ethernet\" admin=ENABLE"));
  EXPECT_TRUE(view_.closed());
}

TEST_F(FreshWindowTest, WithoutADriverTheWindowStillOpens) {
  adapter_.set_plugged(false);
  ASSERT_TRUE(Start());
  EXPECT_THAT(view_.messages(), ::testing::Contains(msg::kFailedToOpenDevice));
  EXPECT_EQ(State(ControlId::kStatusLabel).text, "Device Unplugged");
}

#ifdef SROM_HAVE_SQLITE_LEDGER
// A unit programmed before a crash that lost the settings save: the window
// opens on the next free MAC address, not on the one the unit took.
TEST_F(FreshWindowTest, StartCatchesTheCountersUpWithTheLedger) {
  SromSettings s;
  s.CurrentMac = "00E04C000010";
  WriteSettings(s);
  {
    auto ledger = OpenStationLedger(LedgerPlace{dir_, "", ""});
    ASSERT_TRUE(ledger.ok()) << ledger.error;
    UnitDraft unit;
    unit.mac = "00E04C000010";
    unit.serial = "00000000000001";
    unit.station = dir_.string();
    unit.time = "2019-04-24 09:00:00";
    const auto id = (*ledger.value)->Reserve(unit);
    ASSERT_TRUE(id.ok()) << id.error;
    ASSERT_TRUE((*ledger.value)->MarkProgrammed(*id.value, "2019-04-24 09:00:05").ok());
  }

  ASSERT_TRUE(Start(OpenStationLedger));

  EXPECT_EQ(State(ControlId::kCurrentMac).text, "00E04C000011");
  EXPECT_THAT(ReadFile("EEPROM.dat"), ::testing::HasSubstr("00E04C000011"));
}
#endif

}  // namespace
}  // namespace srom::test
