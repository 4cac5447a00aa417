// One station folder serves one program at a time; the lock is shown between
// real processes, and it is free again however its holder ends.
#include "ports/station_lock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "ports_test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace srom {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;
using test::ReadBytes;
using test::TempFolder;
using test::Utf8;
using test::WriteBytes;
using ::testing::HasSubstr;

constexpr int kRefused = 3;
constexpr char kInUse[] = "\" is in use by another srom-tool or srom-cli";
constexpr char kCloseItFirst[] =
    ". Close it first; one station folder serves one program at a time.";

// Starts a helper that locks `folder` and keeps it until its input closes.
ChildProcess StartHolder(const fs::path& folder) {
  ChildProcess holder =
      ChildProcess::StartHelper({"lock", Utf8(folder), "hold"});
  EXPECT_EQ(holder.ReadLine(), "locked");
  return holder;
}

// What a second program that tries to lock `folder` and exits prints.
std::string TryLockInAnotherProcess(const fs::path& folder, int* exit_code) {
  ChildProcess other = ChildProcess::StartHelper({"lock", Utf8(folder)});
  const std::string line = other.ReadLine();
  *exit_code = other.Wait();
  return line;
}

// Every table row prints as its name in test output.
template <typename Row>
requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

// How the second program names the same station folder.
struct Spelling {
  const char* name;
  fs::path (*spell)(const fs::path& folder);
};

const Spelling kSpellings[] = {
    {"SamePath", [](const fs::path& folder) { return folder; }},
    {"WithDot", [](const fs::path& folder) { return folder / "."; }},
#ifndef _WIN32
    {"ThroughALink",
     [](const fs::path& folder) {
       const fs::path link =
           folder.parent_path() / (folder.filename().string() + "-link");
       fs::create_symlink(folder, link);
       return link;
     }},
#endif
};

class SecondProgram : public ::testing::TestWithParam<Spelling> {
 protected:
  void TearDown() override {
    std::error_code ignored;
    fs::remove(folder_.path().parent_path() /
                   (folder_.path().filename().string() + "-link"),
               ignored);
  }
  TempFolder folder_;
};

TEST_P(SecondProgram, IsRefusedWithTheFolderAndTheHolderNamed) {
  ChildProcess holder = StartHolder(folder_.path());
  const fs::path spelled = GetParam().spell(folder_.path());

  int exit_code = 0;
  const std::string line = TryLockInAnotherProcess(spelled, &exit_code);
  EXPECT_EQ(exit_code, kRefused) << line;
  EXPECT_THAT(line,
              ::testing::StartsWith("The station folder \"" + Utf8(spelled) +
                                    kInUse + " (process " +
                                    std::to_string(holder.pid()) + ", since "));
  EXPECT_THAT(line, ::testing::EndsWith(kCloseItFirst));

  holder.CloseInput();
  EXPECT_EQ(holder.Wait(), 0);
  EXPECT_EQ(TryLockInAnotherProcess(spelled, &exit_code), "locked");
}

INSTANTIATE_TEST_SUITE_P(Spellings, SecondProgram,
                         ::testing::ValuesIn(kSpellings), [](const auto& info) {
                           return std::string(info.param.name);
                         });

enum class Ending { kExits, kIsKilled };

class LockAfterTheHolder : public ::testing::TestWithParam<Ending> {};

TEST_P(LockAfterTheHolder, EndsIsFreeForTheNextProgram) {
  TempFolder folder;
  ChildProcess holder = StartHolder(folder.path());
  if (GetParam() == Ending::kExits) {
    holder.CloseInput();
    EXPECT_EQ(holder.Wait(), 0);
  } else {
    holder.Kill();
    holder.Wait();
  }
  int exit_code = 0;
  std::string line = TryLockInAnotherProcess(folder.path(), &exit_code);
#ifdef _WIN32
  // Windows releases a killed process's locks once it has cleaned up after
  // it, which may come a moment after the process is reported ended.
  for (int tries = 0; line != "locked" && tries < 100; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    line = TryLockInAnotherProcess(folder.path(), &exit_code);
  }
#endif
  EXPECT_EQ(line, "locked");
  EXPECT_EQ(exit_code, 0);
  // The file stays: removing it would let two programs lock two files.
  EXPECT_TRUE(fs::is_regular_file(folder / kStationLockFile));
}

INSTANTIATE_TEST_SUITE_P(Endings, LockAfterTheHolder,
                         ::testing::Values(Ending::kExits, Ending::kIsKilled),
                         [](const auto& info) {
                           return info.param == Ending::kExits ? "Exits"
                                                               : "IsKilled";
                         });

TEST(StationLockInOneProcess, IsExclusiveAndMovesWithItsObject) {
  TempFolder folder;
  std::string error;
  std::optional<StationLock> first =
      StationLock::Acquire(folder.path(), &error);
  ASSERT_TRUE(first.has_value()) << error;
  EXPECT_EQ(first->folder(), folder.path());

  EXPECT_FALSE(StationLock::Acquire(folder.path(), &error).has_value());
  EXPECT_THAT(error, HasSubstr(kInUse));

  // The lock goes with a move; the emptied object releases nothing.
  {
    StationLock moved = std::move(*first);
    first.reset();
    EXPECT_FALSE(StationLock::Acquire(folder.path(), &error).has_value());
    int exit_code = 0;
    EXPECT_THAT(TryLockInAnotherProcess(folder.path(), &exit_code),
                HasSubstr(kInUse));
  }
  EXPECT_TRUE(StationLock::Acquire(folder.path(), &error).has_value()) << error;
}

// A second lock file of the folder is a lock of its own: held beside the
// station's lock, and exclusive among those who take it.
TEST(StationLockInOneProcess, AnotherLockFileIsIndependentOfTheStations) {
  TempFolder folder;
  std::string error;
  const auto station = StationLock::Acquire(folder.path(), &error);
  ASSERT_TRUE(station.has_value()) << error;
  bool held_elsewhere = false;
  auto bench = StationLock::AcquireFile(folder.path(), "bench.lock", &error,
                                        &held_elsewhere);
  ASSERT_TRUE(bench.has_value()) << error;
  EXPECT_FALSE(StationLock::AcquireFile(folder.path(), "bench.lock", &error,
                                        &held_elsewhere)
                   .has_value());
  EXPECT_TRUE(held_elsewhere);
  EXPECT_THAT(error, HasSubstr(kInUse));
  bench.reset();
  EXPECT_TRUE(
      StationLock::AcquireFile(folder.path(), "bench.lock", &error).has_value())
      << error;
  EXPECT_FALSE(StationLock::Acquire(folder.path(), &error).has_value());
}

TEST(StationLockHolderText, FromAnEarlierHolderOrEditedByHandIsNotTrusted) {
  TempFolder folder;
  ChildProcess holder = StartHolder(folder.path());
  // What a refused program reads is only named when it is a running
  // process's own text.
  std::string error;
  for (const std::string& text :
       {std::string(""), std::string("garbage"),
        std::string("999999999 2024-01-01 00:00:00\n")}) {
    WriteBytes(folder / kStationLockFile, text);
    EXPECT_FALSE(StationLock::Acquire(folder.path(), &error).has_value());
    EXPECT_EQ(error, "The station folder \"" + Utf8(folder.path()) + kInUse +
                         kCloseItFirst)
        << "lock file holding \"" << text << "\"";
  }
}

struct Unusable {
  const char* name;
  // Prepares a station folder in `base`, with `keep` holding what must live
  // as long as the test; returns it, or nothing when this system cannot
  // make it (the test is then skipped).
  std::optional<fs::path> (*prepare)(const fs::path& base,
                                     std::shared_ptr<void>* keep);
  const char* message_end;
};

const Unusable kUnusable[] = {
    {"Missing",
     [](const fs::path& base, std::shared_ptr<void>*)
         -> std::optional<fs::path> { return base / "gone"; },
     "\" does not exist. Create it, or choose the folder of an existing "
     "station."},
    {"AFile",
     [](const fs::path& base,
        std::shared_ptr<void>*) -> std::optional<fs::path> {
       WriteBytes(base / "file", "x");
       return base / "file";
     },
     "\" is not a folder. Choose a folder for the station."},
    {"LockFileIsAFolder",
     [](const fs::path& base,
        std::shared_ptr<void>*) -> std::optional<fs::path> {
       fs::create_directory(base / kStationLockFile);
       return base;
     },
     "\" cannot be used: its \"station.lock\" is a folder. Remove it; the "
     "lock file must be a plain file."},
#ifndef _WIN32
    // The holder's text written through the link would overwrite its target.
    {"LockFileIsALink",
     [](const fs::path& base,
        std::shared_ptr<void>*) -> std::optional<fs::path> {
       WriteBytes(base / "EEPROM.dat", "settings");
       fs::create_symlink("EEPROM.dat", base / kStationLockFile);
       return base;
     },
     "\" cannot be used: its \"station.lock\" is a symbolic link. Remove the "
     "link; the lock file must be a plain file."},
    {"LockFileIsAPipe",
     [](const fs::path& base,
        std::shared_ptr<void>*) -> std::optional<fs::path> {
       mkfifo((base / kStationLockFile).c_str(), 0644);
       return base;
     },
     "\" cannot be used: its \"station.lock\" is not a plain file. Remove "
     "it; the lock file must be a plain file."},
    {"ReadOnly",
     [](const fs::path&,
        std::shared_ptr<void>* keep) -> std::optional<fs::path> {
       auto disk = std::make_shared<test::MountedFolder>("size=16k",
                                                         /*read_only=*/true);
       *keep = disk;
       if (!disk->mounted()) return std::nullopt;
       return disk->path();
     },
     "\" is read-only. Every unit's MAC address is saved there, so the "
     "station needs a folder it can write to."},
#endif
};

class UnusableStationFolder : public ::testing::TestWithParam<Unusable> {};

TEST_P(UnusableStationFolder, IsRefusedWithItsOwnMessageAndNothingChanges) {
  TempFolder base;
  std::shared_ptr<void> keep;
  const std::optional<fs::path> folder = GetParam().prepare(base.path(), &keep);
  if (!folder) GTEST_SKIP() << "this system cannot make such a folder";
  const auto before = test::EntriesOf(base.path());

  std::string error;
  EXPECT_FALSE(StationLock::Acquire(*folder, &error).has_value());
  EXPECT_EQ(error,
            "The station folder \"" + Utf8(*folder) + GetParam().message_end);
  EXPECT_EQ(test::EntriesOf(base.path()), before);
  if (fs::exists(base / "EEPROM.dat")) {
    EXPECT_EQ(ReadBytes(base / "EEPROM.dat"), "settings");
  }
}

INSTANTIATE_TEST_SUITE_P(Folders, UnusableStationFolder,
                         ::testing::ValuesIn(kUnusable), [](const auto& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace srom
