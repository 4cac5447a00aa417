// The running program finds itself, so the window finds its folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ports/program_path.h"

namespace srom {
namespace {

namespace fs = std::filesystem;

TEST(ProgramPathTest, TheRunningProgramIsThisTestAndItsFolderHoldsIt) {
  const auto self = RunningProgramPath();
  ASSERT_TRUE(self);
  EXPECT_TRUE(fs::is_regular_file(*self)) << self->string();
  EXPECT_EQ(self->stem().string(), "ports_tests");
  const fs::path folder = ProgramFolderOf(*self);
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::equivalent(folder / self->filename(), *self));
  // A folder deeper than any fixed buffer is kept whole.
  const fs::path deep = fs::path(std::string(300, 'a')) / std::string(300, 'b');
  EXPECT_EQ(ProgramFolderOf(deep / "srom-tool"), deep);
}

}  // namespace
}  // namespace srom
