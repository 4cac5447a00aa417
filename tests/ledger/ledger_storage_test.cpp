// A ledger file that cannot be trusted or written is refused with its name
// and the cause, and nothing in it is lost: a foreign or corrupt file is
// never written to, a full disk or a lock costs only the call that met it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ledger/sqlite_ledger.h"
#include "ledger_test_support.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace srom {
namespace {

namespace fs = std::filesystem;
using test::DraftOf;
using test::kTime;
using test::OpenLedger;
using test::RawDatabase;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

// A ledger with `units` programmed units, closed again.
void WriteLedger(const fs::path& file, int units) {
  auto ledger = OpenLedger(file);
  ASSERT_NE(ledger, nullptr);
  for (int n = 1; n <= units; ++n) {
    const auto id = ledger->Reserve(DraftOf(n));
    ASSERT_TRUE(id.ok()) << id.error;
    ASSERT_TRUE(ledger->MarkProgrammed(*id.value, kTime).ok());
  }
}

void ExpectNamedCause(const std::string& error, const fs::path& file,
                      const std::string& cause) {
  EXPECT_EQ(
      error.rfind("The production ledger " + file.string() + " cannot be ", 0),
      0u)
      << error;
  EXPECT_NE(error.find(cause), std::string::npos) << error;
}

struct Unusable {
  const char* name;
  void (*make)(const fs::path& file);
  const char* cause;
};

const Unusable kUnusableFiles[] = {
    {"TextFile",
     [](const fs::path& file) {
       std::string text;
       for (int i = 0; i < 200; ++i)
         text += "\"000000000001\"  // Current MAC\r\n";
       WriteBytes(file, text);
     },
     "not a database at all"},
    {"AnotherProgramsDatabase",
     [](const fs::path& file) {
       RawDatabase db(file);
       ASSERT_EQ(db.Exec("CREATE TABLE unit (id INTEGER, note TEXT);"
                         "INSERT INTO unit VALUES (1, 'theirs');"),
                 SQLITE_OK);
     },
     "another program's database"},
    {"AnotherProgramsEmptyDatabase",
     [](const fs::path& file) {
       RawDatabase db(file);
       ASSERT_EQ(
           db.Exec("PRAGMA application_id = 42; PRAGMA user_version = 3;"),
           SQLITE_OK);
     },
     "another program's database"},
    {"LedgerOfANewerTool",
     [](const fs::path& file) {
       WriteLedger(file, 2);
       RawDatabase db(file);
       ASSERT_EQ(db.Exec("PRAGMA user_version = 99;"), SQLITE_OK);
     },
     "newer version of srom-tool (ledger schema 99"},
    {"LedgerWithGarbledPages",
     [](const fs::path& file) {
       WriteLedger(file, 300);
       std::string bytes = ReadBytes(file);
       ASSERT_GT(bytes.size(), 8192u);
       // Pages two and three (page size 4096) overwritten.
       for (std::size_t i = 4096; i < 3 * 4096; ++i) {
         bytes[i] = static_cast<char>(i * 7);
       }
       WriteBytes(file, bytes);
     },
     "the database is corrupt"},
    {"LedgerCutShort",
     [](const fs::path& file) {
       WriteLedger(file, 300);
       const std::string bytes = ReadBytes(file);
       WriteBytes(file, bytes.substr(0, bytes.size() / 2));
     },
     "the database is corrupt"},
};

class UnusableFile : public ::testing::TestWithParam<Unusable> {};

TEST_P(UnusableFile, IsRefusedAndLeftByteForByte) {
  TempFolder folder;
  GetParam().make(LedgerFileIn(folder));
  const std::string bytes = ReadBytes(LedgerFileIn(folder));
  const auto names = folder.Names();

  const auto opened = SqliteLedger::Open(LedgerFileIn(folder));
  EXPECT_FALSE(opened.ok());
  EXPECT_EQ(opened.fault, LedgerFault::kStorage);
  ExpectNamedCause(opened.error, LedgerFileIn(folder), GetParam().cause);
  EXPECT_EQ(ReadBytes(LedgerFileIn(folder)), bytes);
  EXPECT_EQ(folder.Names(), names);
  EXPECT_EQ(opened.error.find('\n'), std::string::npos) << opened.error;

  // The next start meets the same file, and refuses it the same way.
  const auto again = SqliteLedger::Open(LedgerFileIn(folder));
  EXPECT_EQ(again.error, opened.error);
  EXPECT_EQ(ReadBytes(LedgerFileIn(folder)), bytes);
}

INSTANTIATE_TEST_SUITE_P(Files, UnusableFile,
                         ::testing::ValuesIn(kUnusableFiles),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(LedgerFile, AnEmptyFileBecomesANewLedger) {
  // What a crash between creating the file and writing its first page
  // leaves: nothing to lose, so the ledger starts in it.
  TempFolder folder;
  WriteBytes(LedgerFileIn(folder), "");
  auto ledger = OpenLedger(LedgerFileIn(folder));
  ASSERT_NE(ledger, nullptr);
  EXPECT_TRUE(ledger->Reserve(DraftOf(1)).ok());
}

TEST(LedgerFile, TwoLedgersOpenedOnOneNewFileShareIt) {
  TempFolder folder;
  auto first = OpenLedger(LedgerFileIn(folder));
  auto second = OpenLedger(LedgerFileIn(folder));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_TRUE(first->Reserve(DraftOf(1)).ok());
  EXPECT_EQ(second->Reserve(DraftOf(1)).fault, LedgerFault::kMacInUse);
}

TEST(LedgerFile, AFolderThatDoesNotExistIsNamedAsTheCause) {
  TempFolder folder;
  const fs::path file = folder / "no such folder" / "production-ledger.sqlite";
  const auto opened = SqliteLedger::Open(file);
  EXPECT_EQ(opened.fault, LedgerFault::kStorage);
  ExpectNamedCause(opened.error, file, "its folder does not exist");
  EXPECT_FALSE(fs::exists(folder / "no such folder"));
}

TEST(LedgerFile, ALockHeldTooLongCostsOnlyTheCallThatMetIt) {
  TempFolder folder;
  auto ledger =
      SqliteLedger::Open(LedgerFileIn(folder), std::chrono::milliseconds(100));
  ASSERT_TRUE(ledger.ok()) << ledger.error;
  SqliteLedger& l = **ledger.value;
  const auto first = l.Reserve(DraftOf(1));
  ASSERT_TRUE(first.ok()) << first.error;

  RawDatabase other(LedgerFileIn(folder));
  ASSERT_EQ(other.Exec("BEGIN IMMEDIATE"), SQLITE_OK);
  const auto locked = l.Reserve(DraftOf(2));
  EXPECT_EQ(locked.fault, LedgerFault::kStorage);
  ExpectNamedCause(locked.error, LedgerFileIn(folder), "locked");
  EXPECT_EQ(l.MarkProgrammed(*first.value, kTime).fault, LedgerFault::kStorage);
  // Reading goes on beside a writer.
  const auto units = l.Units();
  ASSERT_TRUE(units.ok()) << units.error;
  EXPECT_EQ(units.value->size(), 1u);
  ASSERT_EQ(other.Exec("COMMIT"), SQLITE_OK);

  EXPECT_TRUE(l.Reserve(DraftOf(2)).ok());
  EXPECT_TRUE(l.MarkProgrammed(*first.value, kTime).ok());
}

// POSIX only, not in the Windows build: a file size limit (setrlimit) stands
// in for a disk that refuses a write, and a child process that becomes an
// ordinary user (fork, setuid) makes file modes count; wine, which runs as
// whoever starts it and maps modes to a read-only attribute, has neither.
#ifndef _WIN32
// Lets this process write no file beyond `limit` bytes until the object
// goes: the write across the limit fails with EFBIG, which SQLite reports as
// an I/O error. (A truly full disk is in the process tests.)
class NoRoomLeft {
 public:
  explicit NoRoomLeft(std::uintmax_t limit) {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit small = saved_;
    small.rlim_cur = static_cast<rlim_t>(limit);
    setrlimit(RLIMIT_FSIZE, &small);
  }
  ~NoRoomLeft() { setrlimit(RLIMIT_FSIZE, &saved_); }

 private:
  rlimit saved_{};
};

TEST(LedgerFile, AWriteTheDiskRefusesCostsOnlyTheCallThatMetIt) {
  TempFolder folder;
  auto ledger = OpenLedger(LedgerFileIn(folder));
  ASSERT_NE(ledger, nullptr);
  for (int n = 1; n <= 3; ++n) {
    const auto id = ledger->Reserve(DraftOf(n));
    ASSERT_TRUE(id.ok()) << id.error;
    ASSERT_TRUE(ledger->MarkProgrammed(*id.value, kTime).ok());
  }
  const auto open_unit = ledger->Reserve(DraftOf(4));
  ASSERT_TRUE(open_unit.ok());
  const auto before = ledger->Units();
  ASSERT_TRUE(before.ok());

  LedgerResult<std::int64_t> reserved;
  LedgerStatus programmed;
  {
    // The write-ahead log takes every commit: let it grow by less than one.
    fs::path log = LedgerFileIn(folder);
    log += "-wal";
    NoRoomLeft full(fs::file_size(log) + 100);
    reserved = ledger->Reserve(DraftOf(5));
    programmed = ledger->MarkProgrammed(*open_unit.value, kTime);
  }
  EXPECT_EQ(reserved.fault, LedgerFault::kStorage);
  ExpectNamedCause(reserved.error, LedgerFileIn(folder),
                   "a disk read or write failed");
  EXPECT_EQ(programmed.fault, LedgerFault::kStorage);
  ExpectNamedCause(programmed.error, LedgerFileIn(folder),
                   "a disk read or write failed");
  EXPECT_EQ(ledger->Units().value, before.value);

  // With room again the same ledger goes on, and a fresh start sees it all.
  ASSERT_TRUE(ledger->MarkProgrammed(*open_unit.value, kTime).ok());
  ASSERT_TRUE(ledger->Reserve(DraftOf(5)).ok());
  ledger.reset();
  ledger = OpenLedger(LedgerFileIn(folder));
  const auto after = ledger->Units();
  ASSERT_TRUE(after.ok()) << after.error;
  ASSERT_EQ(after.value->size(), 5u);
  EXPECT_EQ((*after.value)[3].state, UnitState::kProgrammed);
  EXPECT_EQ((*after.value)[4].mac, DraftOf(5).mac);
}

TEST(LedgerFile, ALedgerNotCreatedForAWriteErrorIsCreatedOnTheNextStart) {
  TempFolder folder;
  LedgerResult<std::unique_ptr<SqliteLedger>> opened;
  {
    NoRoomLeft full(100);
    opened = SqliteLedger::Open(LedgerFileIn(folder));
  }
  EXPECT_EQ(opened.fault, LedgerFault::kStorage);
  ExpectNamedCause(opened.error, LedgerFileIn(folder),
                   "a disk read or write failed");
  auto ledger = OpenLedger(LedgerFileIn(folder));
  ASSERT_NE(ledger, nullptr);
  EXPECT_TRUE(ledger->Reserve(DraftOf(1)).ok());
}

// Folder and file modes for a station whose ledger may not be written.
struct ReadOnly {
  const char* name;
  bool ledger_exists;
  fs::perms folder_mode;
  fs::perms file_mode;
  const char* cause;
};

constexpr fs::perms kReadable =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms kWritable =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
constexpr fs::perms kEnterable =
    fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;

const ReadOnly kReadOnly[] = {
    {"File", true, kReadable | kWritable | kEnterable, kReadable,
     "the file is read-only"},
    {"FolderOfALedger", true, kReadable | kEnterable, kReadable | kWritable,
     "read-only"},
    {"FolderWithoutALedger", false, kReadable | kEnterable, kReadable,
     "read-only"},
};

class ReadOnlyStation : public ::testing::TestWithParam<ReadOnly> {};

// Opens `file` in a child process that, when the tests run as root, first
// becomes an ordinary user, for whom file modes count. The error text, or
// empty when the ledger opened.
std::string OpenErrorAsOrdinaryUser(const fs::path& file) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_ends[0]);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    const auto opened = SqliteLedger::Open(file);
    const std::string text = opened.ok() ? "" : opened.error;
    const ssize_t written = write(pipe_ends[1], text.data(), text.size());
    _exit(written == static_cast<ssize_t>(text.size()) ? 0 : 4);
  }
  close(pipe_ends[1]);
  std::string text;
  char buffer[512];
  ssize_t got = 0;
  while ((got = read(pipe_ends[0], buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  return text;
}

TEST_P(ReadOnlyStation, RefusesToOpenTheLedgerAndSaysWhy) {
  TempFolder folder;
  if (GetParam().ledger_exists) WriteLedger(LedgerFileIn(folder), 2);
  const std::string bytes = ReadBytes(LedgerFileIn(folder));
  if (GetParam().ledger_exists) {
    fs::permissions(LedgerFileIn(folder), GetParam().file_mode);
  }
  fs::permissions(folder.path(), GetParam().folder_mode);

  const std::string error = OpenErrorAsOrdinaryUser(LedgerFileIn(folder));
  fs::permissions(folder.path(), fs::perms::owner_all, fs::perm_options::add);
  ExpectNamedCause(error, LedgerFileIn(folder), GetParam().cause);
  EXPECT_EQ(fs::exists(LedgerFileIn(folder)), GetParam().ledger_exists);
  EXPECT_EQ(ReadBytes(LedgerFileIn(folder)), bytes);
}

INSTANTIATE_TEST_SUITE_P(Stations, ReadOnlyStation,
                         ::testing::ValuesIn(kReadOnly), [](const auto& info) {
                           return std::string(info.param.name);
                         });
#endif

}  // namespace
}  // namespace srom
