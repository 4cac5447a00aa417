// srom-cli auto as a line runs it: a real process watching a station, the
// adapters plugged in and pulled by further srom-cli processes, and Ctrl-C
// to end it between units; and Ctrl-C or a termination request in the
// middle of a loop over several adapters.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "device/sim/sim_setup.h"
#include "device/sim/simulated_adapter.h"
#include "files/eeprom_dat.h"
#include "support/temp_folder.h"

namespace srom::test {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

class AutoCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    station_ = folder_ / "station";
    fs::create_directories(station_);
  }

  // The settings with this "Delay time", in the station's EEPROM.dat.
  void WriteSettings(int delay_seconds) {
    SromSettings settings;
    settings.DelayTime = delay_seconds;
    WriteBytes(station_ / "EEPROM.dat", FormatEepromDat(settings));
  }

  Exit Run(const std::vector<std::string>& args) {
    return CliProcess(station_, args, folder_ / "run-err.txt").Wait();
  }

  // Starts `srom-cli auto`, its streams in auto-out.txt and auto-err.txt.
  CliProcess StartAuto() {
    return CliProcess(station_, {"auto"}, folder_ / "auto-err.txt", 0,
                      folder_ / "auto-out.txt");
  }
  std::string AutoOut() const { return ReadBytes(folder_ / "auto-out.txt"); }
  std::string AutoErr() const { return ReadBytes(folder_ / "auto-err.txt"); }

  // Waits until `text` shows in what `read` gives; false after half a
  // minute, which only a hung child takes.
  static bool WaitFor(const std::function<std::string()>& read,
                      const std::string& text) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      if (read().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  bool OutShows(const std::string& text) {
    return WaitFor([this] { return AutoOut(); }, text);
  }
  bool ErrShows(const std::string& text) {
    return WaitFor([this] { return AutoErr(); }, text);
  }

  // Unit lines of Serial-MAC.log, below its header.
  int LoggedUnits() const {
    int units = 0;
    std::istringstream log(ReadBytes(station_ / "Serial-MAC.log"));
    for (std::string line; std::getline(log, line);) {
      units += line.find("/EEPROM\t") != std::string::npos ? 1 : 0;
    }
    return units;
  }

  // No temporary file of a save is left in the station.
  bool NoTemporaryFiles() const {
    for (const auto& entry : fs::directory_iterator(station_)) {
      const std::string name = entry.path().filename().string();
      if (name.size() > 4 && name.substr(name.size() - 4) == ".tmp") {
        return false;
      }
    }
    return true;
  }

  TempFolder folder_;
  fs::path station_;
};

TEST_F(AutoCliTest, EachPlugInProgramsOneUnitUntilCtrlC) {
  WriteSettings(0);
  ASSERT_EQ(Run({"sim", "unplug"}).code, 0);
  CliProcess child = StartAuto();
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(ErrShows("waiting for an adapter")) << AutoErr();

  ASSERT_EQ(Run({"sim", "plug"}).code, 0);
  ASSERT_TRUE(OutShows("Unit 1: PASS 000000000001\n")) << AutoOut();
  EXPECT_EQ(LoggedUnits(), 1);

  ASSERT_EQ(Run({"sim", "unplug"}).code, 0);
  ASSERT_TRUE(ErrShows("The adapter was unplugged")) << AutoErr();
  ASSERT_EQ(Run({"sim", "plug"}).code, 0);
  ASSERT_TRUE(OutShows("Unit 2: PASS 000000000002\n")) << AutoOut();

  child.Signal(SIGINT);
  const Exit exit = child.Wait();
  EXPECT_EQ(exit.code, 0) << exit.err;
  EXPECT_THAT(exit.err, EndsWith("Automatic programming ended: 2 units, 2 "
                                 "passed.\nPASS\n"));
  // Each plug-in shows its countdown (0 with no delay), then its unit.
  EXPECT_EQ(AutoOut(),
            "0\nUnit 1: PASS 000000000001\n0\nUnit 2: PASS 000000000002\n");
  EXPECT_EQ(LoggedUnits(), 2);
  EXPECT_THAT(ReadBytes(station_ / "EEPROM.dat"),
              HasSubstr("\"000000000003\""));
  EXPECT_TRUE(NoTemporaryFiles());
  SimulatedAdapter adapter;
  ASSERT_TRUE(adapter.LoadState(station_ / kSimStateFile));
  EXPECT_EQ(adapter.eeprom()[5], 0x02);
  // The ledger holds both units, each in the log.
  const Exit check = Run({"ledger", "--check"});
  EXPECT_EQ(check.code, 0) << check.err;
}

// An adapter attached when the watch starts is not a plug-in; one pulled
// during the countdown is "Device lost!" and gets no unit.
TEST_F(AutoCliTest, AnAttachedAdapterWaitsAndAPulledOneIsLost) {
  WriteSettings(5);
  CliProcess child = StartAuto();
  ASSERT_TRUE(ErrShows("an adapter is attached already")) << AutoErr();

  ASSERT_EQ(Run({"sim", "unplug"}).code, 0);
  ASSERT_TRUE(ErrShows("The adapter was unplugged")) << AutoErr();
  ASSERT_EQ(Run({"sim", "plug"}).code, 0);
  ASSERT_TRUE(OutShows("5\n")) << AutoOut();
  ASSERT_EQ(Run({"sim", "unplug"}).code, 0);
  ASSERT_TRUE(ErrShows("Device lost!\n")) << AutoErr();

  child.Signal(SIGINT);
  const Exit exit = child.Wait();
  EXPECT_EQ(exit.code, 0) << exit.err;
  EXPECT_THAT(exit.err, EndsWith("Automatic programming ended: 0 units, 0 "
                                 "passed.\nPASS\n"));
  EXPECT_THAT(AutoOut(), Not(HasSubstr("Unit")));
  EXPECT_FALSE(fs::exists(station_ / "Serial-MAC.log"));
  EXPECT_FALSE(fs::exists(station_ / kSimStateFile)) << "never written";
}

// Ctrl-C (or a termination request) while `program --multi` goes through six
// adapters: the adapter in hand is finished with its files and record, the
// rest are left, each adapter gets its line, and the exit code says the
// loop was interrupted.
class InterruptedLoop : public AutoCliTest,
                        public ::testing::WithParamInterface<int> {};

TEST_P(InterruptedLoop, FinishesTheAdapterInHandAndSaysSo) {
  WriteSettings(0);
  for (int n = 2; n <= 6; ++n) {
    ASSERT_EQ(Run({"sim", "add", "--description",
                   "VELK KM62058 USB 3.0 to Gigabit Ethernet Adapter",
                   "--connection", "Ethernet " + std::to_string(n)})
                  .code,
              0);
  }
  CliProcess loop(station_, {"program", "--multi"}, folder_ / "loop-err.txt",
                  0, folder_ / "loop-out.txt");
  ASSERT_TRUE(WaitFor(
      [this] { return LoggedUnits() > 0 ? std::string("unit") : ""; },
      "unit"));
  loop.Signal(GetParam());
  const Exit exit = loop.Wait();

  EXPECT_EQ(exit.code, 14) << exit.err;
  EXPECT_THAT(exit.err, EndsWith("FAIL: interrupted\n"));
  const int done = LoggedUnits();
  EXPECT_GE(done, 1);
  EXPECT_LT(done, 6);
  std::istringstream out(ReadBytes(folder_ / "loop-out.txt"));
  int passed = 0;
  int left = 0;
  for (std::string line; std::getline(out, line);) {
    if (line.rfind("Adapter", 0) != 0) continue;
    passed += line.find(": PASS ") != std::string::npos;
    left += line.ends_with(": not run: interrupted");
  }
  EXPECT_EQ(passed, done);
  EXPECT_EQ(passed + left, 6) << ReadBytes(folder_ / "loop-out.txt");
  EXPECT_EQ(Run({"ledger", "--check"}).code, 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedLoop,
                         ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) {
                           return std::string(info.param == SIGINT ? "CtrlC"
                                                                   : "Term");
                         });

}  // namespace
}  // namespace srom::test
