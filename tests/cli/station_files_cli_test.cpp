// The station's files as a user meets them through the real srom-cli: a
// pipe or a giant file under any name the tool reads, a symbolic link under
// any name it writes, an output named like a station file, and a temporary
// file of a `sim plug` in flight while another program opens the station.
// Every command runs with a deadline, so a hang fails its row instead of
// hanging the suite.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "files/eeprom_dat.h"
#include "ports/station_files.h"
#include "support/temp_folder.h"

namespace srom::test {
namespace {

using std::chrono::seconds;

// Far past what any command here needs on a loaded two-core machine; a
// command that reads a pipe or a giant file whole needs far more, or never
// ends.
constexpr seconds kDeadline{20};
// Past every cap (four times the log's), and sparse: it costs no disk.
constexpr std::uintmax_t kGiantSize = std::uintmax_t{1} << 30;

constexpr int kUsageExit = 2;
constexpr int kFileRejectedExit = 7;

class Station {
 public:
  Station() : station_(root_ / "station") { fs::create_directories(station_); }

  const fs::path& path() const { return station_; }
  fs::path operator/(const std::string& name) const { return station_ / name; }
  const TempFolder& root() const { return root_; }

  Exit Run(const std::vector<std::string>& args) const {
    return CliProcess(station_, args, root_ / "err.txt").WaitWithin(kDeadline);
  }

  // A station that has programmed a unit: its settings, log, ledger, lock
  // and simulated adapter are all there. `efuse` selects chip A's eFuse
  // afterwards; `adapters` puts that many adapters on the bench.
  void Prepare(bool efuse = false, int adapters = 1) const {
    ASSERT_EQ(Run({"sim", "create"}).code, 0);
    ASSERT_EQ(Run({"program"}).code, 0);
    for (int number = 2; number <= adapters; ++number) {
      const std::string n = std::to_string(number);
      ASSERT_EQ(Run({"sim", "add", "--description", "Adapter " + n,
                     "--connection", "Ethernet " + n})
                    .code,
                0);
    }
    if (efuse) {
      SromSettings settings;
      ASSERT_TRUE(LoadSettings(&settings));
      settings.DeviceSel = kChipAEfuse;
      WriteBytes(station_ / "EEPROM.dat", FormatEepromDat(settings));
    }
  }

  bool LoadSettings(SromSettings* settings) const {
    const auto loaded =
        SettingsFromEepromDat(ReadBytes(station_ / "EEPROM.dat"), *settings);
    if (!loaded) return false;
    *settings = *loaded;
    return true;
  }

 private:
  TempFolder root_;
  fs::path station_;
};

// The arguments of a row, with "{station}" standing for the station folder.
std::vector<std::string> Expanded(const std::vector<std::string>& args,
                                  const fs::path& station) {
  std::vector<std::string> expanded;
  for (std::string arg : args) {
    const std::size_t at = arg.find("{station}");
    if (at != std::string::npos) arg.replace(at, 9, station.string());
    expanded.push_back(std::move(arg));
  }
  return expanded;
}

// --- Every file the tool reads: a pipe, and a file past every cap. ---

enum class Plant { kPipe, kGiant };

struct ReadRow {
  const char* name;
  const char* file;
  std::vector<std::string> args;
  int code;  // a pipe and a giant file alike
  Plant plant;
  bool efuse = false;
  int adapters = 1;
};

void PrintTo(const ReadRow& row, std::ostream* out) { *out << row.name; }

// Each read once as a pipe and once as a giant file.
std::vector<ReadRow> ReadRows() {
  struct Read {
    const char* name;
    const char* file;
    std::vector<std::string> args;
    int code;
    bool efuse = false;
    int adapters = 1;
    bool giant = true;  // false: the file is not read whole (SQLite's, a lock)
  };
  const std::vector<Read> reads = {
      {"SettingsOnOpening", "EEPROM.dat", {"image"}, kFileRejectedExit},
      {"SromDatLoaded",
       "SROM.dat",
       {"load-srom", "{station}/SROM.dat"},
       kFileRejectedExit},
      {"SromDatConverted",
       "SROM.dat",
       {"convert-bin", "{station}/SROM.dat"},
       kFileRejectedExit},
      {"SromDatAsBase",
       "SROM.dat",
       {"image", "--base", "{station}/SROM.dat"},
       kFileRejectedExit},
      {"EfuseDatLoaded",
       "EFUSE.dat",
       {"load-efuse", "{station}/EFUSE.dat"},
       kFileRejectedExit,
       true},
      {"LogChecked",
       "Serial-MAC.log",
       {"ledger", "--check"},
       kFileRejectedExit},
      {"StationIni", "station.ini", {"image"}, kFileRejectedExit},
      // The closes kept wait for a later start; the station opens.
      {"Outbox", "ledger-outbox.txt", {"image"}, 0},
      {"SimStateShown",
       "simulated-adapter.txt",
       {"sim", "show"},
       kFileRejectedExit},
      {"SimStateOnOpening",
       "simulated-adapter.txt",
       {"image"},
       kFileRejectedExit},
      {"SimSetupShown",
       "simulated-adapter-setup.txt",
       {"sim", "show"},
       kFileRejectedExit},
      {"SimSetupPlugged",
       "simulated-adapter-setup.txt",
       {"sim", "plug"},
       kFileRejectedExit},
      {"SimSetupOnOpening",
       "simulated-adapter-setup.txt",
       {"program"},
       kFileRejectedExit},
      {"SimBenchShown",
       "simulated-bench.txt",
       {"sim", "show"},
       kFileRejectedExit,
       false,
       2},
      {"SimBenchOnOpening",
       "simulated-bench.txt",
       {"image"},
       kFileRejectedExit,
       false,
       2},
      {"SecondAdapterState",
       "simulated-adapter-2.txt",
       {"sim", "show", "--adapter", "2"},
       kFileRejectedExit,
       false,
       2},
      {"SecondAdapterSetup",
       "simulated-adapter-2-setup.txt",
       {"sim", "unplug", "--adapter", "2"},
       kFileRejectedExit,
       false,
       2},
      {"Ledger",
       "production-ledger.sqlite",
       {"image"},
       kFileRejectedExit,
       false,
       1,
       false},
      {"LedgerWriteAheadLog",
       "production-ledger.sqlite-wal",
       {"image"},
       kFileRejectedExit,
       false,
       1,
       false},
      {"StationLock",
       "station.lock",
       {"image"},
       kFileRejectedExit,
       false,
       1,
       false},
      {"BenchLock",
       "simulated-bench.lock",
       {"sim", "plug"},
       kFileRejectedExit,
       false,
       1,
       false},
  };
  std::vector<ReadRow> rows;
  for (const Read& read : reads) {
    rows.push_back({read.name, read.file, read.args, read.code, Plant::kPipe,
                    read.efuse, read.adapters});
    if (read.giant) {
      rows.push_back({read.name, read.file, read.args, read.code, Plant::kGiant,
                      read.efuse, read.adapters});
    }
  }
  return rows;
}

class ReadsEveryFile : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ReadsEveryFile, RefusingAPipeOrAGiantFileAtOnceAndKeepingIt) {
  const ReadRow& row = GetParam();
  const Station station;
  ASSERT_NO_FATAL_FAILURE(station.Prepare(row.efuse, row.adapters));
  const fs::path file = station / row.file;
  fs::remove(file);
  if (row.plant == Plant::kPipe) {
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
  } else {
    WriteBytes(file, "");
    fs::resize_file(file, kGiantSize);
  }

  const Exit exit = station.Run(Expanded(row.args, station.path()));
  ASSERT_NE(exit.code, kHung) << "hung on the " << row.file;
  EXPECT_EQ(exit.code, row.code) << exit.err;
  EXPECT_NE(exit.err.find(row.file), std::string::npos) << exit.err;
  EXPECT_NE(exit.err.find(row.plant == Plant::kPipe ? "not a plain file"
                                                    : "more than the"),
            std::string::npos)
      << exit.err;
  // Nothing lost: the file stands as it was.
  if (row.plant == Plant::kPipe) {
    EXPECT_TRUE(fs::is_fifo(file));
  } else {
    EXPECT_EQ(fs::file_size(file), kGiantSize);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, ReadsEveryFile, ::testing::ValuesIn(ReadRows()),
                         [](const auto& info) {
                           return std::string(info.param.name) +
                                  (info.param.plant == Plant::kPipe
                                       ? "AsPipe"
                                       : "AsGiantFile");
                         });

// --- Every file the tool writes: a symbolic link planted under its name. ---

struct LinkRow {
  const char* name;
  const char* file;
  std::vector<std::string> args;
  int code;
  int adapters = 1;
};

void PrintTo(const LinkRow& row, std::ostream* out) { *out << row.name; }

const LinkRow kLinkRows[] = {
    // Opening a station looks at every one of its files.
    {"SettingsOnProgram", "EEPROM.dat", {"program"}, kFileRejectedExit},
    {"SromDatOnDump", "SROM.dat", {"dump"}, kFileRejectedExit},
    {"EfuseDatOnConvert",
     "EFUSE.dat",
     {"convert-efuse", "--serial-type", "mac"},
     kFileRejectedExit},
    {"SromBinOnConvert",
     "SROM.bin",
     {"convert-bin", "{station}/../image.dat"},
     kFileRejectedExit},
    {"LogOnProgram", "Serial-MAC.log", {"program"}, kFileRejectedExit},
    {"RetryLogOnProgram", "RetryLog.txt", {"program"}, kFileRejectedExit},
    {"LedgerOnProgram",
     "production-ledger.sqlite",
     {"program"},
     kFileRejectedExit},
    {"LedgerWalOnProgram",
     "production-ledger.sqlite-wal",
     {"program"},
     kFileRejectedExit},
    {"LedgerShmOnProgram",
     "production-ledger.sqlite-shm",
     {"program"},
     kFileRejectedExit},
    {"StationLockOnProgram", "station.lock", {"program"}, kFileRejectedExit},
    {"StationIniOnImage", "station.ini", {"image"}, kFileRejectedExit},
    {"OutboxOnProgram", "ledger-outbox.txt", {"program"}, kFileRejectedExit},
    {"SimStateOnProgram",
     "simulated-adapter.txt",
     {"program"},
     kFileRejectedExit},
    // The sim commands open no station: each refuses the link it meets.
    {"SimStateOnCreate",
     "simulated-adapter.txt",
     {"sim", "create", "--force"},
     kFileRejectedExit},
    {"SimSetupOnPlug",
     "simulated-adapter-setup.txt",
     {"sim", "plug"},
     kFileRejectedExit},
    {"SimBenchOnAdd",
     "simulated-bench.txt",
     {"sim", "add", "--description", "Adapter 3", "--connection", "Ethernet 3"},
     kFileRejectedExit,
     2},
    {"BenchLockOnPlug",
     "simulated-bench.lock",
     {"sim", "plug"},
     kFileRejectedExit},
    {"SecondAdapterSetupOnPlug",
     "simulated-adapter-2-setup.txt",
     {"sim", "plug", "--adapter", "2"},
     kFileRejectedExit,
     2},
    // A file a command writes into the station folder on request.
    {"ImageOutIntoTheStation",
     "image-copy.txt",
     {"image", "--out", "{station}/image-copy.txt"},
     kFileRejectedExit},
    {"ImageBinIntoTheStation",
     "image-copy.bin",
     {"image", "--bin", "{station}/image-copy.bin"},
     kFileRejectedExit},
    {"LedgerCsvIntoTheStation",
     "units.csv",
     {"ledger", "--csv", "{station}/units.csv"},
     kFileRejectedExit},
};

class RefusesALinkUnderEveryName : public ::testing::TestWithParam<LinkRow> {};

TEST_P(RefusesALinkUnderEveryName, NamingItAndLeavingWhereItLeadsAlone) {
  const LinkRow& row = GetParam();
  const Station station;
  ASSERT_NO_FATAL_FAILURE(station.Prepare(false, row.adapters));
  ASSERT_EQ(station.Run({"dump"}).code, 0);
  // An image file to convert, outside the station.
  fs::copy_file(station / "SROM.dat", station.root() / "image.dat");
  const fs::path victim = station.root() / "victim";
  WriteBytes(victim, "not the station's");
  const fs::path link = station / row.file;
  fs::remove(link);
  fs::create_symlink(victim, link);

  const Exit exit = station.Run(Expanded(row.args, station.path()));
  ASSERT_NE(exit.code, kHung);
  EXPECT_EQ(exit.code, row.code) << exit.err;
  EXPECT_NE(exit.err.find(row.file), std::string::npos) << exit.err;
  EXPECT_NE(exit.err.find("symbolic link"), std::string::npos) << exit.err;
  EXPECT_EQ(ReadBytes(victim), "not the station's");
  ASSERT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), victim);
}

INSTANTIATE_TEST_SUITE_P(Files, RefusesALinkUnderEveryName,
                         ::testing::ValuesIn(kLinkRows), [](const auto& info) {
                           return std::string(info.param.name);
                         });

// --- Outputs the operator names: never a station file's name. ---

struct Output {
  const char* option;  // the command and option that take the file
  std::vector<std::string> command;
};

const Output kOutputs[] = {
    {"ImageOut", {"image", "--out"}},
    {"ImageBin", {"image", "--bin"}},
    {"LedgerCsv", {"ledger", "--csv"}},
};

struct GuardRow {
  std::string name;
  std::string file;  // relative to the station folder's parent
};

void PrintTo(const GuardRow& row, std::ostream* out) { *out << row.name; }

// A row name of letters and digits only.
std::string RowName(const std::string& text) {
  std::string name;
  bool upper = true;
  for (const char c : text) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9');
    if (!alnum) {
      upper = true;
      continue;
    }
    name +=
        upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    upper = false;
  }
  return name;
}

std::vector<GuardRow> GuardRows() {
  std::vector<GuardRow> rows;
  for (const std::string& name : StationFileNames()) {
    rows.push_back({RowName(name), "station/" + name});
  }
  // Letter case does not tell names apart on Windows; another folder may be
  // another station's, or the working folder the window loads EEPROM.dat
  // from first.
  rows.push_back({"LowerCaseSettings", "station/eeprom.dat"});
  rows.push_back({"UpperCaseRetryLog", "station/RETRYLOG.TXT"});
  rows.push_back({"SromDatInAnotherFolder", "elsewhere/SROM.dat"});
  rows.push_back({"LogInAnotherFolder", "elsewhere/Serial-MAC.log"});
  return rows;
}

class GuardsEveryOutput : public ::testing::TestWithParam<GuardRow> {};

TEST_P(GuardsEveryOutput, RefusingAStationFilesNameExistingOrNot) {
  const GuardRow& row = GetParam();
  const Station station;
  fs::create_directories(station.root() / "elsewhere");
  const fs::path target = station.root() / row.file;
  for (const Output& output : kOutputs) {
    for (const bool exists : {false, true}) {
      SCOPED_TRACE(std::string(output.option) +
                   (exists ? " over an existing file" : " on no file yet"));
      fs::remove(target);
      if (exists) WriteBytes(target, "kept");
      std::vector<std::string> args = output.command;
      args.push_back(target.string());
      const Exit exit = station.Run(args);
      ASSERT_NE(exit.code, kHung);
      EXPECT_EQ(exit.code, kUsageExit) << exit.err;
      EXPECT_NE(exit.err.find("bears the name of a station's own file"),
                std::string::npos)
          << exit.err;
      if (exists) {
        EXPECT_EQ(ReadBytes(target), "kept");
      } else {
        EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Names, GuardsEveryOutput,
                         ::testing::ValuesIn(GuardRows()),
                         [](const auto& info) { return info.param.name; });

TEST(GuardsEveryOutput, WritesAFileOfAnyOtherName) {
  const Station station;
  for (const Output& output : kOutputs) {
    const fs::path target =
        station / (std::string(output.option) + "-units.txt");
    std::vector<std::string> args = output.command;
    args.push_back(target.string());
    const Exit exit = station.Run(args);
    EXPECT_EQ(exit.code, 0) << output.option << ": " << exit.err;
    EXPECT_TRUE(fs::is_regular_file(target)) << output.option;
  }
}

// --- A sim plug in flight while another program opens the station. ---

// `sim plug` and `sim unplug` take only the bench's lock: a station that
// opens meanwhile must leave their temporary files alone. Both sides are real
// srom-cli processes; not one sim command may fail.
TEST(TemporaryFiles, OfASimCommandInFlightSurviveAStationOpening) {
  const Station station;
  ASSERT_EQ(station.Run({"sim", "create"}).code, 0);
  ASSERT_EQ(station.Run({"image"}).code, 0);

  std::atomic<bool> done{false};
  std::atomic<int> openings{0};
  std::atomic<int> opening_failures{0};
  std::thread opener([&] {
    while (!done) {
      const Exit exit = CliProcess(station.path(), {"image"},
                                   station.root() / "opener-err.txt")
                            .WaitWithin(kDeadline);
      ++openings;
      if (exit.code != 0) ++opening_failures;
    }
  });
  // Under AddressSanitizer each srom-cli starts many times slower; that run
  // looks for memory faults, and the plain run makes the 400 that expose the
  // race.
#ifdef __SANITIZE_ADDRESS__
  constexpr int kSimCommands = 60;
#else
  constexpr int kSimCommands = 400;
#endif
  std::vector<std::string> failures;
  for (int i = 0; i < kSimCommands; ++i) {
    const Exit exit =
        CliProcess(station.path(), {"sim", i % 2 == 0 ? "unplug" : "plug"},
                   station.root() / "sim-err.txt")
            .WaitWithin(kDeadline);
    if (exit.code != 0) {
      failures.push_back(std::to_string(i) + ": " + std::to_string(exit.code) +
                         " " + exit.err);
    }
  }
  done = true;
  opener.join();
  EXPECT_TRUE(failures.empty())
      << failures.size() << " of " << kSimCommands << " sim commands failed, "
      << "the first " << failures.front();
  EXPECT_GT(openings.load(), 0);
  EXPECT_EQ(opening_failures.load(), 0);
  // Every temporary file went with its rename.
  for (const auto& entry : fs::directory_iterator(station.path())) {
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
  }
}

}  // namespace
}  // namespace srom::test
