// A station whose own ledger lost its units, as a user meets it through the
// real srom-cli: the ledger file deleted, emptied or swapped for a fresh one
// while Serial-MAC.log and EEPROM.dat show the units programmed. No unit is
// programmed, and the check fails, until `ledger --rebuild-from-log` has
// entered the logged units; then the station goes on past them.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "files/eeprom_dat.h"
#include "files/logs.h"
#include "ledger/sqlite_ledger.h"
#include "support/logged_macs.h"
#include "support/temp_folder.h"

namespace srom::test {
namespace {

constexpr std::chrono::seconds kDeadline{20};
constexpr int kUsageExit = 2;
constexpr int kFileRejectedExit = 7;
constexpr int kCheckFailedExit = 15;
constexpr char kRebuild[] = "srom-cli ledger --rebuild-from-log";

void RemoveLedger(const fs::path& station) {
  for (const char* end : {"", "-wal", "-shm"}) {
    fs::remove(station / (std::string(kLedgerFileName) + end));
  }
}

// EEPROM.dat with this current MAC address, the rest as it was (the initial
// settings when there is no file: srom-cli never creates one).
void SetCurrentMac(const fs::path& station, const std::string& mac) {
  SromSettings changed;
  if (fs::exists(station / "EEPROM.dat")) {
    const auto settings =
        SettingsFromEepromDat(ReadBytes(station / "EEPROM.dat"), {});
    ASSERT_TRUE(settings.has_value());
    changed = *settings;
  }
  changed.CurrentMac = mac;
  WriteBytes(station / "EEPROM.dat", FormatEepromDat(changed));
}

class LostLedgerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    station_ = root_ / "station";
    fs::create_directories(station_);
  }

  Exit Run(const std::vector<std::string>& args) {
    return CliProcess(station_, args, root_ / "err.txt").WaitWithin(kDeadline);
  }

  fs::path Ledger() const { return station_ / std::string(kLedgerFileName); }

  TempFolder root_;
  fs::path station_;
};

struct LostRow {
  const char* name;
  // What befell the station after its two units.
  void (*lose)(const fs::path& station);
  // A piece of the message the station opens with.
  const char* said;
  // The units the rebuild enters, and the message that says so.
  int entered;
  const char* rebuilt;
};

void PrintTo(const LostRow& row, std::ostream* out) { *out << row.name; }

const LostRow kLostRows[] = {
    {"Deleted", RemoveLedger, "is missing, but Serial-MAC.log lists 2 units", 2,
     "2 units of Serial-MAC.log were entered"},
    {"Emptied",
     [](const fs::path& station) {
       RemoveLedger(station);
       WriteBytes(station / std::string(kLedgerFileName), "");
     },
     "is empty (0 bytes), but Serial-MAC.log lists 2 units", 2,
     "2 units of Serial-MAC.log were entered"},
    {"SwappedForAFreshOne",
     [](const fs::path& station) {
       RemoveLedger(station);
       ASSERT_TRUE(
           SqliteLedger::Open(station / std::string(kLedgerFileName)).ok());
     },
     "holds no unit, but Serial-MAC.log lists 2 units", 2,
     "2 units of Serial-MAC.log were entered"},
    {"DeletedWithTheCountersSetBack",
     [](const fs::path& station) {
       RemoveLedger(station);
       SetCurrentMac(station, "000000000001");
     },
     "is missing, but Serial-MAC.log lists 2 units", 2,
     "2 units of Serial-MAC.log were entered"},
    // Only the counter tells: it has moved on from where a station starts.
    {"DeletedWithItsLog",
     [](const fs::path& station) {
       RemoveLedger(station);
       fs::remove(station / "Serial-MAC.log");
     },
     "is missing, but EEPROM.dat's current MAC address 000000000003 lies "
     "past the initial one, 000000000001",
     0, "Serial-MAC.log lists no unit: the production ledger starts empty"},
};

class LostLedger : public LostLedgerFixture,
                   public ::testing::WithParamInterface<LostRow> {};

TEST_P(LostLedger, RefusesEveryUnitUntilTheLogIsEnteredThenGoesOnPastIt) {
  const LostRow& row = GetParam();
  ASSERT_EQ(Run({"sim", "create"}).code, 0);
  ASSERT_EQ(Run({"program"}).code, 0);
  ASSERT_EQ(Run({"program"}).code, 0);
  ASSERT_NO_FATAL_FAILURE(row.lose(station_));
  const std::string settings = ReadBytes(station_ / "EEPROM.dat");
  const bool had_ledger = fs::exists(Ledger());
  const std::vector<std::string> logged = LoggedMacs(station_);

  // Refused, with the message that says what is missing and what to do.
  const Exit refused = Run({"program"});
  ASSERT_NE(refused.code, kHung);
  EXPECT_EQ(refused.code, kFileRejectedExit) << refused.err;
  EXPECT_NE(refused.err.find(row.said), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find(kRebuild), std::string::npos) << refused.err;
  EXPECT_EQ(LoggedMacs(station_), logged);
  EXPECT_EQ(ReadBytes(station_ / "EEPROM.dat"), settings);
  EXPECT_EQ(fs::exists(Ledger()), had_ledger) << "no new ledger in silence";
  if (row.entered > 0) {
    EXPECT_EQ(Run({"ledger", "--check"}).code, kCheckFailedExit);
  }

  const Exit rebuilt = Run({"ledger", "--rebuild-from-log"});
  EXPECT_EQ(rebuilt.code, 0) << rebuilt.err;
  EXPECT_NE(rebuilt.err.find(row.rebuilt), std::string::npos) << rebuilt.err;
  EXPECT_NE(rebuilt.err.find("the next MAC address is 000000000003"),
            std::string::npos)
      << rebuilt.err;
  if (row.entered > 0) {
    const Exit check = Run({"ledger", "--check"});
    EXPECT_EQ(check.code, 0) << check.err;
  }

  const Exit next = Run({"program"});
  EXPECT_EQ(next.code, 0) << next.err;
  ASSERT_FALSE(LoggedMacs(station_).empty());
  EXPECT_EQ(LoggedMacs(station_).back(), "000000000003");
  EXPECT_EQ(next.err.find(kRebuild), std::string::npos) << next.err;

  const Exit again = Run({"ledger", "--rebuild-from-log"});
  EXPECT_EQ(again.code, kUsageExit) << again.err;
  EXPECT_NE(again.err.find("Nothing was changed"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Losses, LostLedger, ::testing::ValuesIn(kLostRows),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

// A new station is no lost one: a folder whose operator put in the first
// MAC address of a range before the station ever opened (no ledger, no
// lock yet), and one whose operator set it after the tool had started its
// ledger.
TEST_F(LostLedgerFixture, ANewStationProgramsWithoutAWord) {
  for (const bool opened_first : {false, true}) {
    SCOPED_TRACE(opened_first ? "set after the first opening"
                              : "set before the station ever opened");
    fs::remove_all(station_);
    fs::create_directories(station_);
    if (opened_first) {
      ASSERT_EQ(Run({"image"}).code, 0);
    }
    SetCurrentMac(station_, "00E04C000701");
    ASSERT_EQ(Run({"sim", "create"}).code, 0);
    const Exit program = Run({"program"});
    EXPECT_EQ(program.code, 0) << program.err;
    EXPECT_EQ(program.err.find(kRebuild), std::string::npos) << program.err;
    EXPECT_EQ(LoggedMacs(station_), std::vector<std::string>{"00E04C000701"});
  }
}

// A log line the ledger cannot take stops the rebuild before the first unit
// is entered, naming the line: the ledger stays without units.
TEST_F(LostLedgerFixture, ARebuildRefusesADamagedLogLineAndEntersNothing) {
  ASSERT_EQ(Run({"sim", "create"}).code, 0);
  ASSERT_EQ(Run({"program"}).code, 0);
  RemoveLedger(station_);
  std::string log = ReadBytes(station_ / "Serial-MAC.log");
  log += " 058/EEPROM\t00000000000002\t00000000000G\t2026/12/10\t15:05:00 \r\n";
  WriteBytes(station_ / "Serial-MAC.log", log);

  const Exit rebuilt = Run({"ledger", "--rebuild-from-log"});
  EXPECT_EQ(rebuilt.code, kFileRejectedExit) << rebuilt.err;
  EXPECT_NE(rebuilt.err.find("Line 4 of Serial-MAC.log"), std::string::npos)
      << rebuilt.err;
  EXPECT_NE(rebuilt.err.find("nothing was entered"), std::string::npos);
  const auto ledger = SqliteLedger::Open(Ledger());
  ASSERT_TRUE(ledger.ok()) << ledger.error;
  const auto units = (*ledger.value)->Units();
  ASSERT_TRUE(units.ok());
  EXPECT_TRUE(units.value->empty());
  EXPECT_EQ(Run({"program"}).code, kFileRejectedExit);
}

}  // namespace
}  // namespace srom::test
