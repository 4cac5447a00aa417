#include "files/eeprom_dat.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "files_test_support.h"
#include "ports/reporter.h"
#include "ports/system_error_text.h"
#include "support/recording_reporter.h"

namespace srom {
namespace {

using test::AllFields;
using test::Golden;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

const std::string kWrongFormat = "Loaded a Wrong EEPROM.dat file format!";

// The settings the golden files were written from, each a fresh record with
// only the stored fields changed.
SromSettings ChipAEeprom() {
  SromSettings s;
  s.DeviceSel = kChipAEeprom;
  s.SromSize = 1;
  s.CurrentMac = "001122334455";
  s.MaximumMac = "0011223344FF";
  s.MacIncrement = 2;
  s.CurrentSerial = "00001122334455";
  s.MaximumSerial = "000011223344FF";
  s.SerialIncrement = 2;
  s.SuperBusPower = "896";
  s.SuperSelfPower = "16";
  s.HighBusPower = s.FullBusPower = "448";
  s.HighSelfPower = s.FullSelfPower = "8";
  s.BarCode = true;
  s.LedSetting = {1, 14, 16};
  s.LedUsb3 = {false, true, false};
  s.SwField = "12AB";
  s.BasedOnMac = true;
  s.AutoProgram = true;
  s.DelayTime = 5;
  s.DeviceSelLock = true;
  return s;
}

SromSettings ChipBEeprom() {
  SromSettings s;
  s.DeviceSel = kChipBEeprom;
  s.DisableSetting = true;
  s.CurrentMac = "00AABBCCDDEE";
  s.MaximumMac = "00AABBCCDDFF";
  s.CurrentSerial = "0000000000ABCD";
  s.SerialIncrement = 9;
  s.Manufacturer = "Maker B";
  s.Product = "KM62057D";
  s.ProductId = "057D";
  s.FlagByte = "7";
  s.LedSetting = {16, 0, 31};
  s.MultiEnable = true;
  s.DelayTime = 15;
  return s;
}

SromSettings ChipAEfuseLongStrings() {
  SromSettings s;
  s.DeviceSel = kChipAEfuse;
  s.Manufacturer = "Manufacturer of exactly 34 chars..";
  s.Product = "A product string of 35 characters..";
  s.FixedSerial = true;
  return s;
}

SromSettings ChipBEfuse() {
  SromSettings s;
  s.DeviceSel = kChipBEfuse;
  s.CurrentMac = "0A0000000010";
  s.MacIncrement = 9;
  s.BasedOnMac = true;
  s.FixedSerial = false;
  s.SwField = "00FF";
  return s;
}

struct SaveCase {
  const char* name;
  std::function<SromSettings()> make;
  const char* golden;  // nullptr: no golden file for this selection
  const char* accepted_bus_power;
};

class SaveAndLoad : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveAndLoad, WritesTheGoldenFileAndLoadsTheSameSettingsBack) {
  TempFolder folder;
  const FileFolders folders{folder.path(), folder.path()};
  const SromSettings saved = GetParam().make();
  LastAccepted accepted;
  RecordingReporter reporter;

  ASSERT_TRUE(SaveEepromDat(folders, saved, accepted, reporter));
  EXPECT_TRUE(reporter.events().empty());
  if (GetParam().golden != nullptr) {
    EXPECT_EQ(ReadBytes(folder / "EEPROM.dat"), Golden(GetParam().golden));
  }
  EXPECT_EQ(accepted.BusPower, GetParam().accepted_bus_power);
  EXPECT_EQ(accepted.CurrentMac, saved.CurrentMac);
  EXPECT_EQ(accepted.Product, saved.Product);

  // The fixed-serial flag is the window's state, not the file's.
  SromSettings loaded;
  loaded.FixedSerial = saved.FixedSerial;
  LastAccepted accepted_on_load;
  const auto result =
      LoadEepromDat(folders, loaded, accepted_on_load, reporter);
  EXPECT_EQ(result.outcome, EepromDatLoad::kLoaded);
  EXPECT_TRUE(reporter.events().empty());
  EXPECT_EQ(AllFields(loaded), AllFields(saved));
  EXPECT_EQ(AllFields(accepted_on_load), AllFields(accepted));
}

INSTANTIATE_TEST_SUITE_P(
    EachSelection, SaveAndLoad,
    ::testing::Values(SaveCase{"ChipAEeprom", ChipAEeprom, "EEPROM_sel2.dat",
                               "896"},
                      SaveCase{"ChipBEepromWithout3Lines", ChipBEeprom,
                               "EEPROM_sel0.dat", "248"},
                      SaveCase{"ChipAEfuseLongValues", ChipAEfuseLongStrings,
                               "EEPROM_sel3_long.dat", "496"},
                      SaveCase{"ChipBEfuse", ChipBEfuse, nullptr, "496"}),
    [](const auto& info) { return std::string(info.param.name); });

// A file of quoted values with the usual comments and line ends.
std::string QuotedFile(const std::vector<std::string>& values) {
  std::string file;
  for (const auto& v : values) file += "\"" + v + "\"   // comment\r\n";
  return file;
}

// The 29 values of the chip A golden file.
std::vector<std::string> ChipAValues() {
  return {"2",
          "1",
          "0",
          "001122334455",
          "0011223344FF",
          "2",
          "00001122334455",
          "000011223344FF",
          "2",
          "VELK Elec. Corp.",
          "KM62058",
          "4C1E",
          "0580",
          "896",
          "16",
          "73",
          "1",
          "1",
          "14",
          "16",
          "0",
          "1",
          "0",
          "12AB",
          "1",
          "0",
          "1",
          "5",
          "1"};
}

std::vector<std::string> Replaced(std::vector<std::string> values,
                                  std::size_t at, const std::string& value) {
  values[at] = value;
  return values;
}

struct Loading {
  TempFolder folder;
  FileFolders folders{folder.path(), folder.path()};
  SromSettings settings;
  LastAccepted accepted;
  RecordingReporter reporter;

  EepromLoadResult Load(const std::string& file) {
    WriteBytes(folder / "EEPROM.dat", file);
    return LoadEepromDat(folders, settings, accepted, reporter);
  }
};

struct RefusedCase {
  const char* name;
  std::string file;
  // Past the reading buffer the file is not read at all; a second message
  // gives its size.
  std::string size_said = {};
};

class RefusedFile : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedFile, ChangesNothingAndKeepsTheFile) {
  Loading load;
  load.settings.CurrentMac = "00000000ABCD";
  const SromSettings before = load.settings;
  const LastAccepted accepted_before = load.accepted;

  EXPECT_EQ(load.Load(GetParam().file).outcome, EepromDatLoad::kWrongFormat);
  std::vector<std::string> said = {kWrongFormat};
  if (!GetParam().size_said.empty()) {
    said.push_back("EEPROM.dat in " + QuotedPath(load.folder.path()) +
                   " cannot be read: " + GetParam().size_said + ".");
  }
  EXPECT_EQ(load.reporter.messages(), said);
  EXPECT_EQ(AllFields(load.settings), AllFields(before));
  EXPECT_EQ(AllFields(load.accepted), AllFields(accepted_before));
  EXPECT_EQ(ReadBytes(load.folder / "EEPROM.dat"), GetParam().file);
}

std::vector<RefusedCase> RefusedCases() {
  auto values = ChipAValues();
  auto thirty = values;
  thirty.push_back("0");
  const std::vector<std::string> twenty(values.begin(), values.begin() + 20);
  const std::vector<std::string> twenty_one(values.begin(),
                                            values.begin() + 21);
  const std::vector<std::string> five(values.begin(), values.begin() + 5);
  std::string too_long = QuotedFile(values);
  too_long.append(10001 - too_long.size(), ' ');
  return {
      {"ThirtyValues", QuotedFile(thirty)},
      {"TwentyValues", QuotedFile(twenty)},
      {"EndsInsideAValue", QuotedFile(twenty_one) + "\"unfinished"},
      {"EndsOnAnOpeningQuote", QuotedFile(twenty_one) + "\""},
      {"EndsOnAClosingQuoteAfterFiveValues", "\"2\"\"1\"\"0\"\"0A\"\"0B\""},
      {"Empty", ""},
      {"LongerThanTheBuffer", too_long,
       "it is 10001 bytes, more than the 10000 bytes such a file may hold"},
      {"DeviceSelectionOutOfTheList", QuotedFile(Replaced(values, 0, "4"))},
      {"NegativeDeviceSelection", QuotedFile(Replaced(values, 0, "-1"))},
      {"SromSizeNeither256Nor512", QuotedFile(Replaced(values, 1, "2"))},
      {"MacIncreaseBeyondTheList", QuotedFile(Replaced(values, 5, "10"))},
      {"NegativeSerialIncrease", QuotedFile(Replaced(values, 8, "-1"))},
      {"DelayTimeAbove15", QuotedFile(Replaced(values, 27, "16"))},
  };
}

INSTANTIATE_TEST_SUITE_P(LoadEepromDat, RefusedFile,
                         ::testing::ValuesIn(RefusedCases()),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(LoadEepromDat, TwentyOneValuesLoadWithTheRestEmptyOrZero) {
  Loading load;
  load.settings.SwField = "1234";
  load.settings.LedUsb3 = {false, true, true};
  load.settings.AutoProgram = load.settings.DeviceSelLock = true;
  load.settings.DelayTime = 7;
  auto values = ChipAValues();
  values.resize(21);
  values[20] = "1";

  EXPECT_EQ(load.Load(QuotedFile(values)).outcome, EepromDatLoad::kLoaded);
  EXPECT_EQ(load.settings.CurrentMac, "001122334455");
  EXPECT_EQ(load.settings.LedUsb3, (std::array<bool, 3>{true, false, false}));
  EXPECT_EQ(load.settings.SwField, "");
  EXPECT_FALSE(load.settings.BasedOnMac);
  EXPECT_FALSE(load.settings.AutoProgram);
  EXPECT_EQ(load.settings.DelayTime, 0);
  EXPECT_FALSE(load.settings.DeviceSelLock);
  EXPECT_TRUE(load.reporter.events().empty());
}

TEST(LoadEepromDat, TextOutsideTheQuotesDoesNotMatter) {
  Loading plain;
  ASSERT_EQ(plain.Load(Golden("EEPROM_sel2.dat")).outcome,
            EepromDatLoad::kLoaded);

  std::string odd = "settings written by hand\n";
  for (const auto& v : ChipAValues())
    odd += "\t\"" + v + "\" no comment at all\n\n";
  Loading changed;
  ASSERT_EQ(changed.Load(odd).outcome, EepromDatLoad::kLoaded);
  EXPECT_EQ(AllFields(changed.settings), AllFields(plain.settings));
}

TEST(LoadEepromDat, ChipASuperSpeedPowerIsHalvedIntoTheLowerRows) {
  Loading load;
  ASSERT_EQ(load.Load(Golden("EEPROM_sel2.dat")).outcome,
            EepromDatLoad::kLoaded);
  EXPECT_EQ(load.settings.SuperBusPower, "896");
  EXPECT_EQ(load.settings.HighBusPower, "448");
  EXPECT_EQ(load.settings.FullBusPower, "448");
  EXPECT_EQ(load.settings.HighSelfPower, "8");
  EXPECT_EQ(load.settings.FullSelfPower, "8");
}

TEST(LoadEepromDat, AnEfuseSelectionLeavesPowerAndUsb3AsTheyWere) {
  Loading load;
  load.settings.SuperBusPower = "104";
  load.settings.HighBusPower = "52";
  load.settings.HighSelfPower = "12";
  load.settings.LedUsb3 = {true, true, true};
  const SromSettings before = load.settings;

  ASSERT_EQ(load.Load(Golden("EEPROM_sel3_long.dat")).outcome,
            EepromDatLoad::kLoaded);
  EXPECT_EQ(load.settings.SuperBusPower, before.SuperBusPower);
  EXPECT_EQ(load.settings.HighBusPower, before.HighBusPower);
  EXPECT_EQ(load.settings.HighSelfPower, before.HighSelfPower);
  EXPECT_EQ(load.settings.LedUsb3, before.LedUsb3);
  EXPECT_EQ(load.accepted.BusPower, LastAccepted{}.BusPower);
}

TEST(LoadEepromDat, AFileOfExactlyTheBufferSizeLoads) {
  Loading load;
  std::string file = Golden("EEPROM_sel2.dat");
  file.append(kEepromDatMaxBytes - file.size(), ' ');
  EXPECT_EQ(load.Load(file).outcome, EepromDatLoad::kLoaded);
}

TEST(LoadEepromDat, AMissingFileIsCreatedFromTheCurrentSettings) {
  TempFolder working;
  TempFolder program;
  const FileFolders folders{program.path(), working.path()};
  SromSettings settings = ChipAEeprom();
  LastAccepted accepted;
  RecordingReporter reporter;

  const auto result = LoadEepromDat(folders, settings, accepted, reporter);
  EXPECT_EQ(result.outcome, EepromDatLoad::kCreated);
  EXPECT_TRUE(result.save_ok);
  EXPECT_EQ(
      reporter.messages(),
      std::vector<std::string>{"Does not exist EEPROM setting file.\r\n"
                               "Create a default EEPROM setting file.\r\n"});
  EXPECT_EQ(ReadBytes(program / "EEPROM.dat"), Golden("EEPROM_sel2.dat"));
  EXPECT_FALSE(std::filesystem::exists(working / "EEPROM.dat"));
}

TEST(LoadEepromDat, TheFileInTheProgramFolderIsLoadedNotOverwritten) {
  TempFolder working;
  TempFolder program;
  WriteBytes(program / "EEPROM.dat", Golden("EEPROM_sel0.dat"));
  const FileFolders folders{program.path(), working.path()};
  SromSettings settings;  // the defaults of a fresh start
  LastAccepted accepted;
  RecordingReporter reporter;

  EXPECT_EQ(LoadEepromDat(folders, settings, accepted, reporter).outcome,
            EepromDatLoad::kLoaded);
  EXPECT_EQ(settings.CurrentMac, "00AABBCCDDEE");
  EXPECT_TRUE(reporter.events().empty());
  EXPECT_EQ(ReadBytes(program / "EEPROM.dat"), Golden("EEPROM_sel0.dat"));
}

TEST(LoadEepromDat, AFileThatCannotBeReadIsNeitherLoadedNorReplaced) {
  TempFolder folder;
  std::filesystem::create_directory(folder / "EEPROM.dat");
  const FileFolders folders{folder.path(), folder.path()};
  SromSettings settings;
  const SromSettings before = settings;
  LastAccepted accepted;
  RecordingReporter reporter;

  EXPECT_EQ(LoadEepromDat(folders, settings, accepted, reporter).outcome,
            EepromDatLoad::kUnreadable);
  EXPECT_EQ(
      reporter.messages(),
      (std::vector<std::string>{"Failed to read file EEPROM.dat! \r\n",
                                "EEPROM.dat in " + QuotedPath(folder.path()) +
                                    " cannot be read: it is a folder."}));
  EXPECT_EQ(AllFields(settings), AllFields(before));
  EXPECT_TRUE(std::filesystem::is_directory(folder / "EEPROM.dat"));
}

#ifndef _WIN32
// A pipe named EEPROM.dat once hung the start-up in its open. It is refused
// at once, wherever it stands, and is never replaced by the defaults: a pipe
// counts as a file that exists.
TEST(LoadEepromDat, APipeNamedEepromDatIsRefusedAtOnce) {
  for (const bool in_working_folder : {true, false}) {
    TempFolder working;
    TempFolder program;
    const FileFolders folders{program.path(), working.path()};
    const std::filesystem::path pipe =
        (in_working_folder ? working.path() : program.path()) / "EEPROM.dat";
    ASSERT_TRUE(test::MakeFifo(pipe));
    SromSettings settings;
    const SromSettings before = settings;
    LastAccepted accepted;
    RecordingReporter reporter;

    EepromLoadResult result;
    EXPECT_FALSE(test::BlockedOnPipe(pipe, [&] {
      result = LoadEepromDat(folders, settings, accepted, reporter);
    })) << in_working_folder;
    EXPECT_EQ(result.outcome, EepromDatLoad::kUnreadable);
    EXPECT_EQ(reporter.messages(),
              (std::vector<std::string>{
                  "Failed to read file EEPROM.dat! \r\n",
                  "EEPROM.dat in " + QuotedPath(pipe.parent_path()) +
                      " cannot be read: it is not a plain file (a pipe or a "
                      "device)."}));
    EXPECT_EQ(AllFields(settings), AllFields(before));
    EXPECT_EQ(AllFields(accepted), AllFields(LastAccepted{}));
    EXPECT_EQ(std::filesystem::status(pipe).type(),
              std::filesystem::file_type::fifo);
    EXPECT_FALSE(std::filesystem::exists(program / "EEPROM.dat") &&
                 in_working_folder);
  }
}
#endif

struct RefusedSave {
  const char* name;
  std::function<void(SromSettings&)> change;
  const char* message;
};

class SaveRefused : public ::testing::TestWithParam<RefusedSave> {};

TEST_P(SaveRefused, NamesTheFieldAndKeepsTheOldFile) {
  TempFolder folder;
  const FileFolders folders{folder.path(), folder.path()};
  WriteBytes(folder / "EEPROM.dat", Golden("EEPROM_sel0.dat"));
  SromSettings settings = ChipAEeprom();
  GetParam().change(settings);
  LastAccepted accepted;
  RecordingReporter reporter;

  EXPECT_FALSE(SaveEepromDat(folders, settings, accepted, reporter));
  EXPECT_EQ(reporter.messages(), std::vector<std::string>{GetParam().message});
  EXPECT_EQ(ReadBytes(folder / "EEPROM.dat"), Golden("EEPROM_sel0.dat"));
  EXPECT_EQ(AllFields(accepted), AllFields(LastAccepted{}));
}

INSTANTIATE_TEST_SUITE_P(
    SaveEepromDat, SaveRefused,
    ::testing::Values(
        RefusedSave{
            "QuoteInProduct", [](SromSettings& s) { s.Product = "KM\"62"; },
            "Can't save EEPROM.dat: the Product String contains a double "
            "quote (\"), which the file cannot hold.\r\n"},
        RefusedSave{"QuoteInManufacturer",
                    [](SromSettings& s) { s.Manufacturer = "\"VELK\""; },
                    "Can't save EEPROM.dat: the Manufacture String contains a "
                    "double quote (\"), which the file cannot hold.\r\n"},
        RefusedSave{"QuoteInSwField",
                    [](SromSettings& s) { s.SwField = "1\"34"; },
                    "Can't save EEPROM.dat: the SW Field contains a double "
                    "quote (\"), which the file cannot hold.\r\n"},
        RefusedSave{"NoDeviceSelection",
                    [](SromSettings& s) { s.DeviceSel = -1; },
                    "Can't save EEPROM.dat: the Device Select value -1 is out "
                    "of range.\r\n"},
        RefusedSave{
            "IncreaseOutOfTheList",
            [](SromSettings& s) { s.MacIncrement = 10; },
            "Can't save EEPROM.dat: the MAC address Increase by value 10 "
            "is out of range.\r\n"},
        RefusedSave{"TooLongToLoadBack",
                    [](SromSettings& s) { s.Product = std::string(9000, 'P'); },
                    "Can't save EEPROM.dat: the settings are too long for the "
                    "file.\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SaveEepromDat, AFolderThatCannotBeWrittenFailsWithTheMessage) {
  TempFolder folder;
  const FileFolders folders{folder / "missing", folder.path()};
  LastAccepted accepted;
  RecordingReporter reporter;

  EXPECT_FALSE(SaveEepromDat(folders, ChipAEeprom(), accepted, reporter));
  EXPECT_EQ(reporter.messages(),
            (std::vector<std::string>{
                "Failed to open file EEPROM.dat! \r\n",
                "EEPROM.dat could not be saved in " +
                    QuotedPath(folder / "missing") + ": the folder " +
                    QuotedPath(folder / "missing") + " does not exist."}));
  EXPECT_EQ(AllFields(accepted), AllFields(LastAccepted{}));
}

}  // namespace
}  // namespace srom
