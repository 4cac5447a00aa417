// A window running on a station while another terminal changes its
// simulated bench with srom-cli sim: the bench is opened here as the window
// opens it, with the station held as the window holds it, and the sim
// commands are real srom-cli processes. The running bench meets each change
// at its next open of the control device.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli_process.h"
#include "device/device_test_support.h"
#include "device/driver_contract.h"
#include "device/sim/sim_setup.h"
#include "device/sim/simulated_bench.h"
#include "ports/station_lock.h"
#include "support/temp_folder.h"

namespace srom::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char kDescription[] =
    "VELK KM62058 USB 3.0 to Gigabit Ethernet Adapter";

using Fuses = std::array<std::uint8_t, kSimEfuseSize>;

Fuses BlankFuses() {
  Fuses fuses;
  fuses.fill(0xFF);
  return fuses;
}

// The eFuse write the tool sends: a header for 32 words, then the 64 bytes.
std::array<std::uint8_t, kEfuseTransferSize> EfuseTransfer(const Fuses& f) {
  std::array<std::uint8_t, kEfuseTransferSize> t = {'V', 'E', 'L',  'K',
                                                    0,   0,   0x20, 0};
  std::copy(f.begin(), f.end(), t.begin() + 8);
  return t;
}

// An eFuse write on a handle already open, as a unit in progress sends it.
bool WriteFuses(SimulatedBench& bench, DeviceHandle handle, const Fuses& f) {
  return bench.Request(handle, IOCTL_WRITE_EFUSE, EfuseTransfer(f), {});
}

class SimFollowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    station_ = folder_ / "station";
    fs::create_directories(station_);
    ASSERT_EQ(Sim({"add", "--description", kDescription, "--connection",
                   "Ethernet 2"})
                  .code,
              0);
  }

  Exit Sim(std::vector<std::string> args) {
    args.insert(args.begin(), "sim");
    return CliProcess(station_, args, folder_ / "err.txt").Wait();
  }

  // Starts the window's side: the station held, its bench open, and a
  // change of adapter 1's memories saved by the adapter itself (its last
  // fuse byte blown).
  void StartWindow() {
    std::string error;
    station_lock_ = StationLock::Acquire(station_, &error);
    ASSERT_TRUE(station_lock_) << error;
    bench_ = OpenStationSimBench(station_, error);
    ASSERT_TRUE(bench_) << error;
    Fuses fuses = BlankFuses();
    fuses[63] = 0x00;
    bench_->At(0)->set_efuse(fuses);
  }

  TempFolder folder_;
  fs::path station_;
  std::optional<StationLock> station_lock_;
  std::unique_ptr<SimulatedBench> bench_;
};

struct FollowCase {
  const char* name;
  std::vector<std::string> before;   // a sim command before the window starts
  std::vector<std::string> command;  // the sim command while it runs
  // Checks the running bench after the command; it opens the control device
  // itself.
  std::function<void(SimulatedBench&)> check;
  // The command replaced adapter 1's memories; otherwise they stay as the
  // adapter itself saved them.
  bool new_memories = false;
};
void PrintTo(const FollowCase& c, std::ostream* os) { *os << c.name; }

class SimCommandWhileRunning
    : public SimFollowTest,
      public ::testing::WithParamInterface<FollowCase> {};

TEST_P(SimCommandWhileRunning, ReachesTheRunningBenchAtItsNextOpen) {
  const FollowCase& c = GetParam();
  if (!c.before.empty()) {
    ASSERT_EQ(Sim(c.before).code, 0);
  }
  StartWindow();
  const Exit exit = Sim(c.command);
  ASSERT_EQ(exit.code, 0) << exit.err;
  c.check(*bench_);
  EXPECT_EQ(bench_->At(0)->efuse()[63], c.new_memories ? 0xFF : 0x00);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, SimCommandWhileRunning,
    ::testing::Values(
        FollowCase{"WeakFuses",
                   {},
                   {"fault", "weak-efuse", "0", "0x0F", "3"},
                   [](SimulatedBench& bench) {
                     const auto handle = bench.Open(kDevicePath);
                     ASSERT_TRUE(handle);
                     Fuses fuses = BlankFuses();
                     fuses[0] = 0x00;
                     fuses[1] = 0x00;
                     ASSERT_TRUE(WriteFuses(bench, *handle, fuses));
                     bench.Close(*handle);
                     // The weak bits need two more writes.
                     EXPECT_EQ(bench.At(0)->efuse()[0], 0x0F);
                     EXPECT_EQ(bench.At(0)->efuse()[1], 0x00);
                   }},
        FollowCase{"FailRequest",
                   {},
                   {"fault", "fail-request", "2"},
                   [](SimulatedBench& bench) {
                     EXPECT_THAT(Answers(bench, 3),
                                 ElementsAre(true, false, true));
                   }},
        FollowCase{"NoDriver",
                   {},
                   {"fault", "no-driver"},
                   [](SimulatedBench& bench) {
                     EXPECT_THAT(Answers(bench, 2), ElementsAre(false, false));
                     EXPECT_FALSE(bench.At(0)->driver_present());
                   }},
        FollowCase{"ClearTakesAFaultOfTheStartAway",
                   {"fault", "fail-code", "IOCTL_WRITE_REGISTER"},
                   {"fault", "clear"},
                   [](SimulatedBench& bench) {
                     EXPECT_THAT(Answers(bench, 2), ElementsAre(true, true));
                   }},
        FollowCase{"Unplug",
                   {},
                   {"unplug"},
                   [](SimulatedBench& bench) {
                     // The control device reaches adapter 2 now.
                     EXPECT_THAT(Answers(bench, 1), ElementsAre(true));
                     EXPECT_FALSE(bench.At(0)->plugged());
                     EXPECT_TRUE(bench.At(1)->plugged());
                   }},
        FollowCase{"PlugAfterAStartUnplugged",
                   {"unplug"},
                   {"plug"},
                   [](SimulatedBench& bench) {
                     EXPECT_THAT(Answers(bench, 1), ElementsAre(true));
                     EXPECT_TRUE(bench.At(0)->plugged());
                   }},
        FollowCase{
            "FaultOnTheSecondAdapter",
            {},
            {"fault", "--adapter", "2", "fail-code", "IOCTL_WRITE_REGISTER"},
            [](SimulatedBench& bench) {
              EXPECT_THAT(Answers(bench, 2), ElementsAre(true, true));
              bench.DisableConnection(kSimDefaultConnection);
              EXPECT_THAT(Answers(bench, 2), ElementsAre(false, false));
              bench.EnableConnection(kSimDefaultConnection);
            }},
        FollowCase{"CreateForceWithAnotherSize",
                   {},
                   {"create", "--force", "--size", "256"},
                   [](SimulatedBench& bench) {
                     EXPECT_THAT(Answers(bench, 1), ElementsAre(true));
                     EXPECT_EQ(bench.At(0)->eeprom_size(), 256);
                     EXPECT_EQ(bench.At(0)->efuse(), BlankFuses());
                   },
                   true}),
    [](const auto& info) { return std::string(info.param.name); });

// A unit in progress has the control device open when another terminal
// replaces its adapter: the unit's next write lands on the new adapter, and
// the old one never comes back into the file.
TEST_F(SimFollowTest, AWriteAfterSimCreateLandsOnTheNewAdapter) {
  StartWindow();
  const auto handle = bench_->Open(kDevicePath);
  ASSERT_TRUE(handle);
  const Exit exit = Sim({"create", "--force", "--size", "256"});
  ASSERT_EQ(exit.code, 0) << exit.err;

  Fuses fuses = BlankFuses();
  fuses[0] = 0x00;
  ASSERT_TRUE(WriteFuses(*bench_, *handle, fuses));
  bench_->Close(*handle);

  SimulatedAdapter saved(512);
  ASSERT_TRUE(saved.LoadState(station_ / kSimStateFile));
  EXPECT_EQ(saved.eeprom_size(), 256);
  EXPECT_EQ(saved.efuse(), fuses);
  const fs::path out = folder_ / "show.txt";
  ASSERT_EQ(CliProcess(station_, {"sim", "show"}, folder_ / "err.txt", 0, out)
                .Wait()
                .code,
            0);
  EXPECT_THAT(ReadBytes(out), HasSubstr("EEPROM, 256 bytes:"));
}

// The running bench takes its adapters from the bench file when it starts:
// an adapter is still added with the station free only, and a refused add
// leaves the bench as it was.
TEST_F(SimFollowTest, AddingAnAdapterStillNeedsTheStation) {
  StartWindow();
  const std::string bench = ReadBytes(station_ / kSimBenchFile);
  const Exit exit =
      Sim({"add", "--description", kDescription, "--connection", "Ethernet 3"});
  EXPECT_EQ(exit.code, 10) << exit.err;
  EXPECT_THAT(exit.err, HasSubstr("is in use by another"));
  EXPECT_EQ(ReadBytes(station_ / kSimBenchFile), bench);
  EXPECT_FALSE(fs::exists(station_ / SimStateFileName(3)));
}

}  // namespace
}  // namespace srom::test
