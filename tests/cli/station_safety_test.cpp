// No MAC address twice, judged as a line would meet it: real srom-cli
// processes started together on one station, a process ended abruptly at
// every step of a unit, and station folders that misbehave (a pipe, a link,
// a full disk, a read-only folder, an old temporary folder).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "files/eeprom_dat.h"
#include "ledger/sqlite_ledger.h"
#include "support/logged_macs.h"
#include "support/temp_folder.h"

namespace srom::test {
namespace {

class StationSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    station_ = folder_ / "station";
    fs::create_directories(station_);
    ASSERT_EQ(Run({"sim", "create", "--size", "256"}).code, 0);
  }

  Exit Run(const std::vector<std::string>& args, int crash_at = 0) {
    return CliProcess(station_, args, folder_ / "err.txt", crash_at).Wait();
  }

  std::vector<std::string> LoggedMacs() const {
    return test::LoggedMacs(station_);
  }

  std::vector<UnitRecord> Units() const {
    auto ledger = SqliteLedger::Open(station_ / std::string(kLedgerFileName));
    EXPECT_TRUE(ledger.ok()) << ledger.error;
    if (!ledger.ok()) return {};
    return *(*ledger.value)->Units().value;
  }

  // The MAC addresses the ledger holds as on an adapter, or maybe on one.
  std::vector<std::string> UsedMacs() const {
    std::vector<std::string> macs;
    for (const UnitRecord& u : Units()) {
      if (u.state == UnitState::kProgrammed ||
          u.state == UnitState::kInterrupted) {
        macs.push_back(u.mac);
      }
    }
    return macs;
  }

  static bool AllDistinct(const std::vector<std::string>& macs) {
    return std::set<std::string>(macs.begin(), macs.end()).size() ==
           macs.size();
  }

  TempFolder folder_;
  fs::path station_;
};

// Programs started together on one station: one works, the others are told
// the station is in use; never does a MAC address reach two units.
TEST_F(StationSafetyTest, ProgramsStartedTogetherNeverShareAnAddress) {
  constexpr int kRounds = 25;
  constexpr int kTogether = 4;
  int programmed = 0;
  int refused = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<CliProcess> runs;
    for (int n = 0; n < kTogether; ++n) {
      runs.emplace_back(station_, std::vector<std::string>{"program"},
                        folder_ / ("err" + std::to_string(n) + ".txt"));
    }
    for (CliProcess& run : runs) {
      const Exit exit = run.Wait();
      if (exit.code == 0) {
        ++programmed;
      } else {
        ASSERT_EQ(exit.code, 10) << exit.err;
        EXPECT_NE(exit.err.find("is in use by another"), std::string::npos)
            << exit.err;
        ++refused;
      }
    }
  }
  const auto logged = LoggedMacs();
  EXPECT_EQ(static_cast<int>(logged.size()), programmed);
  EXPECT_TRUE(AllDistinct(logged));
  EXPECT_TRUE(AllDistinct(UsedMacs()));
  EXPECT_EQ(programmed + refused, kRounds * kTogether);
  EXPECT_GE(programmed, kRounds);  // every round at least one
  std::cout << "[ figures  ] " << kRounds << " rounds of " << kTogether
            << " processes: " << programmed << " units, " << refused
            << " refused, duplicates 0\n";
}

// The crash seam ends the process at the k-th step of a unit: after the
// reservation, after the write, after the verification, after the record,
// after the log line, after the settings save, after the ledger's note of it.
TEST_F(StationSafetyTest, ACrashAtAnyStepNeverGivesAnAddressTwice) {
  ASSERT_EQ(Run({"program"}).code, 0);
  for (int step = 1; step <= 8; ++step) {
    SCOPED_TRACE("crash at step " + std::to_string(step));
    const Exit crashed = Run({"program"}, step);
    const bool ended = crashed.code == 137;
    // The next two runs find what the crash left and go on.
    const Exit after = Run({"program"});
    ASSERT_EQ(after.code, 0) << after.err;
    if (ended && step <= 3) {
      EXPECT_NE(after.err.find("set aside"), std::string::npos) << after.err;
    }
    ASSERT_EQ(Run({"program"}).code, 0);
    EXPECT_TRUE(AllDistinct(LoggedMacs()));
    EXPECT_TRUE(AllDistinct(UsedMacs()));
    if (!ended) break;  // past the last step: the unit just passed
  }
  // Every unit the ledger holds as programmed is in the log.
  const Exit check = Run({"ledger", "--check"});
  EXPECT_EQ(check.code, 0) << check.err;
}

TEST_F(StationSafetyTest, ASecondRunRefusedByTheLockChangesNothing) {
  ASSERT_EQ(Run({"program"}).code, 0);
  const std::string settings = ReadBytes(station_ / "EEPROM.dat");
  // Hold the lock as another program would, from another process.
  const int fd = open((station_ / "station.lock").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  const pid_t child = fork();
  if (child == 0) {
    ::flock(fd, LOCK_EX);
    pause();
    _exit(0);
  }
  usleep(200000);
  const Exit refused = Run({"program"});
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(fd);
  EXPECT_EQ(refused.code, 10) << refused.err;
  EXPECT_NE(refused.err.find(station_.string()), std::string::npos);
  EXPECT_EQ(ReadBytes(station_ / "EEPROM.dat"), settings);
}

// Settings the settings file cannot hold, or that do not fit their fields,
// are refused before the adapter is touched.
TEST_F(StationSafetyTest, SettingsThatCannotBeSavedNeverReachTheAdapter) {
  const struct {
    const char* name;
    void (*edit)(SromSettings&);
  } cases[] = {
      {"CurrentMacOf13Digits",
       [](SromSettings& s) { s.CurrentMac = "0000000000011"; }},
      {"CurrentMacOf14Digits",
       [](SromSettings& s) { s.CurrentMac = "00000000000111"; }},
      {"ProductOf25Characters",
       [](SromSettings& s) { s.Product = std::string(25, 'P'); }},
      {"NonAsciiManufacturer",
       [](SromSettings& s) { s.Manufacturer = "VELK \xC3\xA9lec."; }},
      {"SerialOf15Digits",
       [](SromSettings& s) { s.CurrentSerial = "000000000000011"; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SromSettings settings;
    c.edit(settings);
    WriteBytes(station_ / "EEPROM.dat", FormatEepromDat(settings));
    const Exit exit = Run({"program"});
    EXPECT_EQ(exit.code, 3) << exit.err;
    EXPECT_FALSE(fs::exists(station_ / "Serial-MAC.log"));
    EXPECT_TRUE(UsedMacs().empty());
  }
}

TEST_F(StationSafetyTest, APipeNamedEepromDatIsRefusedAtOnce) {
  ASSERT_EQ(mkfifo((station_ / "EEPROM.dat").c_str(), 0644), 0);
  const Exit exit = Run({"program"});  // would hang if the pipe were opened
  EXPECT_EQ(exit.code, 7) << exit.err;
  EXPECT_NE(exit.err.find("Failed to read file EEPROM.dat!"),
            std::string::npos);
  EXPECT_TRUE(UsedMacs().empty());
}

// A settings file that is a link could be another station's: two stations
// on one counter would give its MAC addresses twice. The station refuses to
// open, naming the link, and neither the link nor its target changes.
TEST_F(StationSafetyTest, ALinkedSettingsFileIsRefusedAndLeftAsItIs) {
  ASSERT_EQ(Run({"program"}).code, 0);
  const fs::path kept = folder_ / "kept-settings.dat";
  fs::rename(station_ / "EEPROM.dat", kept);
  const std::string settings = ReadBytes(kept);
  fs::create_symlink(kept, station_ / "EEPROM.dat");
  const Exit exit = Run({"program"});
  EXPECT_EQ(exit.code, 7) << exit.err;
  EXPECT_NE(exit.err.find("its \"EEPROM.dat\" is a symbolic link"),
            std::string::npos)
      << exit.err;
  EXPECT_TRUE(fs::is_symlink(station_ / "EEPROM.dat"));
  EXPECT_EQ(ReadBytes(kept), settings);
  EXPECT_EQ(UsedMacs().size(), 1u);
}

TEST_F(StationSafetyTest, AnOldTemporaryFolderDoesNotStopTheStation) {
  fs::create_directories(station_ / "EEPROM.dat.tmp" / "in the way");
  ASSERT_EQ(Run({"program"}).code, 0);
  ASSERT_EQ(Run({"program"}).code, 0);
  EXPECT_EQ(LoggedMacs(),
            (std::vector<std::string>{"000000000001", "000000000002"}));
}

// A station on a small file system of its own, mounted in a private mount
// namespace so that nothing outside the test sees it.
class SmallDiskTest : public StationSafetyTest {
 protected:
  // Runs `script` with $STATION on a fresh 1 MiB tmpfs; false when this
  // machine does not allow the mount.
  bool OnSmallDisk(const std::string& script, Exit& exit) {
    const fs::path mount = folder_ / "small";
    fs::create_directories(mount);
    const std::string command =
        "unshare -m sh -c 'mount -t tmpfs -o size=1m tmpfs \"" +
        mount.string() + "\" || exit 99; cp -a \"" + station_.string() +
        "/.\" \"" + mount.string() + "/\"; STATION=\"" + mount.string() +
        "\"; CLI=\"" SROM_CLI_PATH "\"; " + script + "' > /dev/null 2> \"" +
        (folder_ / "err.txt").string() + "\"";
    const int status = std::system(command.c_str());
    exit.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    exit.err = ReadBytes(folder_ / "err.txt");
    return exit.code != 99;
  }
};

TEST_F(SmallDiskTest, AFullDiskLeavesTheAdapterUntouchedAndSaysWhy) {
  Exit exit;
  // Fill the disk, then program: the reservation cannot be written.
  if (!OnSmallDisk("head -c 2000000 /dev/zero > \"$STATION/filler\" "
                   "2>/dev/null; \"$CLI\" --dir \"$STATION\" program; "
                   "code=$?; \"$CLI\" --dir \"$STATION\" sim show >&2; "
                   "exit $code",
                   exit)) {
    GTEST_SKIP() << "no private mounts here: " << exit.err;
  }
  EXPECT_EQ(exit.code, 7) << exit.err;
  EXPECT_NE(exit.err.find("the disk is full"), std::string::npos) << exit.err;
  EXPECT_NE(exit.err.find("FAIL: file rejected"), std::string::npos);
  // The adapter stayed blank: its EEPROM listing starts with FF.
  EXPECT_NE(exit.err.find("EEPROM, 256 bytes:\r\nFF FF FF FF FF FF"),
            std::string::npos)
      << exit.err;
}

TEST_F(SmallDiskTest, AReadOnlyFolderIsRefusedWithItsCause) {
  Exit exit;
  if (!OnSmallDisk("mount -o remount,ro \"$STATION\" || exit 99; "
                   "\"$CLI\" --dir \"$STATION\" program",
                   exit)) {
    GTEST_SKIP() << "no private mounts here: " << exit.err;
  }
  EXPECT_EQ(exit.code, 7) << exit.err;
  EXPECT_NE(exit.err.find("read-only"), std::string::npos) << exit.err;
}

}  // namespace
}  // namespace srom::test
