#include "user_station.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <variant>

#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace srom {
namespace {

struct FolderCase {
  const char* name;
  const char* xdg_data_home;
  const char* home;
  const char* folder;  // null: refused
};

// ctest lists the case by its name rather than its bytes.
void PrintTo(const FolderCase& c, std::ostream* out) { *out << c.name; }

// The XDG rules: an absolute XDG_DATA_HOME wins; an unset, empty or relative
// one falls back to HOME's .local/share; without an absolute HOME the
// operator is told to name the folder.
constexpr FolderCase kFolderCases[] = {
    {"xdg", "/data/u", "/home/u", "/data/u/srom-tool/station"},
    {"xdg_trailing_slash", "/data/u/", "/home/u", "/data/u/srom-tool/station"},
    {"no_xdg", nullptr, "/home/u", "/home/u/.local/share/srom-tool/station"},
    {"empty_xdg", "", "/home/u", "/home/u/.local/share/srom-tool/station"},
    {"relative_xdg", "data", "/home/u",
     "/home/u/.local/share/srom-tool/station"},
    {"no_home", nullptr, nullptr, nullptr},
    {"relative_home", "", "home/u", nullptr},
};

class UserStationFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(UserStationFolderTest, FollowsTheDataFolderRules) {
  const FolderCase& c = GetParam();
  const auto folder = UserStationFolder(c.xdg_data_home, c.home);
  if (c.folder == nullptr) {
    ASSERT_TRUE(std::holds_alternative<std::string>(folder));
    EXPECT_NE(std::get<std::string>(folder).find("--dir"), std::string::npos);
  } else {
    ASSERT_TRUE(std::holds_alternative<fs::path>(folder));
    EXPECT_EQ(std::get<fs::path>(folder), fs::path(c.folder));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, UserStationFolderTest,
                         ::testing::ValuesIn(kFolderCases),
                         [](const auto& info) { return info.param.name; });

// The folder is made in a real folder, beside what is already there.
class MakeStationFolderTest : public ::testing::Test {
 protected:
  test::TempFolder root_;
};

TEST_F(MakeStationFolderTest, MakesTheMissingFoldersAndKeepsAnExistingOne) {
  const fs::path folder = root_.path() / "share" / "srom-tool" / "station";
  EXPECT_EQ(MakeStationFolder(folder), "");
  std::ofstream(folder / "EEPROM.dat") << "kept";
  EXPECT_EQ(MakeStationFolder(folder), "");
  EXPECT_TRUE(fs::exists(folder / "EEPROM.dat"));
}

TEST_F(MakeStationFolderTest, NamesTheFolderWhenAFileStandsInItsWay) {
  std::ofstream(root_.path() / "srom-tool") << "not a folder";
  const fs::path folder = root_.path() / "srom-tool" / "station";
  const std::string message = MakeStationFolder(folder);
  EXPECT_NE(message.find(folder.string()), std::string::npos) << message;
  EXPECT_NE(message.find("cannot be made"), std::string::npos) << message;
}

}  // namespace
}  // namespace srom
