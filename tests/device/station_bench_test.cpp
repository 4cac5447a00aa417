// A station's simulated bench kept in its folder: the bench file and each
// adapter's own files, a station of one adapter as it always was, files that
// are not a bench refused, and a running bench that follows its files when
// another program plugs an adapter in or out, faults it or replaces it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "device/device_operations.h"
#include "device/sim/sim_change.h"
#include "device/sim/sim_setup.h"
#include "device/sim/simulated_bench.h"
#include "device_test_support.h"
#include "ports/safe_replace.h"
#include "support/recording_reporter.h"
#include "support/temp_folder.h"

namespace srom::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class StationBenchTest : public ::testing::Test {
 protected:
  std::unique_ptr<SimulatedBench> Open() {
    std::string error;
    auto bench = OpenStationSimBench(folder_.path(), error);
    EXPECT_TRUE(bench) << error;
    return bench;
  }
  bool Detect(SimulatedBench& bench) {
    RecordingReporter reporter;
    return DeviceAccess(bench, reporter).DetectDevice();
  }

  TempFolder folder_;
};

TEST_F(StationBenchTest, WithoutABenchFileTheStationHasItsOneAdapter) {
  {
    // A station of one adapter, as every station was: its two files.
    SimulatedAdapter before(256);
    before.set_eeprom(std::vector<std::uint8_t>{0x12});
    ASSERT_TRUE(before.SaveState(folder_ / kSimStateFile));
  }
  auto bench = Open();
  ASSERT_TRUE(bench);
  ASSERT_EQ(bench->size(), 1);
  EXPECT_EQ(bench->Describe()[0],
            (BenchAdapterInfo{kSimDefaultDescription, "Ethernet", true}));
  EXPECT_EQ(bench->At(0)->eeprom_size(), 256);
  EXPECT_EQ(bench->At(0)->eeprom()[0], 0x12);
  EXPECT_EQ(bench->At(1), nullptr);

  bench->At(0)->set_eeprom(std::vector<std::uint8_t>{0x34});
  SimulatedAdapter after(512);
  ASSERT_TRUE(after.LoadState(folder_ / kSimStateFile));
  EXPECT_EQ(after.eeprom()[0], 0x34);
  // The save took the bench's lock, whose file stays.
  EXPECT_EQ(folder_.Names(),
            (std::set<std::string>{kSimStateFile, kSimLockFile}));
}

TEST_F(StationBenchTest, TheBenchFileListsAdaptersEachWithItsOwnFiles) {
  const std::vector<SimBenchEntry> entries = {
      {"Ethernet", kSimDefaultDescription},
      {"Ethernet 2", "VELK KM62057D USB 3.0 to Gigabit Ethernet Adapter"},
      {"Lab \"7\"", "VELK KM62058 USB 3.0 to Gigabit Ethernet Adapter"}};
  ASSERT_TRUE(SaveSimBench(folder_ / kSimBenchFile, entries));
  EXPECT_EQ(LoadSimBench(folder_ / kSimBenchFile), entries);
  SimulatedAdapter second(256);
  second.set_eeprom(std::vector<std::uint8_t>{0x02});
  ASSERT_TRUE(second.SaveState(folder_ / SimStateFileName(2)));
  ASSERT_TRUE(SaveSimSetup(folder_ / SimSetupFileName(3),
                           {false, {{"stuck-cell", "5"}}}));

  auto bench = Open();
  ASSERT_TRUE(bench);
  ASSERT_EQ(bench->size(), 3);
  EXPECT_EQ(bench->Describe()[2].connection_name, "Lab \"7\"");
  EXPECT_EQ(bench->Describe()[1].description,
            "VELK KM62057D USB 3.0 to Gigabit Ethernet Adapter");
  EXPECT_EQ(bench->At(0)->eeprom_size(), kSimDefaultEepromSize);
  EXPECT_EQ(bench->At(1)->eeprom_size(), 256);
  EXPECT_EQ(bench->At(1)->eeprom()[0], 0x02);
  EXPECT_TRUE(bench->At(1)->plugged());
  EXPECT_FALSE(bench->At(2)->plugged());
  EXPECT_EQ(SimStateFileName(2), "simulated-adapter-2.txt");
  EXPECT_EQ(SimSetupFileName(2), "simulated-adapter-2-setup.txt");
  // Each adapter keeps its memories in its own file.
  bench->At(2)->set_eeprom(std::vector<std::uint8_t>{0x33});
  SimulatedAdapter third(512);
  ASSERT_TRUE(third.LoadState(folder_ / SimStateFileName(3)));
  EXPECT_EQ(third.eeprom()[0], 0x33);
  SimulatedAdapter first(512);
  EXPECT_FALSE(first.LoadState(folder_ / kSimStateFile)) << "never written";
}

TEST_F(StationBenchTest, AFileThatIsNoBenchIsRefusedNamingIt) {
  const std::string head = "srom-cli simulated bench 1\n";
  const std::string line = "Ethernet\tVELK KM62058 adapter\n";
  std::string seven = head;
  for (int n = 1; n <= 7; ++n) {
    seven += "Ethernet " + std::to_string(n) + "\tVELK KM62058 adapter\n";
  }
  const struct {
    const char* name;
    std::string text;
  } rows[] = {
      {"OtherFirstLine", "srom-cli simulated bench 2\n" + line},
      {"NoTab", head + "Ethernet VELK KM62058 adapter\n"},
      {"NoDescription", head + "Ethernet\t\n"},
      {"NoConnection", head + "\tVELK KM62058 adapter\n"},
      {"ConnectionTwice", head + line + line},
      {"SevenAdapters", seven},
      {"NoAdapter", head},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WriteBytes(folder_ / kSimBenchFile, row.text);
    EXPECT_FALSE(LoadSimBench(folder_ / kSimBenchFile));
    std::string error;
    EXPECT_EQ(OpenStationSimBench(folder_.path(), error), nullptr);
    EXPECT_THAT(error, HasSubstr(kSimBenchFile));
  }
  // CR LF line ends are read as well.
  WriteBytes(
      folder_ / kSimBenchFile,
      "srom-cli simulated bench 1\r\nEthernet\tVELK KM62058 adapter\r\n");
  EXPECT_EQ(LoadSimBench(folder_ / kSimBenchFile),
            (std::vector<SimBenchEntry>{{"Ethernet", "VELK KM62058 adapter"}}));
}

// Another program (srom-cli sim plug) changes the setup file while this one
// runs: the next open of the control device meets the cable as the file now
// says. Only a change of the file counts, so an adapter pulled here in the
// program stays pulled until the file says otherwise.
TEST_F(StationBenchTest, ARunningBenchFollowsThePlugInTheSetupFiles) {
  ASSERT_TRUE(SaveSimBench(folder_ / kSimBenchFile,
                           {{"Ethernet", kSimDefaultDescription},
                            {"Ethernet 2", kSimDefaultDescription}}));
  ASSERT_TRUE(SaveSimSetup(folder_ / kSimSetupFile, {false, {}}));
  ASSERT_TRUE(SaveSimSetup(folder_ / SimSetupFileName(2), {false, {}}));
  auto bench = Open();
  ASSERT_TRUE(bench);
  EXPECT_FALSE(Detect(*bench));

  ASSERT_TRUE(SaveSimSetup(folder_ / SimSetupFileName(2), {true, {}}));
  EXPECT_TRUE(Detect(*bench));
  EXPECT_TRUE(bench->At(1)->plugged());
  EXPECT_FALSE(bench->At(0)->plugged());

  ASSERT_TRUE(SaveSimSetup(folder_ / SimSetupFileName(2), {false, {}}));
  EXPECT_FALSE(Detect(*bench));
  ASSERT_TRUE(SaveSimSetup(folder_ / kSimSetupFile, {true, {}}));
  EXPECT_TRUE(Detect(*bench));

  bench->At(0)->set_plugged(false);
  EXPECT_FALSE(Detect(*bench));
  // A removed setup file is the default, plugged in.
  std::filesystem::remove(folder_ / SimSetupFileName(2));
  EXPECT_TRUE(Detect(*bench));
  EXPECT_TRUE(bench->At(1)->plugged());
}

// Request numbers of the faults count from the open that armed them: an open
// that finds the setup file as it was arms nothing again, one that finds it
// changed arms every fault it lists again.
TEST_F(StationBenchTest, FaultsAreArmedAgainOnlyWhenTheirFileChanged) {
  ASSERT_TRUE(
      SaveSimSetup(folder_ / kSimSetupFile, {true, {{"fail-request", "2"}}}));
  auto bench = Open();
  ASSERT_TRUE(bench);
  EXPECT_THAT(Answers(*bench, 1), ElementsAre(true));
  EXPECT_THAT(Answers(*bench, 2), ElementsAre(false, true));

  const auto fault = [this](std::vector<std::string> words) {
    return ChangeStationSimAdapter(folder_.path(), 1,
                                   {SimChangeKind::kFault, std::move(words)})
        .status;
  };
  ASSERT_EQ(fault({"fail-request", "1"}), SimFilesStatus::kDone);
  EXPECT_THAT(Answers(*bench, 3), ElementsAre(false, false, true));
  ASSERT_EQ(fault({"no-driver"}), SimFilesStatus::kDone);
  EXPECT_THAT(Answers(*bench, 3), ElementsAre(false, false, false));
  EXPECT_FALSE(bench->At(0)->driver_present());
  ASSERT_EQ(fault({"clear"}), SimFilesStatus::kDone);
  EXPECT_THAT(Answers(*bench, 3), ElementsAre(true, true, true));
  EXPECT_TRUE(bench->At(0)->driver_present());
}

// A file caught while another program writes it by hand, or broken: the
// running adapter stays as it was, and takes the file once it is whole.
TEST_F(StationBenchTest, AFileThatCannotBeReadJustNowIsReadAtTheNextOpen) {
  auto bench = Open();
  ASSERT_TRUE(bench);
  SimulatedAdapter& adapter = *bench->At(0);
  const std::string state_text = FormatSimState(BlankSimMemories(256));
  const struct {
    const char* name;
    const char* file;
    std::string broken;
    std::string whole;
    bool (*took_it)(const SimulatedAdapter&);
  } rows[] = {
      {"SetupFile", kSimSetupFile,
       "srom-cli simulated adapter setup 1\nplugged maybe\n",
       "srom-cli simulated adapter setup 1\nplugged 0\n",
       [](const SimulatedAdapter& a) { return !a.plugged(); }},
      {"StateFile", kSimStateFile, state_text.substr(0, state_text.size() / 2),
       state_text,
       [](const SimulatedAdapter& a) { return a.eeprom_size() == 256; }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WriteBytes(folder_ / row.file, row.broken);
    Answers(*bench, 1);
    EXPECT_FALSE(row.took_it(adapter));
    EXPECT_TRUE(adapter.plugged());
    EXPECT_EQ(adapter.eeprom_size(), 512);
    WriteBytes(folder_ / row.file, row.whole);
    Answers(*bench, 1);
    EXPECT_TRUE(row.took_it(adapter));
    ASSERT_TRUE(SaveSimSetup(folder_ / kSimSetupFile, {}));
    Answers(*bench, 1);
  }
}

// Another program replaces an adapter's state file under the bench's lock
// (srom-cli sim create --force) while the running adapter gets a write. The
// write waits for the lock and then lands on the new adapter: neither
// change is lost, and the old adapter never comes back.
TEST_F(StationBenchTest, AWriteWaitsForTheBenchLockAndLandsOnWhatWasSaved) {
  auto bench = Open();
  ASSERT_TRUE(bench);
  const auto handle = bench->Open(kDevicePath);
  ASSERT_TRUE(handle);
  auto lock = LockSimBench(folder_.path());
  ASSERT_TRUE(lock);

  std::array<std::uint8_t, 64> fuses;
  fuses.fill(0xFF);
  fuses[0] = 0x00;
  auto write = std::async(std::launch::async, [&] {
    return bench->Request(*handle, IOCTL_WRITE_EFUSE, EfuseTransfer(fuses), {});
  });
  // Time enough for a write that did not wait to have saved its adapter.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  SimMemories other = BlankSimMemories(256);
  other.eeprom[0] = 0x5A;
  ASSERT_TRUE(
      ReplaceFileSafely(folder_ / kSimStateFile, FormatSimState(other)));
  lock.reset();
  ASSERT_EQ(write.wait_for(std::chrono::seconds(30)),
            std::future_status::ready);
  EXPECT_TRUE(write.get());
  bench->Close(*handle);

  const auto saved = ParseSimState(ReadBytes(folder_ / kSimStateFile));
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->eeprom.size(), 256u);
  EXPECT_EQ(saved->eeprom[0], 0x5A);
  EXPECT_EQ(saved->efuse, fuses);
  EXPECT_EQ(bench->At(0)->eeprom(), saved->eeprom);
}

}  // namespace
}  // namespace srom::test
