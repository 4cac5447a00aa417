// Automatic programming's watch and countdown, tick by tick: each row gives
// the adapter count the ticks meet and what the owner is asked to do.
#include "ops/auto_program.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace srom {
namespace {

using ::testing::ElementsAreArray;

// One tick as a word: the count it met (or "-" when it asked none), then
// what it asked: "clear", a shown number, "lost", "program".
std::string TickWord(const AutoProgramWatch::Step& step,
                     const std::vector<int>& counts_asked) {
  std::string word;
  for (std::size_t i = 0; i < counts_asked.size(); ++i) {
    word += (i == 0 ? "" : "+") + std::to_string(counts_asked[i]);
  }
  if (word.empty()) word = "-";
  if (step.cleared) word += " clear";
  if (step.shown) word += " show " + std::to_string(*step.shown);
  if (step.device_lost) word += " lost";
  if (step.program) word += " program";
  return word;
}

struct WatchRow {
  const char* name;
  int delay;
  // The adapters attached at each tick.
  std::vector<int> attached;
  // Per tick: the counts it took, then what it asked for.
  std::vector<std::string> ticks;
  // The period to the next tick after the last one.
  int last_period_ms;
};
void PrintTo(const WatchRow& row, std::ostream* os) { *os << row.name; }

class AutoProgramWatchTest : public ::testing::TestWithParam<WatchRow> {};

TEST_P(AutoProgramWatchTest, TicksAskWhatTheRowSays) {
  const WatchRow& row = GetParam();
  AutoProgramWatch watch(row.delay);
  std::vector<std::string> ticks;
  for (const int attached : row.attached) {
    std::vector<int> asked;
    const auto step = watch.Tick([&] {
      asked.push_back(attached);
      return attached;
    });
    ticks.push_back(TickWord(step, asked));
  }
  EXPECT_THAT(ticks, ElementsAreArray(row.ticks));
  EXPECT_EQ(watch.period_ms(), row.last_period_ms);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AutoProgramWatchTest,
    ::testing::Values(
        // The countdown shows 3, 2, 1 with a count after each, then 0, and
        // Program without a further count.
        WatchRow{"PlugInCountsDownThenPrograms",
                 3,
                 {0, 1, 1, 1, 1},
                 {"0", "1+1 clear show 3", "1 show 2", "1 show 1",
                  "- show 0 program"},
                 500},
        WatchRow{"DelayZeroProgramsOnTheTickThatSeesIt",
                 0,
                 {0, 1},
                 {"0", "1 clear show 0 program"},
                 500},
        // Attached at the first count: no plug-in until it has gone.
        WatchRow{"AttachedAtTheStartWaitsForAReplug",
                 0,
                 {1, 1, 1, 0, 1},
                 {"1", "1", "1", "0 clear", "1 clear show 0 program"},
                 500},
        // After Program the same adapter is still there: nothing, until it
        // goes and the next one comes.
        WatchRow{"OneUnitPerPlugIn",
                 0,
                 {0, 1, 1, 1, 0, 0, 1},
                 {"0", "1 clear show 0 program", "1", "1", "0 clear", "0",
                  "1 clear show 0 program"},
                 500},
        // Pulled during the countdown: lost, and the watch's next tick sees
        // the count fall.
        WatchRow{"PulledDuringTheCountdownIsLost",
                 3,
                 {0, 1, 0, 0, 1},
                 {"0", "1+1 clear show 3", "0 show 2 lost", "0 clear",
                  "1+1 clear show 3"},
                 1000}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace srom
