// The file buttons of the window after start-up: each runs the file operation
// srom-cli runs, with the window's dialogs and controls around it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "model/efuse_layout.h"
#include "model/messages.h"
#include "fresh_window_fixture.h"

namespace srom::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

class FileButtonsTest : public FreshWindowTest {
 protected:
  void SetUp() override {
    FreshWindowTest::SetUp();
    ASSERT_TRUE(Start());
    view_.ClearEvents();
  }
  std::string Path(const std::string& name) { return (dir_ / name).string(); }
};

TEST_F(FileButtonsTest, SaveThenLoadEepromBringsTheSettingsBack) {
  TypeAndLeave(ControlId::kSuperBusPower, "800");
  TypeAndLeave(ControlId::kCurrentMac, "00E04C000077");
  Click(ControlId::kLed2Usb3, true);
  dlg_->OnLedUsb3Clicked(2);
  dlg_->OnSave();
  EXPECT_EQ(view_.result_picture(), ResultPicture::kPass);

  TypeAndLeave(ControlId::kSuperBusPower, "96");
  TypeAndLeave(ControlId::kCurrentMac, "00E04C000099");
  Click(ControlId::kLed2Usb3, false);
  dlg_->OnLedUsb3Clicked(2);
  dlg_->OnLoadEeprom();

  EXPECT_EQ(State(ControlId::kSuperBusPower).text, "800");
  EXPECT_EQ(State(ControlId::kHighBusPower).text, "400");
  EXPECT_EQ(State(ControlId::kCurrentMac).text, "00E04C000077");
  EXPECT_TRUE(State(ControlId::kLed2Usb3).checked);
  EXPECT_TRUE(settings().LedUsb3[2]);
  EXPECT_EQ(ImageArea(station().prev)[0x0E], 100);
}

TEST_F(FileButtonsTest, CancelledSaveChangesNoFileAndNoPicture) {
  const std::string before = ReadFile("EEPROM.dat");
  TypeAndLeave(ControlId::kCurrentMac, "00E04C000077");
  view_.ok_cancel_answers.push_back(false);
  dlg_->OnSave();
  EXPECT_EQ(ReadFile("EEPROM.dat"), before);
  EXPECT_THAT(view_.events(), ::testing::Not(Contains("result: pass")));
}

TEST_F(FileButtonsTest, ASettingsFileNamingAnEfuseEntryBringsTheEfuseLayout) {
  SromSettings s;
  s.DeviceSel = kChipAEfuse;
  WriteSettings(s);
  dlg_->OnLoadEeprom();
  EXPECT_EQ(State(ControlId::kDeviceSel).list_index, kChipAEfuse);
  EXPECT_TRUE(State(ControlId::kCautionPicture).visible);
  EXPECT_FALSE(State(ControlId::kLedFrame).visible);
  EXPECT_EQ(view_.title(), WindowTitle(kChipAEfuse));
}

TEST_F(FileButtonsTest, LoadSromDecodesTheFileIntoTheBoxes) {
  // A file of this window's own image, with another MAC address and LED 1 as
  // Duplex with Active and 10Mbps.
  TypeAndLeave(ControlId::kCurrentMac, "00E04C0000AB");
  dlg_->OnSave();
  std::string file = ReadFile("SROM.dat");
  TypeAndLeave(ControlId::kCurrentMac, "00E04C000001");
  // LED word 0x8260 at image bytes 0x84 and 0x85 (a line holds sixteen
  // "XX " groups and CR LF): LED 1 = 0x13 (Duplex, 10Mbps, Active).
  file.replace(8 * 50 + 4 * 3, 5, "60 82");
  WriteFile("other.dat", file);
  view_.file_answers.push_back(Path("other.dat"));

  dlg_->OnLoadSrom();

  // In the station's folder, wherever the program was started from.
  EXPECT_THAT(view_.events(), Contains("open file dialog in " + dir_.string()));
  EXPECT_EQ(State(ControlId::kCurrentMac).text, "00E04C0000AB");
  EXPECT_TRUE(State(ControlId::kLed1Duplex).checked);
  EXPECT_FALSE(State(ControlId::kLed1Active).checked);
  EXPECT_FALSE(State(ControlId::kLed1Active).enabled);
  EXPECT_EQ(settings().LedSetting[1], 0x10);
}

TEST_F(FileButtonsTest, ACancelledDialogLoadsAndConvertsNothing) {
  const std::string shown = State(ControlId::kOutputBox).text;
  dlg_->OnLoadSrom();
  dlg_->OnConvertToBin();
  EXPECT_EQ(State(ControlId::kOutputBox).text, shown);
  EXPECT_FALSE(FileExists("SROM.bin"));
  EXPECT_THAT(view_.messages(), ::testing::IsEmpty());
}

TEST_F(FileButtonsTest, ConvertToBinWritesTheRawImage) {
  view_.file_answers.push_back(Path("SROM.dat"));
  dlg_->OnConvertToBin();
  EXPECT_THAT(view_.messages(), ElementsAre(msg::kBinWritten));
  const std::string bin = ReadFile("SROM.bin");
  ASSERT_EQ(bin.size(), 256u);
  EXPECT_EQ(static_cast<unsigned char>(bin[6]), 0x80);
}

TEST_F(FileButtonsTest, ConvertToEfuseAsksTheSerialTypeAndKeepsTheSelection) {
  // An eFuse holds at most ten manufacturer bytes.
  TypeAndLeave(ControlId::kManufacturer, "VELK");
  view_.serial_type_answers.push_back(kSerialFixed);
  dlg_->OnConvertToEfuse();

  EXPECT_THAT(view_.events(), Contains("serial no. type dialog"));
  EXPECT_EQ(view_.result_picture(), ResultPicture::kPass);
  ASSERT_TRUE(FileExists("EFUSE.dat"));
  EXPECT_EQ(State(ControlId::kDeviceSel).list_index, kChipAEeprom);
  EXPECT_EQ(settings().DeviceSel, kChipAEeprom);
  EXPECT_EQ(settings().SerialNoType, kSerialFixed);
  // The flag byte of the eFuse file carries the fixed serial number.
  const std::string efuse = ReadFile("EFUSE.dat");
  const std::size_t flag = efuse_layout::kFlag;
  const std::string pair = efuse.substr(flag * 3 + (flag / 16) * 2, 2);
  EXPECT_NE(std::stoi(pair, nullptr, 16) & 0x08, 0) << pair;
}

TEST_F(FileButtonsTest, AboutOpensTheAboutBox) {
  dlg_->OnAbout();
  EXPECT_THAT(view_.events(), ElementsAre("about box"));
}

}  // namespace
}  // namespace srom::test
