// `srom-cli ledger --check` on ledgers and logs made by hand: a real SQLite
// ledger file in the station folder, Serial-MAC.log written line by line as
// the tool writes it, and the real srom-cli judging them. Every unit the two
// disagree on is named on a line of its own, and the check then fails with
// its own exit code.
#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "files/eeprom_dat.h"
#include "files/logs.h"
#include "ledger/sqlite_ledger.h"
#include "support/temp_folder.h"

namespace srom::test {
namespace {

constexpr int kCheckFailedExit = 15;
constexpr char kTime[] = "2026-12-10 15:05:00";

// A unit of the hand-made ledger; `reissue` for a rework of its address.
struct HandUnit {
  std::string mac;
  UnitState state;
  bool reissue = false;
};

struct CheckRow {
  const char* name;
  std::vector<HandUnit> units;  // ids 1, 2, ... in this order
  // The MAC addresses of the log's unit lines, in order; none: no log.
  std::vector<std::string> logged;
  int code;
  // The check's lines on the error stream, in this order (the findings,
  // then the count); each whole line.
  std::vector<std::string> said;
};

void PrintTo(const CheckRow& row, std::ostream* out) { *out << row.name; }

class LedgerCheckFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    station_ = folder_ / "station";
    fs::create_directories(station_);
    // Settings as the station left them, so that it opens without a word.
    WriteBytes(station_ / "EEPROM.dat", FormatEepromDat(SromSettings{}));
  }

  void MakeLedger(const std::vector<HandUnit>& units) {
    auto opened = SqliteLedger::Open(station_ / std::string(kLedgerFileName));
    ASSERT_TRUE(opened.ok()) << opened.error;
    Ledger& ledger = **opened.value;
    for (const HandUnit& unit : units) {
      UnitDraft draft;
      draft.mac = unit.mac;
      draft.serial = "00" + unit.mac;
      draft.device_sel = kChipAEeprom;
      draft.image_digest = std::string(64, 'A');
      draft.station = "S1";
      draft.time = kTime;
      draft.reissue = unit.reissue;
      const auto id = ledger.Reserve(draft);
      ASSERT_TRUE(id.ok()) << id.error;
      LedgerStatus closed;
      switch (unit.state) {
        case UnitState::kProgrammed:
          closed = ledger.MarkProgrammed(*id.value, kTime);
          break;
        case UnitState::kReleased:
          closed = ledger.Release(*id.value, kTime);
          break;
        case UnitState::kInterrupted:
          closed = ledger.SetAside(*id.value, kTime);
          break;
        case UnitState::kFailed:
          closed = ledger.MarkFailed(*id.value, kTime);
          break;
        default:
          break;  // left reserved: a unit cut off while being written
      }
      ASSERT_TRUE(closed.ok()) << closed.error;
      // The settings were saved after it, so the station's start leaves the
      // log alone.
      if (unit.state == UnitState::kProgrammed ||
          unit.state == UnitState::kInterrupted) {
        ASSERT_TRUE(ledger.MarkSettingsSaved(*id.value).ok());
      }
    }
  }

  void WriteLog(const std::vector<std::string>& macs) {
    if (macs.empty()) return;
    std::string log = SerialMacLogHeader();
    LocalTime when{2026, 12, 10, 15, 5, 0};
    for (const std::string& mac : macs) {
      SromSettings unit;
      unit.DeviceSel = kChipAEeprom;
      unit.CurrentMac = mac;
      unit.CurrentSerial = "00" + mac;
      log += SerialMacLogLine(unit, when);
      ++when.second;
    }
    WriteBytes(station_ / "Serial-MAC.log", log);
  }

  Exit Check() {
    return CliProcess(station_, {"ledger", "--check"}, folder_ / "err.txt")
        .Wait();
  }

  TempFolder folder_;
  fs::path station_;
};

class LedgerCheckTest : public LedgerCheckFixture,
                        public ::testing::WithParamInterface<CheckRow> {};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_P(LedgerCheckTest, NamesEveryUnitTheLogAndTheLedgerDisagreeOn) {
  const CheckRow& row = GetParam();
  ASSERT_NO_FATAL_FAILURE(MakeLedger(row.units));
  WriteLog(row.logged);
  const std::string log_before = ReadBytes(station_ / "Serial-MAC.log");

  const Exit check = Check();
  EXPECT_EQ(check.code, row.code) << check.err;
  // The check's own lines: every "Unit ..." line, the count, the lines of
  // the log the ledger does not know.
  std::vector<std::string> said;
  for (const std::string& line : Lines(check.err)) {
    if (line.starts_with("Unit ") ||
        line.find("Serial-MAC.log") != std::string::npos) {
      said.push_back(line);
    }
  }
  EXPECT_EQ(said, row.said) << check.err;
  EXPECT_EQ(Lines(check.err).back(),
            row.code == 0 ? "PASS" : "FAIL: check failed");
  // The check reads the log and changes nothing in it.
  EXPECT_EQ(ReadBytes(station_ / "Serial-MAC.log"), log_before);
}

constexpr char kA[] = "00E04C000701";
constexpr char kB[] = "00E04C000702";
constexpr char kC[] = "00E04C000703";
constexpr char kD[] = "00E04C000704";
constexpr char kOld[] = "00E04C000100";

const CheckRow kRows[] = {
    {"EveryProgrammedUnitLoggedOnce",
     {{kA, UnitState::kProgrammed},
      {kB, UnitState::kProgrammed},
      {kC, UnitState::kReleased}},
     {kA, kB},
     0,
     {"2 programmed units are in Serial-MAC.log."}},
    // A failed write frees its address, and the next unit takes it again.
    {"ReleasedThenProgrammedWithTheSameAddress",
     {{kA, UnitState::kReleased}, {kA, UnitState::kProgrammed}},
     {kA},
     0,
     {"1 programmed units are in Serial-MAC.log."}},
    // A failed unit's adapter written again with its address, and passed.
    {"FailedThenRetriedWithTheSameAddress",
     {{kA, UnitState::kFailed}, {kA, UnitState::kProgrammed, true}},
     {kA},
     0,
     {"1 programmed units are in Serial-MAC.log."}},
    {"ReworkedOnPurposeIsLoggedTwice",
     {{kA, UnitState::kProgrammed}, {kA, UnitState::kProgrammed, true}},
     {kA, kA},
     0,
     {"2 programmed units are in Serial-MAC.log."}},
    // Units programmed before the station kept a ledger.
    {"LinesOlderThanTheLedgerAreCountedNotFailed",
     {{kA, UnitState::kProgrammed}},
     {kOld, kA, kOld},
     0,
     {"1 programmed units are in Serial-MAC.log.",
      "2 lines of Serial-MAC.log have no unit in the ledger (units logged "
      "before the ledger was kept, or a log edited by hand)."}},
    {"ProgrammedUnitMissingFromTheLog",
     {{kA, UnitState::kProgrammed}, {kB, UnitState::kProgrammed}},
     {kA},
     kCheckFailedExit,
     {"Unit 2 (MAC address 00E04C000702, programmed on 2026-12-10 15:05:00) "
      "is missing from Serial-MAC.log.",
      "1 programmed units are in Serial-MAC.log."}},
    {"NoLogAtAll",
     {{kA, UnitState::kProgrammed}},
     {},
     kCheckFailedExit,
     {"Unit 1 (MAC address 00E04C000701, programmed on 2026-12-10 15:05:00) "
      "is missing from Serial-MAC.log.",
      "0 programmed units are in Serial-MAC.log."}},
    {"ALineAppendedTwice",
     {{kA, UnitState::kProgrammed}, {kB, UnitState::kProgrammed}},
     {kA, kB, kB},
     kCheckFailedExit,
     {"Unit 2 (MAC address 00E04C000702, programmed on 2026-12-10 15:05:00): "
      "Serial-MAC.log lists its MAC address twice, but the ledger programmed "
      "it once.",
      "2 programmed units are in Serial-MAC.log."}},
    {"AReleasedUnitLogged",
     {{kA, UnitState::kProgrammed}, {kB, UnitState::kReleased}},
     {kA, kB},
     kCheckFailedExit,
     {"Unit 2 (MAC address 00E04C000702, released on 2026-12-10 15:05:00) is "
      "in Serial-MAC.log, but the ledger holds it as released, not "
      "programmed.",
      "1 programmed units are in Serial-MAC.log."}},
    {"AFailedUnitLogged",
     {{kA, UnitState::kProgrammed}, {kB, UnitState::kFailed}},
     {kA, kB},
     kCheckFailedExit,
     {"Unit 2 (MAC address 00E04C000702, failed on 2026-12-10 15:05:00) is "
      "in Serial-MAC.log, but the ledger holds it as failed, not "
      "programmed.",
      "1 programmed units are in Serial-MAC.log."}},
    {"AnInterruptedUnitLogged",
     {{kA, UnitState::kInterrupted}, {kB, UnitState::kProgrammed}},
     {kA, kB},
     kCheckFailedExit,
     {"Unit 1 (MAC address 00E04C000701, interrupted on 2026-12-10 15:05:00) "
      "is in Serial-MAC.log, but the ledger holds it as interrupted, not "
      "programmed.",
      "1 programmed units are in Serial-MAC.log."}},
    // Every fault at once, each on its own line in id order; the released
    // unit whose address was programmed again later is no fault.
    {"EveryFaultAtOnce",
     {{kA, UnitState::kProgrammed},
      {kB, UnitState::kProgrammed},
      {kC, UnitState::kReleased},
      {kD, UnitState::kInterrupted},
      {kC, UnitState::kProgrammed}},
     {kB, kB, kB, kC, kD, kOld},
     kCheckFailedExit,
     {"Unit 1 (MAC address 00E04C000701, programmed on 2026-12-10 15:05:00) "
      "is missing from Serial-MAC.log.",
      "Unit 2 (MAC address 00E04C000702, programmed on 2026-12-10 15:05:00): "
      "Serial-MAC.log lists its MAC address 3 times, but the ledger "
      "programmed it once.",
      "Unit 4 (MAC address 00E04C000704, interrupted on 2026-12-10 15:05:00) "
      "is in Serial-MAC.log, but the ledger holds it as interrupted, not "
      "programmed.",
      "2 programmed units are in Serial-MAC.log.",
      "1 lines of Serial-MAC.log have no unit in the ledger (units logged "
      "before the ledger was kept, or a log edited by hand)."}},
};

INSTANTIATE_TEST_SUITE_P(Logs, LedgerCheckTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

// A unit cut off while being written is set aside when the station opens
// for the check; logged all the same, it is named with its state then.
TEST_F(LedgerCheckFixture, AUnitCutOffWhileBeingWrittenAndLoggedIsNamed) {
  ASSERT_NO_FATAL_FAILURE(
      MakeLedger({{kA, UnitState::kProgrammed}, {kB, UnitState::kReserved}}));
  WriteLog({kA, kB});
  const Exit check = Check();
  EXPECT_EQ(check.code, kCheckFailedExit) << check.err;
  EXPECT_NE(check.err.find("\nUnit 2 (MAC address 00E04C000702, interrupted "
                           "on "),
            std::string::npos)
      << check.err;
  EXPECT_NE(check.err.find("is in Serial-MAC.log, but the ledger holds it as "
                           "interrupted, not programmed.\n"),
            std::string::npos)
      << check.err;
}

}  // namespace
}  // namespace srom::test
