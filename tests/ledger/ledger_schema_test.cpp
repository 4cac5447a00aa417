// The ledger file keeps its rules itself, against any writer: a later tool
// version with a bug, or a hand edit in a database browser.
#include <gtest/gtest.h>

#include <string>

#include "ledger/sqlite_ledger.h"
#include "ledger/sqlite_schema.h"
#include "model/device_sel.h"
#include "ledger_test_support.h"

namespace srom {
namespace {

using test::OpenLedger;
using test::RawDatabase;
using test::TempFolder;

class LedgerSchema : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(OpenLedger(LedgerFileIn(folder_)), nullptr);  // creates the schema
  }

  // An INSERT of one row with `values` for the columns that have no default.
  int Insert(RawDatabase& db, const std::string& values) {
    return db.Exec(
        "INSERT INTO unit (mac, serial, device_sel, image_digest, station, "
        "reserved_at, closed_at, state, settings_saved) VALUES (" +
        values + ")");
  }

  TempFolder folder_;
};

// A well-formed row; each case below spoils one column of it.
constexpr char kGoodRow[] =
    "'0011223344AB', '00001122334455', 2, 'd', 'Line 1', "
    "'2024-03-01 08:15:00', '2024-03-01 08:15:04', 'programmed', 1";

struct BadRow {
  const char* name;
  const char* values;
};

const BadRow kBadRows[] = {
    {"LowerCaseMac",
     "'0011223344ab', '00001122334455', 2, 'd', 'Line 1', "
     "'2024-03-01 08:15:00', '2024-03-01 08:15:04', 'programmed', 1"},
    {"MacAsANumber",
     "11223344, '00001122334455', 2, 'd', 'Line 1', "
     "'2024-03-01 08:15:00', '2024-03-01 08:15:04', 'programmed', 1"},
    {"ShortSerial",
     "'0011223344AB', '0000112233445', 2, 'd', 'Line 1', "
     "'2024-03-01 08:15:00', '2024-03-01 08:15:04', 'programmed', 1"},
    {"UnknownDeviceSel",
     "'0011223344AB', '00001122334455', 9, 'd', 'Line 1', "
     "'2024-03-01 08:15:00', '2024-03-01 08:15:04', 'programmed', 1"},
    {"UnknownState",
     "'0011223344AB', '00001122334455', 2, 'd', 'Line 1', "
     "'2024-03-01 08:15:00', '2024-03-01 08:15:04', 'done', 0"},
    {"ReservedWithAClosingTime",
     "'0011223344AB', '00001122334455', 2, 'd', 'Line 1', "
     "'2024-03-01 08:15:00', '2024-03-01 08:15:04', 'reserved', 0"},
    {"ProgrammedWithoutAClosingTime",
     "'0011223344AB', '00001122334455', 2, 'd', 'Line 1', "
     "'2024-03-01 08:15:00', NULL, 'programmed', 0"},
    {"FailedWithSettingsSaved",
     "'0011223344AB', '00001122334455', 2, 'd', 'Line 1', "
     "'2024-03-01 08:15:00', '2024-03-01 08:15:04', 'failed', 1"},
    {"ReleasedWithSettingsSaved",
     "'0011223344AB', '00001122334455', 2, 'd', 'Line 1', "
     "'2024-03-01 08:15:00', '2024-03-01 08:15:04', 'released', 1"},
    {"MalformedTime",
     "'0011223344AB', '00001122334455', 2, 'd', 'Line 1', "
     "'1.3.2024 08:15', '2024-03-01 08:15:04', 'programmed', 1"},
    {"NoStation",
     "'0011223344AB', '00001122334455', 2, 'd', NULL, "
     "'2024-03-01 08:15:00', '2024-03-01 08:15:04', 'programmed', 1"},
};

class MalformedRow : public LedgerSchema,
                     public ::testing::WithParamInterface<BadRow> {};

TEST_P(MalformedRow, IsRefusedByTheFileItself) {
  RawDatabase db(LedgerFileIn(folder_));
  EXPECT_EQ(Insert(db, GetParam().values), SQLITE_CONSTRAINT);
  EXPECT_EQ(Insert(db, kGoodRow), SQLITE_OK);  // the case spoils one thing
}

INSTANTIATE_TEST_SUITE_P(Columns, MalformedRow, ::testing::ValuesIn(kBadRows),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST_F(LedgerSchema, OneMacIsReservedByOneRowAtMost) {
  RawDatabase db(LedgerFileIn(folder_));
  const std::string reserved =
      "'0011223344AB', '00001122334455', 2, 'd', 'Line 1', "
      "'2024-03-01 08:15:00', NULL, 'reserved', 0";
  ASSERT_EQ(Insert(db, reserved), SQLITE_OK);
  EXPECT_EQ(Insert(db, reserved), SQLITE_CONSTRAINT);
  // A closed row beside the reserved one is history, not a second claim.
  EXPECT_EQ(Insert(db, kGoodRow), SQLITE_OK);
  // Once the first is closed, the address may be reserved again.
  ASSERT_EQ(db.Exec("UPDATE unit SET state = 'released', "
                    "closed_at = '2024-03-01 08:16:00' WHERE id = 1"),
            SQLITE_OK);
  EXPECT_EQ(Insert(db, reserved), SQLITE_OK);
}

// A ledger written before units could fail opens with every row and its
// ids; no id is ever given twice, even one whose row is gone.
TEST(LedgerSchemaUpgrade, AnOlderLedgerKeepsItsRowsAndItsIdCounter) {
  TempFolder folder;
  {
    RawDatabase db(LedgerFileIn(folder));
    ASSERT_EQ(db.Exec(std::string(sqlite::SchemaSteps()[0])), SQLITE_OK);
    ASSERT_EQ(db.Exec("PRAGMA user_version = 1"), SQLITE_OK);
    for (int i = 1; i <= 3; ++i) {
      ASSERT_EQ(db.Exec("INSERT INTO unit (mac, serial, device_sel, "
                        "image_digest, station, reserved_at, closed_at, state, "
                        "settings_saved) VALUES ('00112233440" +
                        std::to_string(i) +
                        "', '00001122334455', 2, 'd', 'Line 1', "
                        "'2024-03-01 08:15:00', '2024-03-01 08:15:04', "
                        "'programmed', 1)"),
                SQLITE_OK);
    }
    ASSERT_EQ(db.Exec("DELETE FROM unit WHERE id = 3"), SQLITE_OK);
  }
  auto ledger = OpenLedger(LedgerFileIn(folder));
  ASSERT_NE(ledger, nullptr);
  const auto units = ledger->Units();
  ASSERT_TRUE(units.ok()) << units.error;
  ASSERT_EQ(units.value->size(), 2u);
  EXPECT_EQ((*units.value)[1].mac, "001122334402");
  UnitDraft draft{"001122334409", "00001122334455", kChipAEeprom, "d",
                  "Line 1",       "2024-03-01 09:00:00"};
  const auto id = ledger->Reserve(draft);
  ASSERT_TRUE(id.ok()) << id.error;
  EXPECT_EQ(*id.value, 4) << "id 3 was given once already";
  EXPECT_TRUE(ledger->MarkFailed(*id.value, "2024-03-01 09:00:05").ok());
}

TEST_F(LedgerSchema, AnAddressLookupUsesAnIndex) {
  // FindUsed and Reserve run for every unit: a full scan would slow every
  // unit down as the ledger grows.
  RawDatabase db(LedgerFileIn(folder_));
  sqlite3_stmt* plan = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(
                db.db,
                "EXPLAIN QUERY PLAN SELECT id FROM unit WHERE mac = ?1 AND "
                "state IN ('programmed', 'interrupted') ORDER BY id DESC",
                -1, &plan, nullptr),
            SQLITE_OK);
  std::string steps;
  while (sqlite3_step(plan) == SQLITE_ROW) {
    steps += reinterpret_cast<const char*>(sqlite3_column_text(plan, 3));
    steps += "\n";
  }
  sqlite3_finalize(plan);
  EXPECT_NE(steps.find("USING INDEX"), std::string::npos) << steps;
  EXPECT_EQ(steps.find("SCAN unit\n"), std::string::npos) << steps;
}

}  // namespace
}  // namespace srom
