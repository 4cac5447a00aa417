// A save that fails at any point keeps the old file byte for byte: the new
// bytes go to a temporary file that only replaces the old one once complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "files/eeprom_dat.h"
#include "files/file_io.h"
#include "files/image_files.h"
#include "files/logs.h"
#include "files_test_support.h"
#include "model/efuse_image.h"
#include "ports/clock.h"
#include "ports/reporter.h"
#include "ports/system_error_text.h"
#include "support/fake_clock.h"
#include "support/recording_reporter.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>

#include <csignal>
#endif

namespace srom {
namespace {

namespace fs = std::filesystem;
using test::Golden;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

ImageBuffer BufferWith(const std::string& raw) {
  ImageBuffer buffer = BlankBuffer();
  std::copy(raw.begin(), raw.end(), ImageArea(buffer).begin());
  return buffer;
}

struct Writer {
  const char* name;
  const char* file;
  std::string (*old_bytes)();
  std::string (*new_bytes)();
  const char* message;
  bool (*write)(const FileFolders&, Reporter&);
};

const Writer kWriters[] = {
    {"EepromDat", "EEPROM.dat", [] { return Golden("EEPROM_sel0.dat"); },
     [] { return Golden("EEPROM_sel2.dat"); },
     "Failed to open file EEPROM.dat! \r\n",
     [](const FileFolders& folders, Reporter& reporter) {
       SromSettings settings;
       settings.SromSize = 1;
       settings.CurrentMac = "001122334455";
       settings.MaximumMac = "0011223344FF";
       settings.MacIncrement = 2;
       settings.CurrentSerial = "00001122334455";
       settings.MaximumSerial = "000011223344FF";
       settings.SerialIncrement = 2;
       settings.SuperBusPower = "896";
       settings.SuperSelfPower = "16";
       settings.BarCode = true;
       settings.LedSetting = {1, 14, 16};
       settings.LedUsb3 = {false, true, false};
       settings.SwField = "12AB";
       settings.BasedOnMac = settings.AutoProgram = settings.DeviceSelLock =
           true;
       settings.DelayTime = 5;
       LastAccepted accepted;
       return SaveEepromDat(folders, settings, accepted, reporter);
     }},
    {"SromDat", "SROM.dat", [] { return Golden("SROM_512.dat"); },
     [] { return Golden("SROM_256.dat"); }, "Can't write SROM file\n",
     [](const FileFolders& folders, Reporter& reporter) {
       return SaveSromDat(folders, BufferWith(Golden("SROM_256.bin")), 0,
                          "listing", reporter);
     }},
    {"EfuseDat", "EFUSE.dat",
     [] { return std::string("an earlier eFuse image"); },
     [] { return Golden("EFUSE.dat"); }, "Can't write EFUSE file\n",
     [](const FileFolders& folders, Reporter& reporter) {
       ImageBuffer prev = BlankBuffer();
       ResetEfuseImageArea(prev, kChipAEfuse);
       LastAccepted accepted;
       return SaveEfuseDat(folders, prev, "listing", "000000000001", accepted,
                           reporter);
     }},
    {"SromBin", "SROM.bin", [] { return Golden("SROM_512.bin"); },
     [] { return Golden("SROM_256.bin"); }, "Can't write BIN file\n",
     [](const FileFolders& folders, Reporter& reporter) {
       return ConvertToBin(folders, folders.working_folder / "chosen.txt", 0,
                           reporter);
     }},
};

class ReplacedFile : public ::testing::TestWithParam<Writer> {
 protected:
  void SetUp() override {
    WriteBytes(folder_ / "chosen.txt", Golden("SROM_256.dat"));
    WriteBytes(target(), GetParam().old_bytes());
  }
  fs::path target() const { return folder_ / GetParam().file; }
  bool Write() { return GetParam().write(folders_, reporter_); }
  // The tool's own message for the file, then ours with the cause.
  std::vector<std::string> Messages(const std::string& cause) const {
    return {GetParam().message,
            std::string(GetParam().file) + " could not be saved in " +
                QuotedPath(folder_.path()) + ": " + cause + "."};
  }
  void ExpectOldFileKept(const std::string& cause) {
    EXPECT_EQ(reporter_.messages(), Messages(cause));
    EXPECT_EQ(ReadBytes(target()), GetParam().old_bytes());
  }

  TempFolder folder_;
  FileFolders folders_{folder_.path(), folder_.path()};
  RecordingReporter reporter_;
};

TEST_P(ReplacedFile, IsReplacedWholeAndLeavesNoTemporaryFile) {
  EXPECT_TRUE(Write());
  EXPECT_EQ(ReadBytes(target()), GetParam().new_bytes());
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder_.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> expected = {"chosen.txt", GetParam().file};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
}

// A folder left where a fixed temporary name would go once blocked every save
// for good: the temporary names are unique now.
TEST_P(ReplacedFile, AStaleFolderUnderAnOldTemporaryNameDoesNotBlockTheSave) {
  fs::path temp = target();
  temp += ".tmp";
  fs::create_directory(temp);
  WriteBytes(temp / "in the way", "x");
  EXPECT_TRUE(Write());
  EXPECT_EQ(ReadBytes(target()), GetParam().new_bytes());
  EXPECT_EQ(ReadBytes(temp / "in the way"), "x");
}

TEST_P(ReplacedFile, KeepsTheOldFileWhenTheDiskFillsUpMidway) {
#ifdef _WIN32
  GTEST_SKIP() << "a file size limit needs POSIX resource limits";
#else
  // The process may write at most 100 bytes into any file: the new bytes
  // stop short just as on a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = Write();
  setrlimit(RLIMIT_FSIZE, &saved);

  EXPECT_FALSE(written);
  ExpectOldFileKept("the file would grow beyond the size the system allows");
  fs::path temp = target();
  temp += ".tmp";
  EXPECT_FALSE(fs::exists(temp));
#endif
}

// The save names the real cause, here a folder standing under the file's
// name, which it leaves alone.
TEST_P(ReplacedFile, AFolderUnderTheFilesNameIsNamedAsTheCause) {
  fs::remove(target());
  fs::create_directory(target());
  WriteBytes(target() / "kept", "x");
  EXPECT_FALSE(Write());
  EXPECT_EQ(reporter_.messages(), Messages("it is a folder"));
  EXPECT_EQ(ReadBytes(target() / "kept"), "x");
}

#ifdef _WIN32
TEST_P(ReplacedFile, KeepsTheOldFileWhileAnotherProgramHoldsItOpen) {
  // Another program (an editor, a virus scanner) holding the file without
  // delete sharing makes the rename fail.
  const HANDLE held = CreateFileW(
      target().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const bool written = Write();
  CloseHandle(held);
  EXPECT_FALSE(written);
  ASSERT_EQ(reporter_.messages().size(), 2u);
  EXPECT_EQ(reporter_.messages()[0], GetParam().message);
  EXPECT_EQ(reporter_.messages()[1].rfind(
                std::string(GetParam().file) + " could not be saved in ", 0),
            0u);
  EXPECT_EQ(ReadBytes(target()), GetParam().old_bytes());
}
#endif

INSTANTIATE_TEST_SUITE_P(EveryReplacedFile, ReplacedFile,
                         ::testing::ValuesIn(kWriters), [](const auto& info) {
                           return std::string(info.param.name);
                         });

#ifndef _WIN32
// The two logs: a unit's line, an eFuse retry's block.
struct Appender {
  const char* name;
  const char* file;
  const char* message;
  bool (*append)(const FileFolders&, const Clock&, Reporter&);
  // What one append adds to an existing log, and what a new log holds.
  std::string (*entry)(const LocalTime&);
  std::string (*new_log)(const LocalTime&);
};

const Appender kAppenders[] = {
    {"SerialMacLog", "Serial-MAC.log", "Write 'Serial-MAC.log' file failed.",
     [](const FileFolders& folders, const Clock& clock, Reporter& reporter) {
       return AppendSerialMacLog(folders, SromSettings{}, clock, reporter);
     },
     [](const LocalTime& t) { return SerialMacLogLine(SromSettings{}, t); },
     [](const LocalTime& t) {
       return SerialMacLogHeader() + SerialMacLogLine(SromSettings{}, t);
     }},
    {"RetryLog", "RetryLog.txt", "Open Log file fail!",
     [](const FileFolders& folders, const Clock& clock, Reporter& reporter) {
       return AppendRetryLog(folders, BlankBuffer(), 0, clock, reporter);
     },
     [](const LocalTime& t) { return RetryLogEntry(BlankBuffer(), 0, t); },
     [](const LocalTime& t) { return RetryLogEntry(BlankBuffer(), 0, t); }},
};

class AppendedLog : public ::testing::TestWithParam<Appender> {
 protected:
  fs::path log() const { return folder_ / GetParam().file; }
  bool Append() { return GetParam().append(folders_, clock_, reporter_); }
  std::string Entry() const { return GetParam().entry(clock_.Now()); }
  // The tool's own message for the log, then ours with the cause.
  std::vector<std::string> Messages(const std::string& cause) const {
    return {GetParam().message,
            std::string(GetParam().file) + " could not be written in " +
                QuotedPath(folder_.path()) + ": " + cause + "."};
  }

  TempFolder folder_;
  FileFolders folders_{folder_.path(), folder_.path()};
  FakeClock clock_{LocalTime{2024, 2, 29, 23, 59, 58}};
  RecordingReporter reporter_;
};

// A line cut short by a full disk is taken back whole: the log keeps its
// earlier lines and nothing, and the next line starts on a clean line
// instead of being glued to a torn one.
TEST_P(AppendedLog, AnAppendCutShortIsTakenBackWhole) {
  const std::string earlier(90, 'x');
  WriteBytes(log(), earlier);
  bool appended = true;
  {
    test::FileSizeLimit limit(100);
    ASSERT_TRUE(limit.ok());
    appended = Append();
  }
  EXPECT_FALSE(appended);
  EXPECT_EQ(reporter_.messages(),
            Messages("the file would grow beyond the size the system allows"));
  EXPECT_EQ(ReadBytes(log()), earlier);

  reporter_.clear();
  EXPECT_TRUE(Append());
  EXPECT_EQ(ReadBytes(log()), earlier + Entry());
}

// A new log whose first append fails is gone again, so that the next one
// starts it afresh (with its header where it has one).
TEST_P(AppendedLog, AFirstAppendCutShortLeavesNoLog) {
  bool appended = true;
  {
    test::FileSizeLimit limit(20);
    ASSERT_TRUE(limit.ok());
    appended = Append();
  }
  EXPECT_FALSE(appended);
  EXPECT_FALSE(fs::exists(log()));

  EXPECT_TRUE(Append());
  EXPECT_EQ(ReadBytes(log()), GetParam().new_log(clock_.Now()));
}

// A pipe under the log's name would block the append until something reads
// it: it is refused at once.
TEST_P(AppendedLog, APipeUnderTheLogsNameIsRefusedAtOnce) {
  ASSERT_TRUE(test::MakeFifo(log()));
  bool appended = true;
  EXPECT_FALSE(test::BlockedOnPipe(log(), [&] { appended = Append(); }));
  EXPECT_FALSE(appended);
  EXPECT_EQ(reporter_.messages(),
            Messages("it is not a plain file (a pipe or a device)"));
  EXPECT_EQ(fs::status(log()).type(), fs::file_type::fifo);
}

INSTANTIATE_TEST_SUITE_P(BothLogs, AppendedLog, ::testing::ValuesIn(kAppenders),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });
#endif

}  // namespace
}  // namespace srom
