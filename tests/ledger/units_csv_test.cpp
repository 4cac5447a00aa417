#include "ledger/units_csv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace srom {
namespace {

constexpr char kHeader[] =
    "id,mac,serial,device_sel,image_digest,station,reserved_at,closed_at,"
    "state,settings_saved,pool\r\n";

UnitRecord Programmed() {
  UnitRecord r;
  r.id = 7;
  r.mac = "0011223344AB";
  r.serial = "00001122334455";
  r.device_sel = 2;
  r.image_digest = "ab12";
  r.station = "Line 1";
  r.reserved_at = "2024-03-01 08:15:00";
  r.closed_at = "2024-03-01 08:15:04";
  r.state = UnitState::kProgrammed;
  r.settings_saved = true;
  return r;
}

TEST(UnitsCsv, AnEmptyLedgerIsTheHeaderAlone) {
  EXPECT_EQ(UnitsCsv({}), kHeader);
}

TEST(UnitsCsv, EveryFieldInHeaderOrderOneLinePerRecord) {
  UnitRecord reserved = Programmed();
  reserved.id = 8;
  reserved.mac = "0011223344AC";
  reserved.closed_at.clear();
  reserved.state = UnitState::kReserved;
  reserved.settings_saved = false;
  reserved.pool = "line1";
  EXPECT_EQ(UnitsCsv({Programmed(), reserved}),
            std::string(kHeader) +
                "7,0011223344AB,00001122334455,2,ab12,Line 1,"
                "2024-03-01 08:15:00,2024-03-01 08:15:04,programmed,yes,\r\n"
                "8,0011223344AC,00001122334455,2,ab12,Line 1,"
                "2024-03-01 08:15:00,,reserved,no,line1\r\n");
}

// The station name is the one free text: every character that ends a field
// or a line must come out quoted, quotes doubled, so that a spreadsheet reads
// the same columns back.
struct Quoting {
  const char* name;
  const char* station;
  const char* field;
};

const Quoting kQuoting[] = {
    {"Plain", "Line 1", "Line 1"},
    {"Comma", "Line 1, bench 2", "\"Line 1, bench 2\""},
    {"Quote", "the \"fast\" one", "\"the \"\"fast\"\" one\""},
    {"OnlyAQuote", "\"", "\"\"\"\""},
    {"LineFeed", "upper\nlower", "\"upper\nlower\""},
    {"CarriageReturn", "upper\rlower", "\"upper\rlower\""},
    {"Semicolon", "a;b", "a;b"},
    {"Empty", "", ""},
    {"NotAscii", "Ünit-Straße", "Ünit-Straße"},
};

class UnitsCsvQuoting : public ::testing::TestWithParam<Quoting> {};

TEST_P(UnitsCsvQuoting, StationFieldComesOutAsRfc4180Wants) {
  UnitRecord r = Programmed();
  r.station = GetParam().station;
  EXPECT_EQ(UnitsCsv({r}),
            std::string(kHeader) + "7,0011223344AB,00001122334455,2,ab12," +
                GetParam().field +
                ",2024-03-01 08:15:00,2024-03-01 08:15:04,programmed,yes,\r\n");
}

INSTANTIATE_TEST_SUITE_P(Stations, UnitsCsvQuoting,
                         ::testing::ValuesIn(kQuoting), [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(UnitsCsv, EveryStateHasItsName) {
  const std::pair<UnitState, const char*> states[] = {
      {UnitState::kReserved, "reserved"},
      {UnitState::kProgrammed, "programmed"},
      {UnitState::kReleased, "released"},
      {UnitState::kInterrupted, "interrupted"},
  };
  for (const auto& [state, name] : states) {
    UnitRecord r = Programmed();
    r.state = state;
    const std::string csv = UnitsCsv({r});
    EXPECT_EQ(csv.substr(csv.rfind("04,") + 3), std::string(name) + ",yes,\r\n");
    EXPECT_EQ(UnitStateFromName(name), state);
  }
  EXPECT_EQ(UnitStateFromName("Programmed"), std::nullopt);
}

}  // namespace
}  // namespace srom
