#include <gtest/gtest.h>

#include "model/default_images.h"
#include "model/srom_image.h"
#include "ui/data_exchange.h"
#include "window_fixture.h"

namespace srom::test {
namespace {

std::vector<std::uint8_t> Area(const ImageBuffer& b, int n) {
  const auto area = ImageArea(b);
  return std::vector<std::uint8_t>(area.begin(), area.begin() + n);
}

std::vector<std::uint8_t> ChipADefault(int n) {
  return std::vector<std::uint8_t>(DefaultSromImage(Chip::kA).begin(),
                                   DefaultSromImage(Chip::kA).begin() + n);
}

TEST_F(WindowTest, DumpKeepsAndSavesAValidEeprom) {
  adapter_.set_eeprom(ChipADefault(256));
  Dump();
  EXPECT_EQ(Area(station().prev, 256), ChipADefault(256));
  EXPECT_EQ(Area(station().prev, 512)[300], 0xFF);
  EXPECT_EQ(view_.result_picture(), Picture::kPass);
  EXPECT_TRUE(FileExists("SROM.dat"));
  EXPECT_EQ(view_.State(ControlId::kOutputBox).text.substr(0, 18),
            "00 00 00 00 00 01 ");
  EXPECT_THAT(view_.messages(), ::testing::IsEmpty());
}

TEST_F(WindowTest, DumpRefusesAnImageWithOneInvalidByte) {
  auto image = ChipADefault(256);
  image[0x10] = 0x81;
  adapter_.set_eeprom(image);
  const ImageBuffer before = station().prev;
  Dump();
  EXPECT_EQ(view_.messages(), std::vector<std::string>{
                                  "Dump data are invalid, won't keep this value"});
  EXPECT_EQ(station().prev, before);
  EXPECT_FALSE(FileExists("SROM.dat"));
  EXPECT_EQ(view_.result_picture(), Picture::kNone);
}

TEST_F(WindowTest, DumpOfABlankEfuseKeepsNothing) {
  SelectEfuse(kChipBEfuse);
  const ImageBuffer before = station().prev;
  Dump();
  EXPECT_EQ(station().prev, before);
  EXPECT_FALSE(FileExists("EFUSE.dat"));
  EXPECT_EQ(view_.result_picture(), Picture::kPass);
}

TEST_F(WindowTest, DumpOfAProgrammedEfuseIsKeptAndSaved) {
  SelectEfuse(kChipAEfuse);
  auto fuses = adapter_.efuse();
  std::copy(DefaultEfuseImage(Chip::kA).begin(),
            DefaultEfuseImage(Chip::kA).end(), fuses.begin());
  adapter_.set_efuse(fuses);
  std::fill_n(ImageArea(station().prev).begin(), 64, 0xFF);
  Dump();
  EXPECT_EQ(Area(station().prev, 64),
            std::vector<std::uint8_t>(fuses.begin(), fuses.end()));
  EXPECT_TRUE(FileExists("EFUSE.dat"));
  EXPECT_EQ(view_.result_picture(), Picture::kPass);
}

TEST_F(WindowTest, DumpWithoutAnAdapterSaysSo) {
  adapter_.set_plugged(false);
  Dump();
  EXPECT_EQ(view_.messages(), std::vector<std::string>{"Device not found!"});
  EXPECT_EQ(view_.State(ControlId::kStatusLabel).text, "Device Unplugged");
}

TEST_F(WindowTest, EraseWritesFFOverTheEepromAndKeepsTheBlankImage) {
  adapter_.set_eeprom(ChipADefault(256));
  const std::vector<bool> enabled_before = EnabledStates();
  dlg_->OnErase();
  const auto writes = port_.Requests(IOCTL_WRITE_EEPROM);
  ASSERT_EQ(writes.size(), 1u);
  ASSERT_EQ(writes[0].input.size(), 264u);
  EXPECT_EQ(writes[0].input[6], 0x80);
  EXPECT_EQ(writes[0].input[7], 0x00);
  EXPECT_TRUE(std::all_of(writes[0].input.begin() + 8, writes[0].input.end(),
                          [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(adapter_.eeprom(), std::vector<std::uint8_t>(256, 0xFF));
  const std::string srom_dat = ReadFile("SROM.dat");
  EXPECT_EQ(srom_dat.find_first_not_of("F \r\n"), std::string::npos) << srom_dat;
  EXPECT_EQ(view_.result_picture(), Picture::kPass);
  EXPECT_EQ(EnabledStates(), enabled_before);
}

TEST_F(WindowTest, EraseInAnEfuseSelectionTouchesNothing) {
  SelectEfuse(kChipAEfuse);
  dlg_->OnErase();
  EXPECT_TRUE(port_.Requests(IOCTL_WRITE_EFUSE).empty());
  EXPECT_TRUE(port_.Requests(IOCTL_WRITE_EEPROM).empty());
  EXPECT_THAT(view_.messages(), ::testing::IsEmpty());
}

TEST_F(WindowTest, ExchangeStopsAtTheFirstTooLongText) {
  Type(ControlId::kProduct, "ABC");
  Type(ControlId::kCurrentMac, "0000000000012");  // 13 characters
  Type(ControlId::kManufacturer, "Later Maker");  // after the stop
  EXPECT_FALSE(dlg_->DoDataExchange(true));
  EXPECT_EQ(settings().Product, "ABC");
  EXPECT_EQ(settings().CurrentMac, "0000000000012") << "copied, then refused";
  EXPECT_EQ(settings().Manufacturer, "VELK Elec. Corp.");
  EXPECT_EQ(view_.messages(), std::vector<std::string>{"不要輸入 12 個以上的字元。"});
  EXPECT_EQ(view_.events().back(), "focus: kCurrentMac");
}

TEST_F(WindowTest, DelayTimeMessages) {
  const struct {
    const char* text;
    int want;
    const char* message;  // nullptr: accepted
  } cases[] = {
      {" 12 ", 12, nullptr},
      {"+3", 3, nullptr},
      {"20", 20, "輸入 0 和 15 之間的整數。"},
      {"-", 5, "輸入整數。"},
      {"", 5, "輸入整數。"},
      {"1 2", 5, "輸入整數。"},
  };
  for (const auto& c : cases) {
    settings().DelayTime = 5;
    view_.ClearEvents();
    Type(ControlId::kDelayTime, c.text);
    const bool complete = dlg_->DoDataExchange(true);
    EXPECT_EQ(settings().DelayTime, c.want) << '"' << c.text << '"';
    EXPECT_EQ(complete, c.message == nullptr) << c.text;
    if (c.message) {
      EXPECT_EQ(view_.messages(), std::vector<std::string>{c.message});
    }
  }
}

TEST_F(WindowTest, ExchangeToTheWindowSetsLimitsAndLeavesEqualTextsAlone) {
  settings().Product = "NEW";
  dlg_->DoDataExchange(false);
  EXPECT_EQ(view_.State(ControlId::kProduct).text, "NEW");
  EXPECT_EQ(view_.State(ControlId::kProduct).limit, 24);
  EXPECT_EQ(view_.State(ControlId::kCurrentSerial).limit, 14);
  EXPECT_EQ(view_.State(ControlId::kFlagByte).limit, 2);
  EXPECT_TRUE(view_.State(ControlId::kSromSize256).checked);
  EXPECT_FALSE(view_.State(ControlId::kSromSize512).checked);
}

TEST_F(WindowTest, PreviewWithABadSettingShowsTheCheckAndRestoresControls) {
  view_.State(ControlId::kConvertToBin).enabled = false;
  const std::vector<bool> enabled_before = EnabledStates();
  Type(ControlId::kVendorId, "4C1");
  dlg_->OnPreview();
  EXPECT_EQ(view_.messages(),
            (std::vector<std::string>{"Wrong Vendor ID Length",
                                      "CheckDataCorrect FAIL"}));
  EXPECT_EQ(view_.State(ControlId::kVendorId).text, "4C1E") << "put back";
  EXPECT_EQ(EnabledStates(), enabled_before);
}

TEST_F(WindowTest, BusyStateKeepsOnlyTheOutputBoxAndRestoresExactly) {
  view_.State(ControlId::kHighBusPower).enabled = false;
  view_.State(ControlId::kOutputBox).enabled = false;
  const std::vector<bool> before = EnabledStates();
  dlg_->SaveAndDisableControls();
  for (int i = 0; i < kControlCount; ++i) {
    const auto id = static_cast<ControlId>(i);
    const bool want = id == ControlId::kOutputBox ||
                      (id == ControlId::kDeviceSelLabel && before[i]);
    EXPECT_EQ(view_.State(id).enabled, want) << ControlName(id);
  }
  dlg_->RestoreControls();
  std::vector<bool> want = before;
  want[static_cast<int>(ControlId::kOutputBox)] = true;
  EXPECT_EQ(EnabledStates(), want);
}

TEST_F(WindowTest, LockDisablesTheDeviceList) {
  view_.State(ControlId::kLock).checked = true;
  dlg_->OnLock();
  EXPECT_FALSE(view_.State(ControlId::kDeviceSel).enabled);
  view_.State(ControlId::kLock).checked = false;
  dlg_->OnLock();
  EXPECT_TRUE(view_.State(ControlId::kDeviceSel).enabled);
}

TEST_F(WindowTest, ApplyLedBitsChecksBoxesAndAppliesDuplexAndUsb3) {
  settings().LedSetting = {0x13, 0x0E, 0x0F};
  settings().LedWord = 0xBDD3;
  view_.State(LedUsb3Box(2)).checked = true;
  dlg_->ApplyLedBits();
  EXPECT_EQ(settings().LedSetting,
            (std::array<std::uint8_t, 3>{0x10, 0x0E, 0x00}));
  EXPECT_EQ(settings().LedWord, 0x81D0);
  EXPECT_TRUE(view_.State(LedBitBox(0, 4)).checked);
  EXPECT_FALSE(view_.State(LedBitBox(0, 0)).checked);
  EXPECT_FALSE(view_.State(LedBitBox(0, 0)).enabled);
  EXPECT_TRUE(view_.State(LedBitBox(1, 1)).checked);
  EXPECT_TRUE(view_.State(LedBitBox(1, 1)).enabled);
  EXPECT_FALSE(view_.State(LedBitBox(2, 0)).checked);
  EXPECT_FALSE(view_.State(LedBitBox(2, 0)).enabled);
  // The image follows the record.
  EXPECT_EQ(ImageArea(station().prev)[0x84], 0xD0);
  EXPECT_EQ(ImageArea(station().prev)[0x85], 0x81);
}

}  // namespace
}  // namespace srom::test
