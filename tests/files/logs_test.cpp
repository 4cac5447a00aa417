#include "files/logs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files_test_support.h"
#include "ports/clock.h"
#include "ports/reporter.h"
#include "ports/system_error_text.h"
#include "support/fake_clock.h"
#include "support/recording_reporter.h"

namespace srom {
namespace {

using test::ReadBytes;
using test::TempFolder;

const LocalTime kWorkedExample{2019, 4, 24, 9, 5, 7};
const std::string kHeader =
    "   Device\tSerial No.\tMAC Address\tDate\t\tTime   \r\n"
    "========================================================================"
    "\r\n";

struct Logging {
  TempFolder folder;
  FileFolders folders{folder.path(), folder / "elsewhere"};
  FakeClock clock{kWorkedExample};
  RecordingReporter reporter;
  SromSettings settings;
};

TEST(AppendSerialMacLog, WritesTheHeaderOnlyIntoANewFile) {
  Logging log;
  log.settings.DeviceSel = kChipAEeprom;
  log.settings.CurrentSerial = "00000000000001";
  log.settings.CurrentMac = "000000000001";

  ASSERT_TRUE(
      AppendSerialMacLog(log.folders, log.settings, log.clock, log.reporter));
  log.settings.CurrentSerial = "00000000000002";
  log.settings.CurrentMac = "000000000002";
  log.clock.set_now({2019, 12, 31, 23, 59, 59});
  ASSERT_TRUE(
      AppendSerialMacLog(log.folders, log.settings, log.clock, log.reporter));

  EXPECT_EQ(
      ReadBytes(log.folder / "Serial-MAC.log"),
      kHeader +
          " 058/EEPROM\t00000000000001\t000000000001\t2019/04/24\t09:05:07 \r\n"
          " 058/EEPROM\t00000000000002\t000000000002\t2019/12/31\t23:59:59 "
          "\r\n");
  EXPECT_TRUE(log.reporter.events().empty());
}

struct LineCase {
  int device_sel;
  bool fixed_serial;
  const char* line;
};

TEST(SerialMacLogLine, NamesTheDeviceAndTheSerialOfEachSelection) {
  const LineCase cases[] = {
      {kChipBEeprom, false,
       " 057D/EEPROM\t0000000000ABCD\t001122334455\t2019/04/24\t09:05:07 \r\n"},
      {kChipAEeprom, true,
       " 058/EEPROM\t0000000000ABCD\t001122334455\t2019/04/24\t09:05:07 \r\n"},
      {kChipBEfuse, false,
       " 057D/EFUSE\t00001122334455\t001122334455\t2019/04/24\t09:05:07 \r\n"},
      {kChipAEfuse, false,
       " 058/EFUSE\t00001122334455\t001122334455\t2019/04/24\t09:05:07 \r\n"},
      {kChipAEfuse, true,
       " 058/EFUSE\t00000000000001\t001122334455\t2019/04/24\t09:05:07 \r\n"},
      {-1, false, ""},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.device_sel);
    SromSettings settings;
    settings.DeviceSel = c.device_sel;
    settings.FixedSerial = c.fixed_serial;
    settings.CurrentMac = "001122334455";
    settings.CurrentSerial = "0000000000ABCD";
    EXPECT_EQ(SerialMacLogLine(settings, kWorkedExample), c.line);
  }
}

TEST(AppendRetryLog, StartsABlockAtIndexZeroAndCountsTheRetries) {
  Logging log;
  ImageBuffer dump = BlankBuffer();
  for (int k = 0; k < 64; ++k)
    ImageArea(dump)[k] = static_cast<std::uint8_t>(k * 4);
  ImageArea(dump)[64] = 0x12;  // beyond the eFuse: never logged

  for (int index = 0; index <= 3; ++index) {
    ASSERT_TRUE(
        AppendRetryLog(log.folders, dump, index, log.clock, log.reporter));
  }

  const std::string bytes =
      "00 04 08 0C 10 14 18 1C 20 24 28 2C 30 34 38 3C \r\n"
      "40 44 48 4C 50 54 58 5C 60 64 68 6C 70 74 78 7C \r\n"
      "80 84 88 8C 90 94 98 9C A0 A4 A8 AC B0 B4 B8 BC \r\n"
      "C0 C4 C8 CC D0 D4 D8 DC E0 E4 E8 EC F0 F4 F8 FC \r\n";
  EXPECT_EQ(
      ReadBytes(log.folder / "RetryLog.txt"),
      "\r\nTime:\t04/24 09:05:07\r\nResult:\tCompare fail! Retry program\r\n"
      "First Program:\r\n" +
          bytes + "Retry Times: 1\r\n" + bytes + "Retry Times: 2\r\n" + bytes +
          "Retry Times: 3\r\n" + bytes);
  EXPECT_TRUE(log.reporter.events().empty());
}

TEST(Logs, AFolderThatCannotBeWrittenShowsTheMessage) {
  Logging log;
  log.folders.program_folder = log.folder / "missing";
  EXPECT_FALSE(
      AppendSerialMacLog(log.folders, log.settings, log.clock, log.reporter));
  EXPECT_FALSE(
      AppendRetryLog(log.folders, BlankBuffer(), 0, log.clock, log.reporter));
  const std::string where = " could not be written in " +
                            QuotedPath(log.folder / "missing") +
                            ": the file or its folder does not exist.";
  EXPECT_EQ(log.reporter.messages(),
            (std::vector<std::string>{
                "Write 'Serial-MAC.log' file failed.", "Serial-MAC.log" + where,
                "Open Log file fail!", "RetryLog.txt" + where}));
}

}  // namespace
}  // namespace srom
