// The loop over several adapters on its own: a stop asked for between two
// adapters ends the loop as its end always does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "device/sim/simulated_bench.h"
#include "device/sim/simulated_network.h"
#include "ops/multi_adapter.h"
#include "ops/program.h"
#include "ops_fixture.h"

namespace srom::test {
namespace {

// Three KM62058 adapters on one bench, "MultiEnable" ticked.
struct ThreeAdapters {
  ThreeAdapters() {
    station.folders = FileFolders{folder.path(), folder.path()};
    station.settings.MultiEnable = true;
    for (const char* connection : {"Ethernet", "Ethernet 2", "Ethernet 3"}) {
      bench.AddAdapter("VELK KM62058 USB 3.0 to Gigabit Ethernet", connection,
                       256);
    }
  }

  TempFolder folder;
  Station station;
  RecordingPanel panel{station};
  FakeClock clock;
  SimulatedBench bench;
  SimulatedNetwork network{bench};
};


TEST(AdapterLoopTest, AStopBetweenAdaptersLeavesTheRestAndEnablesEveryConnection) {
  ThreeAdapters line;
  auto& [folder, station, panel, clock, bench, network] = line;
  AdapterTable table;
  ScanAdapters(network, table, "KM62058  with EEPROM");
  MultiAdapterLoop loop(table, network, clock, [](int k) { return k < 3; });
  int units = 0;
  loop.set_stop([&units] { return units == 1; });
  ASSERT_EQ(loop.PlanRun(), AdapterLoop::Plan::kLoop);

  const OpsContext ctx{station, panel, bench, clock};
  const Outcome outcome = loop.RunLoop(
      AdapterLoop::Kind::kProgram, ctx, [&units](const OpsContext& unit_ctx) {
        ++units;
        return RunSingleUnit(unit_ctx);
      });

  EXPECT_EQ(outcome, Outcome::kInterrupted);
  EXPECT_EQ(units, 1);
  EXPECT_EQ(bench.At(1)->eeprom()[0], 0xFF) << "the second adapter was left";
  for (const BenchAdapterInfo& adapter : bench.Describe()) {
    EXPECT_TRUE(adapter.enabled) << adapter.connection_name;
  }
  EXPECT_THAT(panel.OutputText(), ::testing::HasSubstr("KM62058 (Ethernet)\r\n"));
  EXPECT_THAT(panel.OutputText(),
              ::testing::Not(::testing::HasSubstr("(Ethernet 2)")));
}

// netsh could not switch one connection (no administrator rights): before
// writing an adapter, the loop finds that another adapter's connection is
// still on, names the adapter and stops, rather than writing the wrong one.
struct RefusedSwitch {
  const char* name;
  const char* refused;  // the connection netsh cannot switch
  int units;            // written before the loop stops
  const char* said;
};

class ASwitchThatFailed : public ::testing::TestWithParam<RefusedSwitch> {};

TEST_P(ASwitchThatFailed, StopsTheLoopBeforeTheWrongAdapterIsWritten) {
  ThreeAdapters line;
  auto& [folder, station, panel, clock, bench, network] = line;
  network.RefuseSwitching(GetParam().refused);
  AdapterTable table;
  ScanAdapters(network, table, "KM62058  with EEPROM");
  MultiAdapterLoop loop(table, network, clock, [](int k) { return k < 3; });
  ASSERT_EQ(loop.PlanRun(), AdapterLoop::Plan::kLoop);

  const OpsContext ctx{station, panel, bench, clock};
  int units = 0;
  const Outcome outcome = loop.RunLoop(
      AdapterLoop::Kind::kProgram, ctx, [&units](const OpsContext& unit_ctx) {
        ++units;
        return RunSingleUnit(unit_ctx);
      });

  EXPECT_EQ(outcome, Outcome::kFailed);
  EXPECT_EQ(units, GetParam().units);
  const std::string said = ::testing::PrintToString(panel.messages());
  EXPECT_NE(said.find(GetParam().said), std::string::npos) << said;
  EXPECT_NE(said.find("(netsh ended with exit code 1;"), std::string::npos)
      << said;
  EXPECT_EQ(panel.picture(), ResultPicture::kFail);
}

INSTANTIATE_TEST_SUITE_P(
    Connections, ASwitchThatFailed,
    ::testing::Values(
        RefusedSwitch{"AnotherStaysOn", "Ethernet 2", 0,
                      "Adapter 1 (Ethernet): the network connection "
                      "\\\"Ethernet 2\\\" of another adapter is still switched on"},
        RefusedSwitch{"TheFirstStaysOnAfterItsUnit", "Ethernet", 1,
                      "Adapter 2 (Ethernet 2): the network connection "
                      "\\\"Ethernet\\\" of another adapter is still switched on"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace srom::test
