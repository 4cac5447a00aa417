// What `srom-cli ledger` prints from a line's units: the counts by station,
// pool and hour, and the interrupted units the operator has to check.
#include "cli/ledger_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace srom::cli {
namespace {

UnitRecord Unit(std::int64_t id, const std::string& station,
                const std::string& pool, const std::string& reserved_at,
                UnitState state) {
  UnitRecord u;
  u.id = id;
  char mac[13];
  char serial[15];
  std::snprintf(mac, sizeof mac, "00A0C9%06X", static_cast<unsigned>(id));
  std::snprintf(serial, sizeof serial, "%014X", static_cast<unsigned>(id));
  u.mac = mac;
  u.serial = serial;
  u.device_sel = 2;
  u.image_digest = "digest";
  u.station = station;
  u.reserved_at = reserved_at;
  u.closed_at = state == UnitState::kReserved ? "" : reserved_at;
  u.state = state;
  u.pool = pool;
  return u;
}

// Two stations, the pool "line1" and no pool, two hours and every state, in
// id order, which is neither the stations' nor the hours' order.
const std::vector<UnitRecord> kLine = {
    Unit(1, "Line1-S3", "line1", "2026-12-10 15:05:00", UnitState::kProgrammed),
    Unit(2, "Line1-S1", "line1", "2026-12-10 14:20:00",
         UnitState::kInterrupted),
    Unit(3, "Line1-S3", "", "2026-12-10 14:59:59", UnitState::kReleased),
    Unit(4, "Line1-S1", "line1", "2026-12-10 15:00:00", UnitState::kProgrammed),
    Unit(5, "Line1-S3", "", "2026-12-10 15:10:00", UnitState::kReserved),
    Unit(6, "Line1-S1", "", "2026-12-10 14:00:00", UnitState::kProgrammed),
    Unit(7, "Line1-S1", "", "2026-12-10 15:45:00", UnitState::kReleased),
};

struct CountsCase {
  const char* name;
  std::string (*report)(const std::vector<UnitRecord>&);
  std::vector<UnitRecord> units;
  std::string expected;
};

void PrintTo(const CountsCase& c, std::ostream* os) { *os << c.name; }

class UnitCountsTest : public ::testing::TestWithParam<CountsCase> {};

TEST_P(UnitCountsTest, CountsEachGroupsStatesInSortedOrderWithATotal) {
  EXPECT_EQ(GetParam().report(GetParam().units), GetParam().expected);
}

// The counts of kLine, as the operator reads them.
constexpr char kLineByStation[] =
    "station   units  programmed  interrupted  released  failed  reserved\n"
    "Line1-S1  4      2           1            1         0       0\n"
    "Line1-S3  3      1           0            1         0       1\n"
    "total     7      3           1            2         0       1\n";
constexpr char kLineByPool[] =
    "pool    units  programmed  interrupted  released  failed  reserved\n"
    "(none)  4      1           0            2         0       1\n"
    "line1   3      2           1            0         0       0\n"
    "total   7      3           1            2         0       1\n";
constexpr char kLineByHour[] =
    "hour           units  programmed  interrupted  released  failed  reserved\n"
    "2026-12-10 14  3      1           1            1         0       0\n"
    "2026-12-10 15  4      2           0            1         0       1\n"
    "total          7      3           1            2         0       1\n";

INSTANTIATE_TEST_SUITE_P(
    Reports, UnitCountsTest,
    ::testing::Values(CountsCase{"ByStation", UnitsPerStation, kLine,
                                 kLineByStation},
                      CountsCase{"ByPool", UnitsPerPool, kLine, kLineByPool},
                      CountsCase{"ByHour", UnitsPerHour, kLine, kLineByHour},
                      CountsCase{"ByPoolOfNoUnits",
                                 UnitsPerPool,
                                 {},
                                 "The ledger holds no units.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct InterruptedCase {
  const char* name;
  std::vector<UnitRecord> units;
  std::vector<UnitRecord> interrupted;  // empty: none to list
};

// Interrupted on the other station, after every unit of kLine.
const UnitRecord kLateInterrupted =
    Unit(8, "Line1-S3", "", "2026-12-10 16:00:00", UnitState::kInterrupted);

void PrintTo(const InterruptedCase& c, std::ostream* os) { *os << c.name; }

class InterruptedUnitsTest : public ::testing::TestWithParam<InterruptedCase> {
};

TEST_P(InterruptedUnitsTest, ListsOnlyTheInterruptedUnitsInIdOrder) {
  const InterruptedCase& c = GetParam();
  EXPECT_EQ(InterruptedUnits(c.units), c.interrupted.empty()
                                           ? "No unit was interrupted.\n"
                                           : UnitsTable(c.interrupted));
}

INSTANTIATE_TEST_SUITE_P(
    Reports, InterruptedUnitsTest,
    ::testing::Values(
        InterruptedCase{"OneAmongEveryState", kLine, {kLine[1]}},
        InterruptedCase{"TwoOnTwoStations",
                        {kLine[0], kLine[1], kLine[2], kLateInterrupted},
                        {kLine[1], kLateInterrupted}},
        InterruptedCase{"NoneInterrupted", {kLine[0], kLine[4], kLine[6]}, {}},
        InterruptedCase{"NoUnits", {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace srom::cli
