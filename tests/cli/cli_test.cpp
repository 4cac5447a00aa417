// srom-cli as a line controller meets it: the real executable, started on a
// fresh station folder, judged by its exit code, its two streams and the
// files it leaves.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "support/logged_macs.h"
#include "device/sim/sim_setup.h"
#include "ledger/sqlite_ledger.h"
#include "ports/station_lock.h"
#include "device/sim/simulated_adapter.h"
#include "files/eeprom_dat.h"
#include "files/hex_file.h"
#include "model/default_images.h"
#include "model/srom_image.h"
#include "ops/multi_adapter.h"

namespace srom::test {
namespace {

namespace fs = std::filesystem;
using ::testing::EndsWith;
using ::testing::HasSubstr;

struct CliResult {
  int code = -1;
  std::string out;
  std::string err;
};

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Two hex digits a byte, white space anywhere between them: what `xxd -r -p`
// makes of a hex text.
std::string DecodeHexText(const std::string& text) {
  std::string bytes;
  std::string pair;
  for (const char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
    pair += c;
    if (pair.size() == 2) {
      bytes += static_cast<char>(std::stoi(pair, nullptr, 16));
      pair.clear();
    }
  }
  return bytes;
}

std::string Listing(std::span<const std::uint8_t> image) {
  ImageBuffer buffer = BlankBuffer();
  std::copy(image.begin(), image.end(), ImageArea(buffer).begin());
  return FormatImagePreview(buffer, static_cast<int>(image.size()));
}

// The executable the build made. A cross build names it by its path on the
// build machine; under wine that machine's root is drive Z:.
std::string CliPath() {
  std::string path = SROM_CLI_PATH;
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
  return path;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(CliPath())) {
      GTEST_SKIP() << "srom-cli cannot be started from here: no file "
                   << CliPath();
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    std::replace(name.begin(), name.end(), '/', '-');
    root_ = fs::temp_directory_path() / ("srom-cli-" + name);
    station_ = root_ / "station";
    io_ = root_ / "io";
    fs::remove_all(root_);
    fs::create_directories(station_);
    fs::create_directories(io_);
  }
  void TearDown() override { fs::remove_all(root_); }

  // Runs srom-cli on the station folder, its streams caught in files.
  CliResult Cli(const std::string& args) {
    const fs::path out = io_ / "stdout";
    const fs::path err = io_ / "stderr";
    std::string command = "\"" + CliPath() + "\" --dir \"" +
                          station_.string() + "\" " + args + " > \"" +
                          out.string() + "\" 2> \"" + err.string() + "\"";
    CliResult result;
#ifdef _WIN32
    // cmd.exe drops the outer quotes of a command that starts with one.
    // Under load wine now and then refuses to start the shell (-1: nothing
    // ran at all); the command is then simply started again.
    for (int attempt = 0; attempt < 5; ++attempt) {
      result.code = std::system(("\"" + command + "\"").c_str());
      if (result.code != -1) break;
    }
#else
    const int status = std::system(command.c_str());
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    result.out = ReadBytes(out);
    result.err = ReadBytes(err);
    return result;
  }

  void WriteSettings(const SromSettings& settings) {
    WriteBytes(station_ / "EEPROM.dat", FormatEepromDat(settings));
  }

  // Every file the station keeps, by name. The simulated adapter's memories
  // are the adapter's, not the station's: a unit that fails verification
  // has still been written. The lock files (the station's, and the bench's
  // that the adapter takes to save its memories) and the production ledger
  // are the station's own bookkeeping, which every run opens; their tests
  // look at them through the ledger.
  std::map<std::string, std::string> StationFiles() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(station_)) {
      const std::string name = entry.path().filename().string();
      if (name == kSimStateFile || name == kStationLockFile ||
          name == kSimLockFile ||
          name.rfind(std::string(kLedgerFileName), 0) == 0) {
        continue;
      }
      files[name] = ReadBytes(entry.path());
    }
    return files;
  }

  // Both memories of the simulated adapter, EEPROM first.
  std::vector<std::uint8_t> AdapterMemories() const {
    // No state file is a blank adapter: reading one writes nothing.
    SimulatedAdapter adapter;
    if (fs::exists(station_ / kSimStateFile)) {
      EXPECT_TRUE(adapter.LoadState(station_ / kSimStateFile));
    }
    std::vector<std::uint8_t> bytes = adapter.eeprom();
    const auto efuse = adapter.efuse();
    bytes.insert(bytes.end(), efuse.begin(), efuse.end());
    return bytes;
  }
  bool AdapterIsBlank() const {
    return std::ranges::all_of(AdapterMemories(),
                               [](std::uint8_t b) { return b == 0xFF; });
  }

  fs::path root_;
  fs::path station_;  // the station's folder
  fs::path io_;       // the caught streams and the files given to commands
};

TEST_F(CliTest, ImageOfTheInitialSettingsIsChipADefaultListing) {
  const auto& chip_a = DefaultSromImage(Chip::kA);
  const std::span<const std::uint8_t> expected(chip_a.data(), 256);

  const CliResult r = Cli("image --out \"" + (io_ / "img.dat").string() +
                          "\" --bin \"" + (io_ / "img.bin").string() + "\"");

  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, Listing(expected));
  EXPECT_EQ(r.err, "PASS\n");
  EXPECT_EQ(ReadBytes(io_ / "img.dat"), FormatImageFile(expected));
  EXPECT_EQ(ReadBytes(io_ / "img.bin"),
            std::string(expected.begin(), expected.end()));
  // Looking writes nothing into the station.
  EXPECT_THAT(StationFiles(), ::testing::IsEmpty());
}

struct RejectedCase {
  const char* name;
  const char* command;
  std::function<void(SromSettings&)> edit;
  const char* messages;  // every line before the last
};
void PrintTo(const RejectedCase& c, std::ostream* os) { *os << c.name; }

class RejectedSettings : public CliTest,
                         public ::testing::WithParamInterface<RejectedCase> {};

TEST_P(RejectedSettings, ShowTheCheckAndTouchNothing) {
  SromSettings settings;
  GetParam().edit(settings);
  WriteSettings(settings);
  const auto before = StationFiles();

  const CliResult r = Cli(GetParam().command);

  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, std::string(GetParam().messages) + "FAIL: settings rejected\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(StationFiles(), before);
  EXPECT_TRUE(AdapterIsBlank());
}

INSTANTIATE_TEST_SUITE_P(
    Cli, RejectedSettings,
    ::testing::Values(
        RejectedCase{"MacAboveMaximum", "image",
                     [](SromSettings& s) { s.MaximumMac = "000000000000"; },
                     "Current Mac Address Exceeded Maximum Mac Address\n"
                     "CheckDataCorrect FAIL\n"},
        RejectedCase{"VendorIdNotHex", "program",
                     [](SromSettings& s) { s.VendorId = "4G1E"; },
                     "Vendor ID Got The Wrong Format\nCheckDataCorrect FAIL\n"},
        RejectedCase{"EfuseMulticastMac", "program",
                     [](SromSettings& s) {
                       s.DeviceSel = kChipAEfuse;
                       s.CurrentMac = "010000000001";
                     },
                     "The bit 0 of the first Mac Address can't be 1\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, ProgramTwiceLogsTwoUnitsAndStepsTheSettings) {
  const CliResult first = Cli("program");
  const CliResult second = Cli("program");

  EXPECT_EQ(first.code, 0) << first.err;
  EXPECT_EQ(second.code, 0) << second.err;
  EXPECT_EQ(second.err, "PASS\n");
  const std::string log = ReadBytes(station_ / "Serial-MAC.log");
  EXPECT_THAT(log, HasSubstr("058/EEPROM\t00000000000001\t000000000001\t"));
  EXPECT_THAT(log, HasSubstr("058/EEPROM\t00000000000002\t000000000002\t"));
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4);  // header and units
  const std::string settings = ReadBytes(station_ / "EEPROM.dat");
  EXPECT_THAT(settings, HasSubstr("\"000000000003\""));
  EXPECT_THAT(settings, HasSubstr("\"00000000000003\""));
  // The adapter holds the second unit.
  const auto eeprom = AdapterMemories();
  EXPECT_EQ(eeprom[5], 0x02);
  EXPECT_EQ(eeprom[0x59], '2');
}

TEST_F(CliTest, DumpAfterProgramPrintsTheProgrammedImage) {
  const CliResult built = Cli("image");
  ASSERT_EQ(Cli("program").code, 0);

  const CliResult dumped = Cli("dump");

  EXPECT_EQ(dumped.code, 0) << dumped.err;
  EXPECT_EQ(dumped.out, built.out);
  EXPECT_EQ(ReadBytes(station_ / "SROM.dat") + "\r\n", built.out);
}

TEST_F(CliTest, ConvertBinWritesTheFileBytesUnchecked) {
  ASSERT_EQ(Cli("image --out \"" + (io_ / "in.dat").string() + "\"").code, 0);
  // Lower-case digits and a first byte no image may have: converted as read.
  std::string text = ReadBytes(io_ / "in.dat");
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  text.replace(0, 2, "01");
  WriteBytes(io_ / "in.dat", text);

  const CliResult r = Cli("convert-bin \"" + (io_ / "in.dat").string() + "\"");

  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "Write SROM.bin successfully!\\n\nPASS\n");
  const std::string bin = ReadBytes(station_ / "SROM.bin");
  EXPECT_EQ(bin, DecodeHexText(text));
#ifndef _WIN32
  if (std::system("command -v xxd > /dev/null 2>&1") == 0) {
    const fs::path xxd = io_ / "xxd.bin";
    ASSERT_EQ(std::system(("xxd -r -p \"" + (io_ / "in.dat").string() +
                           "\" > \"" + xxd.string() + "\"")
                              .c_str()),
              0);
    EXPECT_EQ(bin, ReadBytes(xxd));
  }
#endif

  // A file of another size is refused and leaves SROM.bin as it was.
  WriteBytes(io_ / "short.dat", text.substr(0, 796));
  const CliResult refused =
      Cli("convert-bin \"" + (io_ / "short.dat").string() + "\"");
  EXPECT_EQ(refused.code, 7);
  EXPECT_EQ(refused.err, "Incorrect SROM file size\nFAIL: file rejected\n");
  EXPECT_EQ(ReadBytes(station_ / "SROM.bin"), bin);
}

struct FaultCase {
  const char* name;
  std::vector<std::string> setup;  // sim commands before the run
  const char* command;
  int code;
  const char* err;  // the whole error stream
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class FaultedAdapter : public CliTest,
                       public ::testing::WithParamInterface<FaultCase> {};

// The unit fails; MAC address, serial number, log and every other station
// file stay exactly as the previous unit left them.
TEST_P(FaultedAdapter, FailsWithItsCodeAndChangesNoFile) {
  ASSERT_EQ(Cli("program").code, 0);
  for (const std::string& setup : GetParam().setup) {
    ASSERT_EQ(Cli(setup).code, 0) << setup;
  }
  const auto before = StationFiles();

  const CliResult r = Cli(GetParam().command);

  EXPECT_EQ(r.code, GetParam().code);
  EXPECT_EQ(r.err, GetParam().err);
  EXPECT_EQ(StationFiles(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, FaultedAdapter,
    ::testing::Values(
        FaultCase{"StuckCell", {"sim fault stuck-cell 5"}, "program", 6,
                  "EEPROM Program un-Complete!\nFAIL: verification failed\n"},
        FaultCase{"ReadBackFails",
                  {"sim fault fail-code IOCTL_READ_REGISTER"},
                  "program",
                  6,
                  "EEPROM Program un-Complete!\nFAIL: verification failed\n"},
        FaultCase{"WriteFails",
                  {"sim fault fail-code IOCTL_WRITE_EEPROM"},
                  "program",
                  5,
                  "IOCTL Write EEPROM fail\nProgram fail\nFAIL: write failed\n"},
        FaultCase{"Unplugged", {"sim unplug"}, "program", 4,
                  "Device not found!\nFAIL: device absent\n"},
        FaultCase{"DumpOfUnplugged", {"sim unplug"}, "dump", 4,
                  "Device not found!\nFAIL: device absent\n"},
        FaultCase{"ReloadNotConfirmed",
                  {},
                  "program --reload",
                  8,
                  "Reload EEPROM Warning: Reload EEPROM Warning "
                  "!\\n\\nIf you change the Vendor ID or Product ID fields, the "
                  "test driver might not be worked any more after reloading "
                  "EEPROM.\\nPlease reload the test driver by modifying the inf "
                  "file of the test driver to add the new Vendor and Product "
                  "ID.\\n\\nIf you need continue running this tool.\\nClick "
                  "'OK' to continue programming eeprom.\\nClick 'CANCEL' to "
                  "abort programming eeprom.\\n\n"
                  "Cancel (give --yes to answer OK)\nFAIL: not confirmed\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// A unit whose read-back failed left its address on the adapter. Retried on
// that adapter, it gets the same address; a blank adapter put in its place
// gets the next one, and the failed address is set aside for good: no two
// adapters carry one address. (The eFuse's case waits out its real retry
// pauses here; the operations' tests cover it with a clock that does not.)
struct SwapCase {
  const char* name;
  std::vector<std::string> fault;
  bool swapped;
  const char* second_mac;
};
void PrintTo(const SwapCase& c, std::ostream* os) { *os << c.name; }

class AfterAFailedUnit : public CliTest,
                         public ::testing::WithParamInterface<SwapCase> {};

TEST_P(AfterAFailedUnit, TheAddressGoesOnlyToTheAdapterThatMayHoldIt) {
  const SwapCase& c = GetParam();
  for (const std::string& setup : c.fault) {
    ASSERT_EQ(Cli(setup).code, 0) << setup;
  }
  const CliResult failed = Cli("program");
  ASSERT_NE(failed.code, 0) << failed.err;
  ASSERT_EQ(Cli("sim fault clear").code, 0);
  if (c.swapped) {
    ASSERT_EQ(Cli("sim create --force").code, 0);
  }

  const CliResult again = Cli("program");

  EXPECT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(test::LoggedMacs(station_), std::vector<std::string>{c.second_mac});
  const bool moved_on = std::string(c.second_mac) != "000000000001";
  EXPECT_EQ(again.err.find("000000000001 is set aside") != std::string::npos,
            moved_on)
      << again.err;
  const CliResult units = Cli("ledger");
  EXPECT_THAT(units.out, HasSubstr(moved_on ? "interrupted" : "failed"))
      << units.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, AfterAFailedUnit,
    ::testing::Values(
        SwapCase{"RetriedOnTheSameAdapter",
                 {"sim fault fail-code IOCTL_READ_REGISTER"}, false,
                 "000000000001"},
        SwapCase{"ABlankAdapterInItsPlace",
                 {"sim fault fail-code IOCTL_READ_REGISTER"}, true,
                 "000000000002"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliTest, ReloadWarningIsAnsweredByYes) {
  const CliResult r = Cli("--yes program --reload");

  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("\nOK (--yes)\nPASS\n"));
  EXPECT_THAT(ReadBytes(station_ / "EEPROM.dat"), HasSubstr("\"000000000002\""));
}

TEST_F(CliTest, LoadSromDecodesAndSavesOnlyWhenConfirmed) {
  // An image whose MAC address and product string differ from the settings.
  SromSettings other;
  other.CurrentMac = "00E04C000123";
  other.Product = "KM62058 LINE7";
  WriteSettings(other);
  ASSERT_EQ(Cli("image --out \"" + (io_ / "other.dat").string() + "\"").code, 0);
  fs::remove(station_ / "EEPROM.dat");
  const std::string load = "load-srom \"" + (io_ / "other.dat").string() + "\"";

  const CliResult shown = Cli(load);
  EXPECT_EQ(shown.code, 0) << shown.err;
  EXPECT_THAT(shown.out, HasSubstr("\"00E04C000123\""));
  EXPECT_THAT(shown.out, HasSubstr("\"KM62058 LINE7\""));
  EXPECT_THAT(StationFiles(), ::testing::IsEmpty());

  EXPECT_EQ(Cli(load + " --save").code, 8);
  EXPECT_THAT(StationFiles(), ::testing::IsEmpty());

  const CliResult saved = Cli(load + " --save --yes");
  EXPECT_EQ(saved.code, 0) << saved.err;
  EXPECT_EQ(ReadBytes(station_ / "EEPROM.dat"), shown.out);
  EXPECT_EQ(ReadBytes(station_ / "SROM.dat"), ReadBytes(io_ / "other.dat"));
}

// ---- Several adapters: the bench, scan, program --multi, dump --multi -------

constexpr char kChipADescription[] =
    "VELK KM62058 USB 3.0 to Gigabit Ethernet Adapter";
constexpr char kChipBDescription[] =
    "VELK KM62057D USB 3.0 to Gigabit Ethernet Adapter";

class BenchCliTest : public CliTest {
 protected:
  // Puts an adapter on the bench through srom-cli sim add.
  void Add(const std::string& description, const std::string& connection) {
    std::string quoted;
    for (const char c : connection) {
      if (c == '"') quoted += '\\';
      quoted += c;
    }
    const CliResult r = Cli("sim add --description \"" + description +
                            "\" --connection \"" + quoted + "\"");
    ASSERT_EQ(r.code, 0) << r.err;
  }
  // The EEPROM of the bench's adapter `number` as its state file keeps it;
  // blank when it has none.
  std::vector<std::uint8_t> Eeprom(int number) const {
    SimulatedAdapter adapter;
    const fs::path file = station_ / SimStateFileName(number);
    if (fs::exists(file)) {
      EXPECT_TRUE(adapter.LoadState(file));
    }
    return adapter.eeprom();
  }
  // The lines of `text` that begin with "Adapter".
  static std::vector<std::string> AdapterLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("Adapter", 0) == 0) lines.push_back(line);
    }
    return lines;
  }
  std::vector<std::string> LoggedMacs() const {
    return test::LoggedMacs(station_);
  }
};

struct MultiCase {
  const char* name;
  std::vector<std::string> setup;  // sim commands before the run
  int code;
  const char* closing;             // the last line of the error stream
  std::vector<std::string> lines;  // the result lines
  std::vector<std::string> logged;
  // What each adapter's first six EEPROM bytes hold after the run.
  std::vector<std::string> held;
};
void PrintTo(const MultiCase& c, std::ostream* os) { *os << c.name; }

class ProgramMulti : public BenchCliTest,
                     public ::testing::WithParamInterface<MultiCase> {};

// Six adapters of the selected chip, each programmed in turn with the next
// MAC address; a faulted one fails alone, and the next adapter gets the
// address it did not take.
TEST_P(ProgramMulti, ProgramsEveryAdapterInTurn) {
  for (int n = 2; n <= 6; ++n) {
    Add(kChipADescription, "Ethernet " + std::to_string(n));
  }
  for (const std::string& setup : GetParam().setup) {
    ASSERT_EQ(Cli(setup).code, 0) << setup;
  }

  const CliResult r = Cli("program --multi");

  EXPECT_EQ(r.code, GetParam().code) << r.err;
  EXPECT_EQ(AdapterLines(r.out), GetParam().lines) << r.out;
  EXPECT_EQ(LoggedMacs(), GetParam().logged);
  std::vector<std::string> held;
  for (int number = 1; number <= 6; ++number) {
    const auto eeprom = Eeprom(number);
    std::string hex;
    for (int i = 0; i < 6; ++i) {
      const char digits[] = "0123456789ABCDEF";
      hex += digits[eeprom[i] >> 4];
      hex += digits[eeprom[i] & 0x0F];
    }
    held.push_back(hex);
  }
  EXPECT_EQ(held, GetParam().held);
  EXPECT_THAT(r.err, EndsWith(std::string(GetParam().closing) + "\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ProgramMulti,
    ::testing::Values(
        MultiCase{"AllPass",
                  {},
                  0,
                  "PASS",
                  {"Adapter1 KM62058 (Ethernet): PASS 000000000001",
                   "Adapter2 KM62058 (Ethernet 2): PASS 000000000002",
                   "Adapter3 KM62058 (Ethernet 3): PASS 000000000003",
                   "Adapter4 KM62058 (Ethernet 4): PASS 000000000004",
                   "Adapter5 KM62058 (Ethernet 5): PASS 000000000005",
                   "Adapter6 KM62058 (Ethernet 6): PASS 000000000006"},
                  {"000000000001", "000000000002", "000000000003",
                   "000000000004", "000000000005", "000000000006"},
                  {"000000000001", "000000000002", "000000000003",
                   "000000000004", "000000000005", "000000000006"}},
        MultiCase{"ThirdHasAStuckCell",
                  {"sim fault --adapter 3 stuck-cell 5"},
                  6,
                  "FAIL: verification failed",
                  {"Adapter1 KM62058 (Ethernet): PASS 000000000001",
                   "Adapter2 KM62058 (Ethernet 2): PASS 000000000002",
                   "Adapter3 KM62058 (Ethernet 3): FAIL: verification failed",
                   "Adapter4 KM62058 (Ethernet 4): PASS 000000000004",
                   "Adapter5 KM62058 (Ethernet 5): PASS 000000000005",
                   "Adapter6 KM62058 (Ethernet 6): PASS 000000000006"},
                  {"000000000001", "000000000002", "000000000004",
                   "000000000005", "000000000006"},
                  // The stuck cell kept its blank byte, and the rest of
                  // 000000000003 sits on that adapter: the address is set
                  // aside, and the next adapter gets the one after it.
                  {"000000000001", "000000000002", "0000000000FF",
                   "000000000004", "000000000005", "000000000006"}},
        MultiCase{"SecondUnplugged",
                  {"sim unplug --adapter 2"},
                  4,
                  "FAIL: device absent",
                  {"Adapter1 KM62058 (Ethernet): PASS 000000000001",
                   "Adapter2 KM62058 (Ethernet 2): FAIL: device absent",
                   "Adapter3 KM62058 (Ethernet 3): PASS 000000000002",
                   "Adapter4 KM62058 (Ethernet 4): PASS 000000000003",
                   "Adapter5 KM62058 (Ethernet 5): PASS 000000000004",
                   "Adapter6 KM62058 (Ethernet 6): PASS 000000000005"},
                  {"000000000001", "000000000002", "000000000003",
                   "000000000004", "000000000005"},
                  {"000000000001", "FFFFFFFFFFFF", "000000000002",
                   "000000000003", "000000000004", "000000000005"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BenchCliTest, DumpMultiReadsEveryAdapterInTurn) {
  Add(kChipADescription, "Ethernet 2");
  ASSERT_EQ(Cli("program --multi").code, 0);

  const CliResult r = Cli("dump --multi");

  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_THAT(AdapterLines(r.out),
              ::testing::ElementsAre("Adapter1 KM62058 (Ethernet): PASS",
                                     "Adapter2 KM62058 (Ethernet 2): PASS"));
  // The loop's log: each adapter's caption above its own dump.
  EXPECT_THAT(r.out, HasSubstr("KM62058 (Ethernet)\r\n00 00 00 00 00 01"));
  EXPECT_THAT(r.out, HasSubstr("KM62058 (Ethernet 2)\r\n00 00 00 00 00 02"));
}

struct ScanCase {
  const char* name;
  int device_sel;
  const char* out;
};
void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class ScanBench : public BenchCliTest,
                  public ::testing::WithParamInterface<ScanCase> {};

// A bench of both chips and a connection whose name holds a double quote:
// every adapter is listed, those of the selected chip are in the loop, the quoted
// connection never does and the scan says why.
TEST_P(ScanBench, ListsEveryAdapterAndWhichTakePart) {
  Add(kChipBDescription, "Ethernet 2");
  Add(kChipADescription, "Lab \"7\"");
  SromSettings settings;
  settings.DeviceSel = GetParam().device_sel;
  WriteSettings(settings);

  const CliResult r = Cli("scan");

  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, GetParam().out);
  EXPECT_EQ(r.err, *UnswitchableReason("Lab \"7\"") + "\nPASS\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ScanBench,
    ::testing::Values(ScanCase{"ChipAEeprom", kChipAEeprom,
                               "Adapter1 KM62058 (Ethernet): in the loop\n"
                               "Adapter2 KM62057D(Ethernet 2): left out\n"
                               "Adapter3 KM62058 (Lab \"7\"): left out\n"},
                      ScanCase{"ChipBEeprom", kChipBEeprom,
                               "Adapter1 KM62058 (Ethernet): left out\n"
                               "Adapter2 KM62057D(Ethernet 2): in the loop\n"
                               "Adapter3 KM62058 (Lab \"7\"): left out\n"},
                      ScanCase{
                          "ChipAEfuse", kChipAEfuse,
                          "Adapter1 KM62058 (Ethernet): in the loop\n"
                          "Adapter2 KM62057D(Ethernet 2): left out\n"
                          "Adapter3 KM62058 (Lab \"7\"): left out\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Only the adapter in the loop is programmed; the others stay blank.
TEST_F(BenchCliTest, ProgramMultiLeavesAdaptersThatTakeNoPartAlone) {
  Add(kChipBDescription, "Ethernet 2");
  Add(kChipADescription, "Lab \"7\"");

  const CliResult r = Cli("program --multi");

  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_THAT(
      AdapterLines(r.out),
      ::testing::ElementsAre("Adapter1 KM62058 (Ethernet): PASS 000000000001"));
  EXPECT_EQ(Eeprom(1)[5], 0x01);
  EXPECT_TRUE(std::ranges::all_of(Eeprom(2), [](auto b) { return b == 0xFF; }));
  EXPECT_TRUE(std::ranges::all_of(Eeprom(3), [](auto b) { return b == 0xFF; }));
}

TEST_F(BenchCliTest, ABenchThatCannotTakeAnAdapterIsLeftAsItWas) {
  Add(kChipADescription, "Ethernet 2");
  const std::string bench = ReadBytes(station_ / kSimBenchFile);
  const struct {
    const char* args;
    const char* message;
  } rows[] = {
      {"sim add --description \"x 6205\" --connection \"Ethernet 2\"",
       "The bench has an adapter on the connection \"Ethernet 2\" already."},
      {"sim add --description \"\" --connection \"Ethernet 3\"",
       "A description is needed, without a tab or a line break."},
      {"sim plug --adapter 3",
       "The bench has no adapter 3 (it has 2); srom-cli sim add adds one."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args);
    const CliResult r = Cli(row.args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, std::string(row.message) + "\nFAIL: usage\n");
    EXPECT_EQ(ReadBytes(station_ / kSimBenchFile), bench);
    EXPECT_FALSE(fs::exists(station_ / SimStateFileName(3)));
  }
  for (int n = 3; n <= 6; ++n)
    Add(kChipADescription, "Ethernet " + std::to_string(n));
  const CliResult full =
      Cli("sim add --description \"x 6205\" --connection \"Ethernet 7\"");
  EXPECT_EQ(full.code, 2);
  EXPECT_EQ(full.err, "The bench holds 6 adapters already.\nFAIL: usage\n");
}

}  // namespace
}  // namespace srom::test
