// A replaced file is always one whole version, old or new: whatever another
// program, a crash, a full disk or a planted name does meanwhile.
#include "ports/safe_replace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "ports/file_kind.h"
#include "ports/process_identity.h"
#include "ports/temp_names.h"
#include "ports_test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace srom {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;
using test::EntriesOf;
using test::ReadBytes;
using test::TempFolder;
using test::Utf8;
using test::WriteBytes;
using ::testing::HasSubstr;

using Names = std::set<std::string>;

class ReplaceTest : public ::testing::Test {
 protected:
  fs::path target() const { return folder_ / "EEPROM.dat"; }

  TempFolder folder_;
};

struct Contents {
  const char* name;
  std::optional<std::string> old_bytes;
  std::string new_bytes;
};

// Every table row prints as its name in test output.
template <typename Row>
requires requires(const Row& row) { row.name; }
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class ReplacesContents : public ReplaceTest,
                         public ::testing::WithParamInterface<Contents> {};

TEST_P(ReplacesContents, WithTheNewBytesWholeAndLeavesNothingElse) {
  if (GetParam().old_bytes) WriteBytes(target(), *GetParam().old_bytes);
  std::string error;
  ASSERT_TRUE(ReplaceFileSafely(target(), GetParam().new_bytes, &error))
      << error;
  EXPECT_EQ(ReadBytes(target()), GetParam().new_bytes);
  EXPECT_EQ(EntriesOf(folder_.path()), Names{"EEPROM.dat"});
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReplacesContents,
    ::testing::Values(
        Contents{"NoFileYet", std::nullopt, "\"0\" // settings\r\n"},
        Contents{"ShorterThanBefore", std::string(5000, 'o'), "n"},
        Contents{"LongerThanBefore", "o", std::string(300000, 'n')},
        Contents{"EmptyBytes", "old", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Leftovers and plants under names a writer might pick: the old fixed
// temporary name, and the same hidden. None may block a save or be written
// through; all stay as they were.
struct Plant {
  const char* name;
  void (*plant)(const fs::path& folder, const fs::path& victim);
};

const Plant kPlants[] = {
    {"FolderUnderTheOldTemporaryName",
     [](const fs::path& folder, const fs::path&) {
       fs::create_directory(folder / "EEPROM.dat.tmp");
       WriteBytes(folder / "EEPROM.dat.tmp" / "in the way", "x");
     }},
#ifndef _WIN32
    {"LinksUnderLikelyTemporaryNames",
     [](const fs::path& folder, const fs::path& victim) {
       for (const char* name : {"EEPROM.dat.tmp", ".EEPROM.dat.tmp",
                                ".EEPROM.dat.1.00000000.tmp"}) {
         fs::create_symlink(victim, folder / name);
       }
     }},
#endif
};

class IgnoresWhatIsPlanted : public ReplaceTest,
                             public ::testing::WithParamInterface<Plant> {};

TEST_P(IgnoresWhatIsPlanted, AndStillReplacesTheFile) {
  TempFolder elsewhere;
  const fs::path victim = elsewhere / "victim";
  WriteBytes(victim, "untouched");
  WriteBytes(target(), "old");
  GetParam().plant(folder_.path(), victim);
  const Names planted = EntriesOf(folder_.path());

  std::string error;
  ASSERT_TRUE(ReplaceFileSafely(target(), "new", &error)) << error;
  EXPECT_EQ(ReadBytes(target()), "new");
  EXPECT_EQ(ReadBytes(victim), "untouched");
  EXPECT_EQ(EntriesOf(folder_.path()), planted);
}

INSTANTIATE_TEST_SUITE_P(Plants, IgnoresWhatIsPlanted,
                         ::testing::ValuesIn(kPlants), [](const auto& info) {
                           return std::string(info.param.name);
                         });

struct Refusal {
  const char* name;
  // Prepares the folder; returns the path to replace.
  fs::path (*prepare)(const fs::path& folder);
  const char* reason;
};

const Refusal kRefusals[] = {
    {"TargetIsAFolder",
     [](const fs::path& folder) {
       fs::create_directory(folder / "EEPROM.dat");
       WriteBytes(folder / "EEPROM.dat" / "kept", "kept");
       return folder / "EEPROM.dat";
     },
     "EEPROM.dat\": it is a folder"},
    {"FolderIsMissing",
     [](const fs::path& folder) { return folder / "gone" / "EEPROM.dat"; },
     "gone\" does not exist"},
#ifndef _WIN32
    // A reader or writer that opened a pipe would wait for its other end
    // forever; the replacement is refused before anything is opened.
    {"TargetIsAPipe",
     [](const fs::path& folder) {
       mkfifo((folder / "EEPROM.dat").c_str(), 0644);
       return folder / "EEPROM.dat";
     },
     "it is not a plain file"},
    {"LinksLoop",
     [](const fs::path& folder) {
       fs::create_symlink("b", folder / "EEPROM.dat");
       fs::create_symlink("EEPROM.dat", folder / "b");
       return folder / "EEPROM.dat";
     },
     "it is a symbolic link"},
#endif
};

class RefusesTheTarget : public ReplaceTest,
                         public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusesTheTarget, SayingWhyAndChangingNothing) {
  const fs::path path = GetParam().prepare(folder_.path());
  const Names before = EntriesOf(folder_.path());
  std::string error;
  EXPECT_FALSE(ReplaceFileSafely(path, "new", &error));
  EXPECT_THAT(error, HasSubstr("Cannot save \"" + Utf8(path) + "\": "));
  EXPECT_THAT(error, HasSubstr(GetParam().reason));
  EXPECT_EQ(EntriesOf(folder_.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Targets, RefusesTheTarget,
                         ::testing::ValuesIn(kRefusals), [](const auto& info) {
                           return std::string(info.param.name);
                         });

#ifndef _WIN32

TEST_F(ReplaceTest, KeepsThePermissionsOfTheReplacedFile) {
  for (const fs::perms mode :
       {fs::perms(0600), fs::perms(0640), fs::perms(0755)}) {
    WriteBytes(target(), "old");
    fs::permissions(target(), mode);
    ASSERT_TRUE(ReplaceFileSafely(target(), "new"));
    EXPECT_EQ(fs::status(target()).permissions(), mode)
        << "mode " << std::oct << static_cast<int>(mode);
  }
}

// A link planted under a file's name would send the MAC counter or a log
// into whatever it leads to: the save is refused, naming the link, and
// neither the link nor its target changes.
struct Link {
  const char* name;
  bool final_file_exists;
  // Makes `link` lead to `final_file`.
  void (*make)(const fs::path& link, const fs::path& final_file);
};

const Link kLinks[] = {
    {"Absolute", true,
     [](const fs::path& link, const fs::path& final_file) {
       fs::create_symlink(final_file, link);
     }},
    {"Relative", true,
     [](const fs::path& link, const fs::path& final_file) {
       fs::create_symlink(fs::relative(final_file, link.parent_path()), link);
     }},
    {"ChainOfTwo", true,
     [](const fs::path& link, const fs::path& final_file) {
       const fs::path middle = final_file.parent_path() / "middle";
       fs::create_symlink(final_file.filename(), middle);
       fs::create_symlink(middle, link);
     }},
    {"Dangling", false,
     [](const fs::path& link, const fs::path& final_file) {
       fs::create_symlink(final_file, link);
     }},
};

class RefusesALink : public ReplaceTest,
                     public ::testing::WithParamInterface<Link> {};

TEST_P(RefusesALink, NamingItAndChangingNeitherItNorItsTarget) {
  TempFolder shared;
  const fs::path final_file = shared / "EEPROM.dat";
  if (GetParam().final_file_exists) WriteBytes(final_file, "old");
  GetParam().make(target(), final_file);
  const fs::path link_text = fs::read_symlink(target());
  const Names shared_before = EntriesOf(shared.path());

  std::string error;
  EXPECT_FALSE(ReplaceFileSafely(target(), "new", &error));
  EXPECT_THAT(error, HasSubstr("Cannot save \"" + Utf8(target()) +
                               "\": it is a symbolic link"));
  if (GetParam().final_file_exists) {
    EXPECT_EQ(ReadBytes(final_file), "old");
  }
  ASSERT_TRUE(fs::is_symlink(target()));
  EXPECT_EQ(fs::read_symlink(target()), link_text);
  EXPECT_EQ(EntriesOf(shared.path()), shared_before);
  EXPECT_EQ(EntriesOf(folder_.path()), Names{"EEPROM.dat"});
}

INSTANTIATE_TEST_SUITE_P(Links, RefusesALink, ::testing::ValuesIn(kLinks),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

TEST(ReplaceOnAFullDisk, KeepsTheOldFileAndSaysTheDiskIsFull) {
  test::MountedFolder disk("size=64k", /*read_only=*/false);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  const fs::path target = disk.path() / "EEPROM.dat";
  const std::string old_bytes(1000, 'o');
  WriteBytes(target, old_bytes);

  std::string error;
  EXPECT_FALSE(ReplaceFileSafely(target, std::string(200 * 1024, 'n'), &error));
  EXPECT_EQ(error, "Cannot save \"" + Utf8(target) + "\": the disk is full");
  EXPECT_EQ(ReadBytes(target), old_bytes);
  EXPECT_EQ(EntriesOf(disk.path()), Names{"EEPROM.dat"});
  // The space the failed attempt took is free again: a small save fits.
  EXPECT_TRUE(ReplaceFileSafely(target, "fits"));
}

TEST(ReplaceOnAReadOnlyDisk, KeepsTheOldFileAndSaysTheFolderIsReadOnly) {
  test::MountedFolder disk("size=64k", /*read_only=*/true);
  if (!disk.mounted()) GTEST_SKIP() << disk.reason();
  std::string error;
  EXPECT_FALSE(ReplaceFileSafely(disk.path() / "EEPROM.dat", "new", &error));
  EXPECT_THAT(error, HasSubstr("the folder is read-only"));
  EXPECT_TRUE(EntriesOf(disk.path()).empty());
}

// Another process may write at most `limit` bytes into any file: its write
// stops short exactly as on a full disk, or, with the default action of the
// signal that brings, the process dies midway through the write as under
// kill -9.
class SizeLimitedWriter : public ReplaceTest {
 protected:
  void SetUp() override { WriteBytes(target(), old_bytes_); }
  ChildProcess Start(const char* on_limit) {
    return ChildProcess::StartHelper(
        {"replace-limited", Utf8(target()), "4096", "100000", on_limit});
  }
  const std::string old_bytes_ = std::string(1000, 'o');
};

TEST_F(SizeLimitedWriter, StoppedShortKeepsTheOldFileAndLeavesNothing) {
  ChildProcess writer = Start("ignore");
  const std::string line = writer.ReadLine();
  EXPECT_EQ(writer.Wait(), 1) << line;
  EXPECT_THAT(line, HasSubstr("Cannot save \"" + Utf8(target()) + "\": "));
  EXPECT_THAT(line, HasSubstr("the file would grow beyond"));
  EXPECT_EQ(ReadBytes(target()), old_bytes_);
  EXPECT_EQ(EntriesOf(folder_.path()), Names{"EEPROM.dat"});
}

TEST_F(SizeLimitedWriter, KilledMidwayKeepsTheOldFileAndItsLeftoverIsCleared) {
  ChildProcess writer = Start("die");
  EXPECT_EQ(writer.Wait(), 128 + SIGXFSZ);
  EXPECT_EQ(ReadBytes(target()), old_bytes_);
  // The dead writer's half-written temporary file is all it left.
  Names entries = EntriesOf(folder_.path());
  ASSERT_EQ(entries.size(), 2u);
  entries.erase("EEPROM.dat");
  EXPECT_EQ(fs::file_size(folder_ / *entries.begin()), 4096u);

  RemoveStaleTempFiles(folder_.path());
  EXPECT_EQ(EntriesOf(folder_.path()), Names{"EEPROM.dat"});
  EXPECT_EQ(ReadBytes(target()), old_bytes_);
}

#endif  // !_WIN32

TEST_F(ReplaceTest, RemoveStaleTempFilesTakesOnlyItsOwnLeftovers) {
  TempFolder elsewhere;
  const fs::path victim = elsewhere / "victim";
  WriteBytes(victim, "untouched");
  const Names kept = {
      "EEPROM.dat",
      "EEPROM.dat.tmp",
      ".EEPROM.dat.tmp",
      ".EEPROM.dat.123.tmp",
      ".EEPROM.dat.124.ABCDEF01.tmp",  // differs in more than case
      ".EEPROM.dat.12x.abcdef01.tmp",
      ".EEPROM.dat.123.abcdef0.tmp",
      "EEPROM.dat.123.abcdef01.tmp",
      "..123.abcdef01.tmp",
      ".SROM.dat.77.0badf00d.tmp.bak",
  };
  for (const std::string& name : kept) WriteBytes(folder_ / name, name);
  // A folder under such a name, and such a file one level down, stay.
  const std::string folder_name = ".SROM.dat.77.0badf00d.tmp";
  fs::create_directory(folder_ / folder_name);
  WriteBytes(folder_ / folder_name / ".EEPROM.dat.9.00000000.tmp", "inside");
  // Written by processes that cannot run: Linux gives no pid past 4194303,
  // and Windows only multiples of four.
  WriteBytes(folder_ / ".EEPROM.dat.4194305.abcdef01.tmp", "left by a crash");
  WriteBytes(folder_ / ".SROM.bin.4194307-12345.00000000.tmp",
             "left by a crash");
#ifndef _WIN32
  // A link under such a name goes, never what it points to.
  fs::create_symlink(victim, folder_ / ".EFUSE.dat.4194305.ffffffff.tmp");
#endif

  RemoveStaleTempFiles(folder_.path());
  Names expected = kept;
  expected.insert(folder_name);
  EXPECT_EQ(EntriesOf(folder_.path()), expected);
  for (const std::string& name : kept)
    EXPECT_EQ(ReadBytes(folder_ / name), name);
  EXPECT_EQ(ReadBytes(folder_ / folder_name / ".EEPROM.dat.9.00000000.tmp"),
            "inside");
  EXPECT_EQ(ReadBytes(victim), "untouched");
}

// A temporary file names its writer by pid and start. One whose writer still
// runs is a save in flight (a sim command beside a running station) and
// stays; once that writer has ended, or its pid names a later process, the
// file is a leftover and goes.
TEST_F(ReplaceTest, RemovesOnlyTheTemporaryFilesOfWritersThatHaveEnded) {
  TempFolder elsewhere;
  ChildProcess writer =
      ChildProcess::StartHelper({"lock", Utf8(elsewhere.path()), "hold"});
  ASSERT_EQ(writer.ReadLine(), "locked");
  const std::string pid = std::to_string(writer.pid());
  const std::optional<std::uint64_t> start = ProcessStartToken(writer.pid());
  const std::string own = std::to_string(CurrentPid());
  const std::optional<std::uint64_t> own_start = CurrentProcessStartToken();

  struct Row {
    std::string name;
    bool stays_while_writer_runs;
  };
  std::vector<Row> rows = {
      {".EEPROM.dat." + pid + ".0000000a.tmp", true},
      {".SROM.dat." + own + ".0000000b.tmp", true},
  };
  if (start) {
    rows.push_back(
        {".EEPROM.dat." + pid + "-" + std::to_string(*start) + ".0000000c.tmp",
         true});
    // The same pid, started at another time: a later process took it.
    rows.push_back({".EEPROM.dat." + pid + "-" + std::to_string(*start + 1) +
                        ".0000000d.tmp",
                    false});
  }
  if (own_start) {
    rows.push_back({".SROM.dat." + own + "-" + std::to_string(*own_start) +
                        ".0000000e.tmp",
                    true});
  }
  for (const Row& row : rows) WriteBytes(folder_ / row.name, "in flight");

  RemoveStaleTempFiles(folder_.path());
  for (const Row& row : rows) {
    EXPECT_EQ(fs::exists(folder_ / row.name), row.stays_while_writer_runs)
        << row.name;
  }

  writer.CloseInput();
  EXPECT_EQ(writer.Wait(), 0);
  RemoveStaleTempFiles(folder_.path());
  for (const Row& row : rows) {
    const bool own_file = row.name.rfind(".SROM.dat.", 0) == 0;
    EXPECT_EQ(fs::exists(folder_ / row.name), own_file) << row.name;
  }
}

// Reads the whole file, as another program would while it is replaced. On
// Windows the file is shared for deletion, as the rename over it needs.
std::optional<std::string> ReadWhileReplaced(const fs::path& path) {
#ifdef _WIN32
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    bytes.append(buffer, n);
  }
  CloseHandle(file);
  return bytes;
#else
  return ReadBytes(path);
#endif
}

TEST_F(ReplaceTest, TwoProcessesReplacingOneFileLeaveOneWholeVersionAtATime) {
  WriteBytes(target(), test::VersionText('0', 0));
  ChildProcess a =
      ChildProcess::StartHelper({"replace", Utf8(target()), "150", "a"});
  ChildProcess b =
      ChildProcess::StartHelper({"replace", Utf8(target()), "150", "b"});

  // 300 replacements take well under a second; a writer that hangs ends
  // the reading here rather than the test's run.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::minutes(2);
  int reads = 0;
  while (!a.HasExited() || !b.HasExited()) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline)
        << "the writers did not end within 2 minutes";
    const std::optional<std::string> bytes = ReadWhileReplaced(target());
#ifdef _WIN32
    // Windows may refuse an open while the name is being replaced.
    if (!bytes) continue;
#endif
    ASSERT_TRUE(bytes.has_value());
    ASSERT_TRUE(test::IsWholeVersion(*bytes))
        << "read " << reads << " saw " << bytes->size() << " bytes";
    ++reads;
  }
  for (ChildProcess* writer : {&a, &b}) {
    const std::string counts = writer->ReadLine();
    const std::string first_error = writer->ReadLine();
    EXPECT_EQ(counts, "replaced 150 failed 0") << first_error;
    EXPECT_EQ(writer->Wait(), 0);
  }
  EXPECT_GT(reads, 0) << "the writers ended before a single read";
  EXPECT_TRUE(test::IsWholeVersion(ReadBytes(target())));
  EXPECT_EQ(EntriesOf(folder_.path()), Names{"EEPROM.dat"});
}

struct Kind {
  const char* name;
  // Makes `path` (in a fresh folder) what the row names.
  void (*make)(const fs::path& path);
  FileKind kind;   // FileKindOf: links followed
  FileKind entry;  // EntryKindOf: the name itself
};

const Kind kKinds[] = {
    {"Missing", [](const fs::path&) {}, FileKind::kMissing, FileKind::kMissing},
    {"Regular", [](const fs::path& path) { WriteBytes(path, "x"); },
     FileKind::kRegular, FileKind::kRegular},
    {"EmptyRegular", [](const fs::path& path) { WriteBytes(path, ""); },
     FileKind::kRegular, FileKind::kRegular},
    {"Folder", [](const fs::path& path) { fs::create_directory(path); },
     FileKind::kFolder, FileKind::kFolder},
#ifndef _WIN32
    // Opening a pipe for reading waits for a writer that never comes.
    {"Pipe", [](const fs::path& path) { mkfifo(path.c_str(), 0644); },
     FileKind::kOther, FileKind::kOther},
    {"Device",
     [](const fs::path& path) { fs::create_symlink("/dev/null", path); },
     FileKind::kOther, FileKind::kLink},
    {"LinkToRegular",
     [](const fs::path& path) {
       WriteBytes(path.parent_path() / "real", "x");
       fs::create_symlink("real", path);
     },
     FileKind::kRegular, FileKind::kLink},
    {"LinkToFolder",
     [](const fs::path& path) { fs::create_symlink(path.parent_path(), path); },
     FileKind::kFolder, FileKind::kLink},
    {"DanglingLink",
     [](const fs::path& path) { fs::create_symlink("nowhere", path); },
     FileKind::kMissing, FileKind::kLink},
#endif
};

class FileKindOfTest : public ::testing::TestWithParam<Kind> {};

TEST_P(FileKindOfTest, TellsWhatAPathNamesWithoutOpeningIt) {
  TempFolder folder;
  const fs::path path = folder / "EEPROM.dat";
  GetParam().make(path);
  EXPECT_EQ(FileKindOf(path), GetParam().kind);
  EXPECT_EQ(EntryKindOf(path), GetParam().entry);
}

INSTANTIATE_TEST_SUITE_P(Kinds, FileKindOfTest, ::testing::ValuesIn(kKinds),
                         [](const auto& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace srom
