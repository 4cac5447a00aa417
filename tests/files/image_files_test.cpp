#include "files/image_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "files_test_support.h"
#include "model/efuse_image.h"
#include "model/srom_image.h"
#include "ports/reporter.h"
#include "ports/system_error_text.h"
#include "support/recording_reporter.h"

namespace srom {
namespace {

namespace fs = std::filesystem;
using test::AllFields;
using test::Golden;
using test::GoldenPath;
using test::HexBytes;
using test::ReadBytes;
using test::TempFolder;
using test::WithoutListings;
using test::WriteBytes;
using Events = std::vector<std::string>;

// A buffer whose image area starts with `raw` and holds `rest` after it.
ImageBuffer BufferWith(const std::string& raw, std::uint8_t rest = 0xFF) {
  ImageBuffer buffer = BlankBuffer();
  auto area = ImageArea(buffer);
  std::fill(area.begin(), area.end(), rest);
  std::copy(raw.begin(), raw.end(), area.begin());
  return buffer;
}

// The text of an image file with the two digits of byte `k` replaced.
std::string WithByte(std::string text, std::size_t k,
                     const std::string& digits) {
  text.replace(k * 3 + (k / 16) * 2, 2, digits);
  return text;
}

std::string ImageText(const ImageBuffer& buffer, std::size_t first,
                      std::size_t count) {
  const auto area = ImageArea(buffer);
  return std::string(area.begin() + first, area.begin() + first + count);
}

// One operator action on image files, in a fresh folder for both folders.
struct ImageFiles {
  TempFolder folder;
  FileFolders folders{folder.path(), folder.path()};
  SromSettings settings;
  ImageBuffer prev = BufferWith("", 0x00);
  int image_size = 512;
  LastAccepted accepted;
  RecordingReporter reporter;

  fs::path Put(const std::string& name, const std::string& bytes) {
    WriteBytes(folder / name, bytes);
    return folder / name;
  }
  FileLoad LoadSromText(const std::string& text) {
    return LoadSrom(Put("chosen.txt", text), settings, prev, image_size,
                    reporter);
  }
  FileLoad LoadEfuseText(const std::string& text) {
    return LoadEfuseDat(Put("chosen.txt", text), settings, prev, image_size,
                        reporter);
  }
};

struct GoldenImage {
  const char* dat;
  const char* bin;
  int srom_size;
  int device_sel;  // the chip the image was made for
  const char* mac;
};

class SromGolden : public ::testing::TestWithParam<GoldenImage> {};

TEST_P(SromGolden, LoadsBackByteForByteAndSavesTheSameText) {
  ImageFiles files;
  files.settings.SromSize = GetParam().srom_size;
  files.settings.DeviceSel = GetParam().device_sel;
  const std::string raw = Golden(GetParam().bin);
  const int n = static_cast<int>(raw.size());

  ASSERT_EQ(files.LoadSromText(Golden(GetParam().dat)), FileLoad::kLoaded);
  EXPECT_EQ(files.image_size, n);
  EXPECT_EQ(ImageText(files.prev, 0, kImageAreaSize),
            raw + std::string(kImageAreaSize - raw.size(), '\xFF'));
  EXPECT_EQ(
      files.reporter.events(),
      (Events{"preview: " + Golden(GetParam().dat) + "\r\n", "picture: pass"}));
  EXPECT_EQ(files.settings.CurrentMac, GetParam().mac);

  files.reporter.clear();
  ASSERT_TRUE(SaveSromDat(files.folders, files.prev, GetParam().srom_size,
                          "listing", files.reporter));
  EXPECT_TRUE(files.reporter.events().empty());
  EXPECT_EQ(ReadBytes(files.folder / "SROM.dat"), Golden(GetParam().dat));
}

TEST_P(SromGolden, ConvertsToTheRawBytesXxdMakesOfTheSameText) {
  TempFolder program;
  ImageFiles files;
  files.folders.program_folder = program.path();
  const fs::path chosen =
      files.Put("image.txt", Golden(GetParam().dat) + " 12 34\r\n");

  EXPECT_TRUE(ConvertToBin(files.folders, chosen, GetParam().srom_size,
                           files.reporter));
  EXPECT_EQ(ReadBytes(files.folder / "SROM.bin"), Golden(GetParam().bin));
  EXPECT_EQ(
      files.reporter.events(),
      (Events{"message: Write SROM.bin successfully!\n", "picture: pass"}));
  EXPECT_FALSE(fs::exists(program / "SROM.bin"));
}

INSTANTIATE_TEST_SUITE_P(
    BothSizes, SromGolden,
    ::testing::Values(GoldenImage{"SROM_256.dat", "SROM_256.bin", 0,
                                  kChipAEeprom, "000000000001"},
                      GoldenImage{"SROM_512.dat", "SROM_512.bin", 1,
                                  kChipBEeprom, "021122334456"}),
    [](const auto& info) {
      return std::string(info.param.srom_size ? "Size512" : "Size256");
    });

struct SizeCase {
  const char* name;
  const char* golden;
  int srom_size;
  std::string (*make)(std::string);
  bool passes;
};

std::string WithSpaces(std::string text, std::size_t size) {
  text.resize(std::max(size, text.size()), ' ');
  return text;
}

class SromSizeWindow : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SromSizeWindow, DecidesBeforeAnyValueIsRead) {
  ImageFiles files;
  files.settings.SromSize = GetParam().srom_size;
  files.settings.DeviceSel =
      GetParam().srom_size == 1 ? kChipBEeprom : kChipAEeprom;
  const std::string text = GetParam().make(Golden(GetParam().golden));

  const FileLoad result = files.LoadSromText(text);
  if (GetParam().passes) {
    EXPECT_EQ(result, FileLoad::kLoaded);
  } else {
    EXPECT_EQ(result, FileLoad::kRefused);
    EXPECT_EQ(files.reporter.events(),
              (Events{"picture: fail", "message: Error SROM file"}));
    EXPECT_EQ(ImageText(files.prev, 0, 512), std::string(512, '\0'));
  }
}

std::string LfOnly(std::string text) {
  std::erase(text, '\r');
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    LoadSrom, SromSizeWindow,
    ::testing::Values(
        SizeCase{"Bytes796", "SROM_256.dat", 0,
                 [](std::string t) { return t.substr(0, 796); }, false},
        SizeCase{"Bytes797", "SROM_256.dat", 0,
                 [](std::string t) { return t.substr(0, 797); }, true},
        SizeCase{"Bytes810", "SROM_256.dat", 0,
                 [](std::string t) { return WithSpaces(t, 810); }, true},
        SizeCase{"Bytes811", "SROM_256.dat", 0,
                 [](std::string t) { return WithSpaces(t, 811); }, false},
        SizeCase{"LfOnly256", "SROM_256.dat", 0, LfOnly, false},
        SizeCase{"File512With256Selected", "SROM_512.dat", 0,
                 [](std::string t) { return t; }, false},
        SizeCase{"Bytes1597", "SROM_512.dat", 1,
                 [](std::string t) { return t.substr(0, 1597); }, false},
        SizeCase{"Bytes5000", "SROM_512.dat", 1,
                 [](std::string t) { return WithSpaces(t, 5000); }, true},
        SizeCase{"LfOnly512", "SROM_512.dat", 1, LfOnly, false},
        SizeCase{"File256With512Selected", "SROM_256.dat", 1,
                 [](std::string t) { return t; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ByteCase {
  const char* name;
  int device_sel;
  std::vector<std::pair<std::size_t, std::string>> bytes;
  Events events;  // empty: the file loads
};

class SromByteChecks : public ::testing::TestWithParam<ByteCase> {};

TEST_P(SromByteChecks, RefuseWithTheFirstFailingChecksMessage) {
  ImageFiles files;
  files.settings.DeviceSel = GetParam().device_sel;
  const SromSettings before = files.settings;
  std::string text = Golden("SROM_256.dat");
  for (const auto& [k, digits] : GetParam().bytes)
    text = WithByte(text, k, digits);

  const FileLoad result = files.LoadSromText(text);
  if (GetParam().events.empty()) {
    EXPECT_EQ(result, FileLoad::kLoaded);
    EXPECT_EQ(WithoutListings(files.reporter.events()),
              (Events{"preview", "picture: pass"}));
    return;
  }
  EXPECT_EQ(result, FileLoad::kRefused);
  EXPECT_EQ(files.reporter.events(), GetParam().events);
  EXPECT_EQ(ImageText(files.prev, 0, 512), std::string(512, '\0'));
  EXPECT_EQ(AllFields(files.settings), AllFields(before));
}

Events Fail(const std::string& message) {
  return {"picture: fail", "message: " + message};
}

INSTANTIATE_TEST_SUITE_P(
    LoadSrom, SromByteChecks,
    ::testing::Values(
        ByteCase{"FirstByteOdd",
                 2,
                 {{0, "01"}},
                 Fail("Wrong First Byte Data Format in SROM.dat")},
        ByteCase{"ChipBImageForChipA",
                 2,
                 {{6, "7D"}},
                 {"message: The SROM file does not match the 'Device Sel.'"}},
        ByteCase{"ChipAImageForChipB",
                 0,
                 {},
                 {"message: The SROM file does not match the 'Device Sel.'"}},
        ByteCase{"NoDeviceMatchInEfuseSelections", 1, {}, {}},
        ByteCase{"ChecksumWrong",
                 2,
                 {{10, "11"}},
                 Fail("Wrong SROM file with Checksum data!")},
        ByteCase{
            "ByteRule", 2, {{0x0C, "01"}}, Fail("Loaded a Wrong SROM file!")},
        ByteCase{"SerialCharacterNotAHexDigit",
                 2,
                 {{0x4C, "47"}},
                 Fail("Loaded a Wrong SROM file!")},
        ByteCase{"SerialOffsetPlusLengthNot52",
                 2,
                 {{0x18, "27"}},
                 Fail("Serial Number Length or Offset data error!")},
        ByteCase{"ProductStringCharacter",
                 2,
                 {{0x1C, "1F"}},
                 Fail("Wrong SROM Product String format file!")},
        ByteCase{"ManufacturerStringCharacter",
                 2,
                 {{0x34, "80"}},
                 Fail("Wrong SROM Manufacture String format file!")},
        ByteCase{"EmptyProductStringIsNotTested",
                 2,
                 {{0x15, "00"}, {0x1C, "1F"}},
                 {}},
        ByteCase{"NonHexTextLeavesTheRest0xFF",
                 2,
                 {{100, "ZZ"}},
                 Fail("Loaded a Wrong SROM file!")},
        ByteCase{"FirstByteBeforeChecksum",
                 2,
                 {{0, "01"}, {10, "11"}},
                 Fail("Wrong First Byte Data Format in SROM.dat")},
        ByteCase{"DeviceMatchBeforeChecksum",
                 2,
                 {{6, "7D"}, {10, "00"}},
                 {"message: The SROM file does not match the 'Device Sel.'"}},
        ByteCase{"ChecksumBeforeStrings",
                 2,
                 {{10, "11"}, {0x1C, "1F"}},
                 Fail("Wrong SROM file with Checksum data!")},
        ByteCase{"ByteRuleBeforeSerialLength",
                 2,
                 {{0x19, "0F"}},
                 Fail("Loaded a Wrong SROM file!")},
        ByteCase{"ProductBeforeManufacturer",
                 2,
                 {{0x1C, "1F"}, {0x34, "80"}},
                 Fail("Wrong SROM Product String format file!")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadSrom, TakesLowerCaseDigitsAndMakesSerialLettersUpperCase) {
  ImageFiles files;
  std::string text = WithByte(Golden("SROM_256.dat"), 0x50, "61");
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(std::tolower(c));
  });

  ASSERT_EQ(files.LoadSromText(text), FileLoad::kLoaded);
  std::string expected = Golden("SROM_256.bin");
  expected[0x50] = 'A';
  EXPECT_EQ(ImageText(files.prev, 0, 256), expected);
}

TEST(LoadSrom, CancelOnlySetsTheImageSize) {
  ImageFiles files;
  files.settings.SromSize = 0;
  EXPECT_EQ(LoadSrom(std::nullopt, files.settings, files.prev, files.image_size,
                     files.reporter),
            FileLoad::kCancelled);
  EXPECT_EQ(files.image_size, 256);
  EXPECT_TRUE(files.reporter.events().empty());
}

TEST(LoadSrom, AFileThatCannotBeOpenedIsReported) {
  ImageFiles files;
  EXPECT_EQ(LoadSrom(files.folder / "missing.dat", files.settings, files.prev,
                     files.image_size, files.reporter),
            FileLoad::kRefused);
  Events said = Fail("File can't be opened.");
  said.push_back("message: missing.dat in " + QuotedPath(files.folder.path()) +
                 " cannot be read: it does not exist.");
  EXPECT_EQ(files.reporter.events(), said);
}

#ifndef _WIN32
// A pipe chosen in the open-file dialog once hung the window in its open: it
// is refused at once, as a file that cannot be opened.
struct ChosenPipe {
  const char* name;
  void (*open)(ImageFiles&, const fs::path&);
  Events events;
  // Where the message with the cause stands among them.
  std::size_t cause_at;
};

class ChosenPipeTest : public ::testing::TestWithParam<ChosenPipe> {};

TEST_P(ChosenPipeTest, IsRefusedAtOnce) {
  ImageFiles files;
  const fs::path pipe = files.folder / "chosen";
  ASSERT_TRUE(test::MakeFifo(pipe));
  const ImageBuffer before = files.prev;

  EXPECT_FALSE(
      test::BlockedOnPipe(pipe, [&] { GetParam().open(files, pipe); }));
  Events said = GetParam().events;
  said.insert(said.begin() + GetParam().cause_at,
              "message: chosen in " + QuotedPath(files.folder.path()) +
                  " cannot be read: it is not a plain file (a pipe or a "
                  "device).");
  EXPECT_EQ(files.reporter.events(), said);
  EXPECT_EQ(files.prev, before);
  EXPECT_EQ(files.folder.Names(), (std::set<std::string>{"chosen"}));
}

INSTANTIATE_TEST_SUITE_P(
    LoadAndConvert, ChosenPipeTest,
    ::testing::Values(
        ChosenPipe{"LoadSrom",
                   [](ImageFiles& f, const fs::path& pipe) {
                     LoadSrom(pipe, f.settings, f.prev, f.image_size,
                              f.reporter);
                   },
                   {"picture: fail", "message: File can't be opened."},
                   2},
        ChosenPipe{"LoadEfuseDat",
                   [](ImageFiles& f, const fs::path& pipe) {
                     LoadEfuseDat(pipe, f.settings, f.prev, f.image_size,
                                  f.reporter);
                   },
                   {"picture: fail", "message: File can't be opened."},
                   2},
        ChosenPipe{"ConvertToBin",
                   [](ImageFiles& f, const fs::path& pipe) {
                     ConvertToBin(f.folders, pipe, 0, f.reporter);
                   },
                   {"message: File can't be opened.", "picture: fail"},
                   1}),
    [](const auto& info) { return std::string(info.param.name); });
#endif

TEST(SaveSromDat, AnEmptyOutputBoxWritesNothing) {
  ImageFiles files;
  EXPECT_FALSE(SaveSromDat(files.folders, files.prev, 0, "", files.reporter));
  EXPECT_EQ(files.reporter.messages(), Events{"No Content can be Saved"});
  EXPECT_FALSE(fs::exists(files.folder / "SROM.dat"));
}

TEST(SaveSromDat, AFolderThatCannotBeWrittenFailsWithTheMessage) {
  ImageFiles files;
  files.folders.program_folder = files.folder / "missing";
  EXPECT_FALSE(
      SaveSromDat(files.folders, files.prev, 0, "listing", files.reporter));
  EXPECT_EQ(
      files.reporter.messages(),
      (Events{"Can't write SROM file\n",
              "SROM.dat could not be saved in " +
                  QuotedPath(files.folder / "missing") + ": the folder " +
                  QuotedPath(files.folder / "missing") + " does not exist."}));
}

TEST(CreateMissingSromDat, WritesTheCurrentImageOnlyWhenNoFileIsFound) {
  TempFolder working;
  TempFolder program;
  const FileFolders folders{program.path(), working.path()};
  const ImageBuffer prev = BufferWith(Golden("SROM_256.bin"));
  RecordingReporter reporter;

  EXPECT_EQ(CreateMissingSromDat(folders, prev, 0, "listing", reporter),
            std::optional<bool>(true));
  EXPECT_EQ(reporter.messages(),
            Events{"Does not exsit SROM file.\r\nCreate a new SROM file.\r\n"});
  EXPECT_EQ(ReadBytes(program / "SROM.dat"), Golden("SROM_256.dat"));

  // The file in the program folder is found too and never overwritten.
  reporter.clear();
  const ImageBuffer other = BufferWith(Golden("SROM_512.bin"));
  EXPECT_EQ(CreateMissingSromDat(folders, other, 1, "listing", reporter),
            std::nullopt);
  EXPECT_TRUE(reporter.events().empty());
  EXPECT_EQ(ReadBytes(program / "SROM.dat"), Golden("SROM_256.dat"));
}

// A file of the right size that is not hex text all through once became
// 0xFF bytes and "Write SROM.bin successfully!": fewer than N values are
// refused now, and an earlier SROM.bin is left as it was.
struct NotHexCase {
  const char* name;
  const char* golden;
  int srom_size;
  std::string (*make)(std::string);
  const char* message;
};

class ConvertToBinNotHex : public ::testing::TestWithParam<NotHexCase> {};

TEST_P(ConvertToBinNotHex, WritesNothingAndSaysHowManyValuesItNeeds) {
  ImageFiles files;
  const fs::path chosen =
      files.Put("image.txt", GetParam().make(Golden(GetParam().golden)));
  files.Put("SROM.bin", "the earlier bin");

  EXPECT_FALSE(ConvertToBin(files.folders, chosen, GetParam().srom_size,
                            files.reporter));
  EXPECT_EQ(
      files.reporter.events(),
      (Events{std::string("message: ") + GetParam().message, "picture: fail"}));
  EXPECT_EQ(ReadBytes(files.folder / "SROM.bin"), "the earlier bin");
}

INSTANTIATE_TEST_SUITE_P(
    ConvertToBin, ConvertToBinNotHex,
    ::testing::Values(
        NotHexCase{"StopsAtTheFourthValue", "SROM_256.dat", 0,
                   [](std::string text) { return WithByte(text, 3, "ZZ"); },
                   "Wrong SROM file format: SROM.bin needs 256 hex values"},
        NotHexCase{"LastValueMissing", "SROM_256.dat", 0,
                   [](std::string text) { return WithByte(text, 255, "  "); },
                   "Wrong SROM file format: SROM.bin needs 256 hex values"},
        NotHexCase{"RawImageOfTheRightSize", "SROM_256.bin", 0,
                   [](std::string raw) {
                     return raw + std::string(800 - raw.size(), '\0');
                   },
                   "Wrong SROM file format: SROM.bin needs 256 hex values"},
        NotHexCase{
            "OnlyWhiteSpace", "SROM_256.dat", 0,
            [](std::string text) { return std::string(text.size(), ' '); },
            "Wrong SROM file format: SROM.bin needs 256 hex values"},
        NotHexCase{"LargeImageStopsHalfway", "SROM_512.dat", 1,
                   [](std::string text) { return WithByte(text, 300, "G0"); },
                   "Wrong SROM file format: SROM.bin needs 512 hex values"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertToBin, RefusalsShowTheirMessageAndTheFailPicture) {
  ImageFiles files;
  const fs::path short_file =
      files.Put("short.txt", Golden("SROM_256.dat").substr(0, 700));
  EXPECT_FALSE(ConvertToBin(files.folders, short_file, 0, files.reporter));
  EXPECT_FALSE(ConvertToBin(files.folders, files.folder / "missing.txt", 0,
                            files.reporter));
  EXPECT_FALSE(ConvertToBin(files.folders, std::nullopt, 0, files.reporter));
  EXPECT_EQ(
      files.reporter.events(),
      (Events{"message: Incorrect SROM file size", "picture: fail",
              "message: File can't be opened.",
              "message: missing.txt in " + QuotedPath(files.folder.path()) +
                  " cannot be read: it does not exist.",
              "picture: fail"}));
  EXPECT_FALSE(fs::exists(files.folder / "SROM.bin"));
}

// --- EFUSE.dat ---

TEST(SaveEfuseDat, WritesTheGoldenFileAndAcceptsTheCurrentMac) {
  ImageFiles files;
  ResetEfuseImageArea(files.prev, kChipAEfuse);
  files.settings.CurrentMac = "001122334456";

  ASSERT_TRUE(SaveEfuseDat(files.folders, files.prev, "listing",
                           files.settings.CurrentMac, files.accepted,
                           files.reporter));
  EXPECT_EQ(ReadBytes(files.folder / "EFUSE.dat"), Golden("EFUSE.dat"));
  EXPECT_EQ(files.accepted.CurrentMac, "001122334456");
  EXPECT_TRUE(files.reporter.events().empty());

  EXPECT_FALSE(SaveEfuseDat(files.folders, files.prev, "", "0A0000000000",
                            files.accepted, files.reporter));
  EXPECT_EQ(files.reporter.messages(), Events{"No Content can be Saved"});
  EXPECT_EQ(files.accepted.CurrentMac, "001122334456");
}

TEST(LoadEfuseDat, TakesTheImageAndOnlyTheMacAddress) {
  ImageFiles files;
  std::string text = Golden("EFUSE.dat");
  for (auto [k, digits] : {std::pair{0, "0A"}, {1, "bb"}, {5, "EE"}}) {
    text = WithByte(text, k, digits);
  }
  SromSettings expected = files.settings;
  expected.CurrentMac = "0ABB000000EE";

  ASSERT_EQ(files.LoadEfuseText(text), FileLoad::kLoaded);
  EXPECT_EQ(AllFields(files.settings), AllFields(expected));
  EXPECT_EQ(files.image_size, 64);
  const auto bytes = HexBytes(text);
  EXPECT_EQ(ImageText(files.prev, 0, 64),
            std::string(bytes.begin(), bytes.end()));
  EXPECT_EQ(ImageText(files.prev, 64, 448), std::string(448, '\0'));
  EXPECT_EQ(WithoutListings(files.reporter.events()),
            (Events{"picture: pass", "preview"}));

  // Saved again, it is the same text in upper case.
  ASSERT_TRUE(SaveEfuseDat(files.folders, files.prev, "listing",
                           files.settings.CurrentMac, files.accepted,
                           files.reporter));
  EXPECT_EQ(ReadBytes(files.folder / "EFUSE.dat"),
            WithByte(WithByte(WithByte(Golden("EFUSE.dat"), 0, "0A"), 1, "BB"),
                     5, "EE"));
}

struct EfuseRefusal {
  const char* name;
  std::string (*make)(std::string);
  const char* message;  // nullptr: the file loads
};

class EfuseChecks : public ::testing::TestWithParam<EfuseRefusal> {};

TEST_P(EfuseChecks, RefuseWithFailPictureAndChangeNothing) {
  ImageFiles files;
  const SromSettings before = files.settings;
  const FileLoad result =
      files.LoadEfuseText(GetParam().make(Golden("EFUSE.dat")));
  if (GetParam().message == nullptr) {
    EXPECT_EQ(result, FileLoad::kLoaded);
    return;
  }
  EXPECT_EQ(result, FileLoad::kRefused);
  EXPECT_EQ(files.reporter.events(), Fail(GetParam().message));
  EXPECT_EQ(ImageText(files.prev, 0, 512), std::string(512, '\0'));
  EXPECT_EQ(AllFields(files.settings), AllFields(before));
}

INSTANTIATE_TEST_SUITE_P(
    LoadEfuseDat, EfuseChecks,
    ::testing::Values(
        EfuseRefusal{"Bytes195", [](std::string t) { return t.substr(0, 195); },
                     "Error EFUSE file"},
        EfuseRefusal{"Bytes196", [](std::string t) { return t.substr(0, 196); },
                     nullptr},
        EfuseRefusal{"Bytes202",
                     [](std::string t) { return WithSpaces(t, 202); }, nullptr},
        EfuseRefusal{"Bytes203",
                     [](std::string t) { return WithSpaces(t, 203); },
                     "Error EFUSE file"},
        EfuseRefusal{"LfOnly", LfOnly, "Error EFUSE file"},
        EfuseRefusal{"FirstByteOdd",
                     [](std::string t) { return WithByte(t, 0, "03"); },
                     "Wrong First Byte Data Format in EFUSE.dat"},
        EfuseRefusal{"ByteRule",
                     [](std::string t) { return WithByte(t, 0x0C, "81"); },
                     "Loaded a Wrong FEUSE file!"},
        EfuseRefusal{"NonHexTextLeavesTheRest0xFF",
                     [](std::string t) { return WithByte(t, 0x3E, "ZZ"); },
                     "Loaded a Wrong FEUSE file!"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ResetEfuseImage, CreatesTheDefaultFileWhenThereIsNone) {
  TempFolder working;
  ImageFiles files;
  files.folders.working_folder = working.path();
  files.settings.DeviceSel = kChipAEfuse;

  EXPECT_EQ(ResetEfuseImage(files.folders, files.settings, files.prev,
                            files.image_size, files.accepted, files.reporter),
            std::optional<bool>(true));
  EXPECT_EQ(files.image_size, 64);
  EXPECT_EQ(WithoutListings(files.reporter.events()),
            (Events{"preview",
                    "message: Does not exist EFUSE file.\r\nCreate a default "
                    "EFUSE file.\r\n",
                    "preview"}));
  EXPECT_EQ(ReadBytes(files.folder / "EFUSE.dat"), Golden("EFUSE.dat"));
}

TEST(ResetEfuseImage, LeavesAnExistingFileOfAnyLetterCaseAlone) {
  TempFolder working;
  ImageFiles files;
  files.folders.working_folder = working.path();
  WriteBytes(working / "efuse.DAT", "kept");
  WriteBytes(files.folder / "EFUSE.dat", "kept too");
  files.settings.DeviceSel = kChipBEfuse;

  EXPECT_EQ(ResetEfuseImage(files.folders, files.settings, files.prev,
                            files.image_size, files.accepted, files.reporter),
            std::nullopt);
  EXPECT_EQ(WithoutListings(files.reporter.events()),
            (Events{"preview", "preview"}));
  const EfuseImage chip_b = DefaultEfuseImageWithChecksum(Chip::kB);
  EXPECT_EQ(ImageText(files.prev, 0, 64),
            std::string(chip_b.begin(), chip_b.end()));
  EXPECT_EQ(ReadBytes(working / "efuse.DAT"), "kept");

  // With none in the working folder, the one in the program folder still
  // counts.
  fs::remove(working / "efuse.DAT");
  EXPECT_EQ(ResetEfuseImage(files.folders, files.settings, files.prev,
                            files.image_size, files.accepted, files.reporter),
            std::nullopt);
  EXPECT_EQ(ReadBytes(files.folder / "EFUSE.dat"), "kept too");
}

TEST(ConvertToEfuse, ChecksTheSizesBeforeTheDialog) {
  ImageFiles files;
  files.prev =
      BufferWith(Golden("SROM_256.bin"));  // a 16-byte manufacturer string
  EXPECT_FALSE(CheckEfuseConversion(files.prev, files.reporter));
  EXPECT_EQ(files.reporter.events(),
            (Events{"preview: ", "message: Manufacture String is over 10 bytes",
                    "picture: fail"}));
  files.reporter.clear();
  ImageArea(files.prev)[0x17] = 10;
  EXPECT_TRUE(CheckEfuseConversion(files.prev, files.reporter));
  EXPECT_EQ(files.reporter.events(), Events{"preview: "});
}

TEST(ConvertToEfuse, WritesTheDerivedImageAndKeepsTheEepromImage) {
  for (const int serial_no_type : {kSerialFromMac, kSerialFixed}) {
    SCOPED_TRACE(serial_no_type);
    ImageFiles files;
    files.settings.CurrentMac = "000000000001";
    files.prev = BufferWith(Golden("SROM_256.bin"));
    ImageArea(files.prev)[0x17] = 10;  // "VELK Elec." fits the eFuse
    const ImageBuffer eeprom = files.prev;

    EXPECT_TRUE(ConvertToEfuse(files.folders, files.settings, files.prev,
                               files.image_size, files.accepted, serial_no_type,
                               files.reporter));
    EXPECT_EQ(files.settings.SerialNoType, serial_no_type);
    EXPECT_EQ(files.image_size, 64);
    EXPECT_EQ(files.accepted.CurrentMac, "000000000001");
    EXPECT_EQ(WithoutListings(files.reporter.events()),
              (Events{"preview", "picture: pass"}));

    std::string expected = Golden("EFUSE.dat");
    ImageBuffer expected_prev = eeprom;
    if (serial_no_type == kSerialFixed) {
      // Flag bit 3 set: 0x7B, and the checksum one lower.
      expected = WithByte(WithByte(expected, 0x31, "7B"), 0x32, "BC");
      ImageArea(expected_prev)[0x0B] = 0x7B;
    }
    EXPECT_EQ(ReadBytes(files.folder / "EFUSE.dat"), expected);
    EXPECT_EQ(files.prev, expected_prev);
  }
}

}  // namespace
}  // namespace srom
