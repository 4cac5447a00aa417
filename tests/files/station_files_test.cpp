// The rules every station file is read and written by: the one reading
// helper (plain files only, judged by size before a byte is read, links
// refused for the station's own files), the log append that never writes
// through a link or waits on a pipe, and the list of the station's names.
#include "ports/station_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "files/file_io.h"
#include "files_test_support.h"
#include "ports/file_read.h"
#include "ports/system_error_text.h"
#include "support/temp_folder.h"

namespace srom {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;
using ::testing::HasSubstr;

constexpr std::uintmax_t kCap = 16;

struct ReadRow {
  const char* name;
  // Makes `path` what the row names; `elsewhere` is a folder outside.
  std::function<void(const fs::path& path, const fs::path& elsewhere)> make;
  LinkRule links;
  ReadFault fault;
  std::string bytes;  // when read
  std::string said;   // a piece of ReadFaultText when refused
};

void PrintTo(const ReadRow& row, std::ostream* out) { *out << row.name; }

void Sized(const fs::path& path, std::uintmax_t size) {
  WriteBytes(path, "");
  fs::resize_file(path, size);
}

const ReadRow kReadRows[] = {
    {"Missing", [](const fs::path&, const fs::path&) {}, LinkRule::kRefuse,
     ReadFault::kMissing, "", "it does not exist"},
    {"Empty", [](const fs::path& p, const fs::path&) { WriteBytes(p, ""); },
     LinkRule::kRefuse, ReadFault::kNone, "", ""},
    {"ExactlyTheCap",
     [](const fs::path& p, const fs::path&) {
       WriteBytes(p, std::string(kCap, 'x'));
     },
     LinkRule::kRefuse, ReadFault::kNone, std::string(kCap, 'x'), ""},
    {"OneByteOverTheCap",
     [](const fs::path& p, const fs::path&) {
       WriteBytes(p, std::string(kCap + 1, 'x'));
     },
     LinkRule::kRefuse, ReadFault::kTooLarge, "",
     "it is 17 bytes, more than the 16 bytes such a file may hold"},
    // Judged by its size: not one of its bytes is read.
    {"Giant",
     [](const fs::path& p, const fs::path&) {
       Sized(p, std::uintmax_t{3} << 30);
     },
     LinkRule::kRefuse, ReadFault::kTooLarge, "",
     "it is 3 GiB, more than the 16 bytes"},
    {"Folder",
     [](const fs::path& p, const fs::path&) { fs::create_directory(p); },
     LinkRule::kRefuse, ReadFault::kFolder, "", "it is a folder"},
#ifndef _WIN32
    {"Pipe",
     [](const fs::path& p, const fs::path&) { ASSERT_TRUE(test::MakeFifo(p)); },
     LinkRule::kFollow, ReadFault::kNotPlain, "",
     "it is not a plain file (a pipe or a device)"},
    {"Device",
     [](const fs::path& p, const fs::path&) {
       fs::create_symlink("/dev/zero", p);
     },
     LinkRule::kFollow, ReadFault::kNotPlain, "", "not a plain file"},
    // A station's own file: a link planted there is refused, wherever it
    // leads, even nowhere.
    {"StationFileLinked",
     [](const fs::path& p, const fs::path& elsewhere) {
       WriteBytes(elsewhere / "other", "another station's");
       fs::create_symlink(elsewhere / "other", p);
     },
     LinkRule::kRefuse, ReadFault::kLink, "", "it is a symbolic link"},
    {"StationFileLinkedNowhere",
     [](const fs::path& p, const fs::path& elsewhere) {
       fs::create_symlink(elsewhere / "nothing", p);
     },
     LinkRule::kRefuse, ReadFault::kLink, "", "it is a symbolic link"},
    // A file the operator chose is read where its link leads, by the same
    // rules.
    {"ChosenFileLinked",
     [](const fs::path& p, const fs::path& elsewhere) {
       WriteBytes(elsewhere / "image", "chosen");
       fs::create_symlink(elsewhere / "image", p);
     },
     LinkRule::kFollow, ReadFault::kNone, "chosen", ""},
    {"ChosenFileLinkedToAGiant",
     [](const fs::path& p, const fs::path& elsewhere) {
       Sized(elsewhere / "image", 1000);
       fs::create_symlink(elsewhere / "image", p);
     },
     LinkRule::kFollow, ReadFault::kTooLarge, "", "it is 1000 bytes"},
#endif
};

// Runs `action`; on POSIX beside a watchdog that opens a pipe's other end
// should the action block on it. True when it had to.
template <typename Action>
bool Blocked(const fs::path& path, Action&& action) {
#ifdef _WIN32
  (void)path;
  action();
  return false;
#else
  return test::BlockedOnPipe(path, action);
#endif
}

class ReadsAPlainFile : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ReadsAPlainFile, WholeAndUpToItsCapOrSaysWhyNot) {
  const ReadRow& row = GetParam();
  TempFolder folder;
  TempFolder elsewhere;
  const fs::path path = folder / "EEPROM.dat";
  row.make(path, elsewhere.path());
  const auto before = fs::symlink_status(path).type();

  FileRead read;
  EXPECT_FALSE(
      Blocked(path, [&] { read = ReadPlainFile(path, kCap, row.links); }));
  EXPECT_EQ(read.fault, row.fault) << ReadFaultText(read);
  EXPECT_EQ(read.bytes, row.bytes);
  if (row.fault == ReadFault::kNone) {
    EXPECT_EQ(ReadFaultText(read), "");
  } else {
    EXPECT_THAT(ReadFaultText(read), HasSubstr(row.said));
  }
  EXPECT_EQ(fs::symlink_status(path).type(), before);
}

INSTANTIATE_TEST_SUITE_P(Files, ReadsAPlainFile, ::testing::ValuesIn(kReadRows),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(ReadsAPlainFile, ReadsAGiantFileNotAtAllNotEvenItsFirstBytes) {
  TempFolder folder;
  const fs::path path = folder / "Serial-MAC.log";
  // Sixteen gibibytes, on no disk at all (wine's files stop short of 2^38).
  Sized(path, std::uintmax_t{16} << 30);
  const auto start = std::chrono::steady_clock::now();
  const FileRead read = ReadPlainFile(path, kLogReadCap, LinkRule::kRefuse);
  EXPECT_EQ(read.fault, ReadFault::kTooLarge);
  EXPECT_EQ(read.size, std::uintmax_t{16} << 30);
  EXPECT_EQ(ReadFaultText(read),
            "it is 16 GiB, more than the 256 MiB such a file may hold");
  // Reading even its first mebibytes would take longer on a loaded machine.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// --- Appending to a log: never through a link, never waiting on a pipe. ---

struct AppendRow {
  const char* name;
  std::function<void(const fs::path& log, const fs::path& victim)> make;
  std::string said;
};

void PrintTo(const AppendRow& row, std::ostream* out) { *out << row.name; }

const AppendRow kAppendRows[] = {
    {"Folder",
     [](const fs::path& log, const fs::path&) { fs::create_directory(log); },
     "it is a folder"},
#ifndef _WIN32
    {"LinkToAFile",
     [](const fs::path& log, const fs::path& victim) {
       fs::create_symlink(victim, log);
     },
     "it is a symbolic link, and the tool never writes through one"},
    {"LinkToNothingYet",
     [](const fs::path& log, const fs::path& victim) {
       fs::create_symlink(victim.parent_path() / "new", log);
     },
     "it is a symbolic link"},
    {"Pipe",
     [](const fs::path& log, const fs::path&) {
       ASSERT_TRUE(test::MakeFifo(log));
     },
     "it is not a plain file (a pipe or a device)"},
#endif
};

class RefusesToAppend : public ::testing::TestWithParam<AppendRow> {};

TEST_P(RefusesToAppend, NamingTheLogItsFolderAndWhyAndTouchingNothing) {
  TempFolder folder;
  TempFolder elsewhere;
  const fs::path log = folder / "Serial-MAC.log";
  const fs::path victim = elsewhere / "victim";
  WriteBytes(victim, "another file");
  GetParam().make(log, victim);
  const auto names = elsewhere.Names();

  std::string why;
  bool appended = true;
  EXPECT_FALSE(
      Blocked(log, [&] { appended = AppendToFile(log, "a unit\r\n", &why); }));
  EXPECT_FALSE(appended);
  EXPECT_THAT(why, HasSubstr("Serial-MAC.log could not be written in " +
                             QuotedPath(folder.path()) + ": "));
  EXPECT_THAT(why, HasSubstr(GetParam().said));
  EXPECT_EQ(ReadBytes(victim), "another file");
  EXPECT_EQ(elsewhere.Names(), names);
}

INSTANTIATE_TEST_SUITE_P(Logs, RefusesToAppend,
                         ::testing::ValuesIn(kAppendRows),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

// --- The station's names. ---

TEST(StationFileNames, NameEveryFileOfAStationLetterCaseIgnored) {
  const std::vector<std::string>& names = StationFileNames();
  for (const char* name :
       {"EEPROM.dat", "SROM.dat", "EFUSE.dat", "SROM.bin", "Serial-MAC.log",
        "RetryLog.txt", "production-ledger.sqlite",
        "production-ledger.sqlite-wal", "production-ledger.sqlite-shm",
        "production-ledger.sqlite-journal", "station.ini", "station.lock",
        "ledger-outbox.txt", "simulated-adapter.txt",
        "simulated-adapter-setup.txt", "simulated-adapter-6.txt",
        "simulated-adapter-6-setup.txt", "simulated-bench.txt",
        "simulated-bench.lock"}) {
    EXPECT_THAT(names, ::testing::Contains(name));
    EXPECT_TRUE(IsStationFileName(name)) << name;
  }
  EXPECT_TRUE(IsStationFileName("eeprom.dat"));
  EXPECT_TRUE(IsStationFileName("SERIAL-MAC.LOG"));
  for (const char* other :
       {"", "units.csv", "EEPROM.dat.bak", "SROM.dat ",
        "simulated-adapter-7.txt", "production-ledger", "image.dat"}) {
    EXPECT_FALSE(IsStationFileName(other)) << other;
  }
}

}  // namespace
}  // namespace srom
