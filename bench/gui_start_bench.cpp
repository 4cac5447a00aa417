// How much srom-tool adds to the start of any Qt window: the time from
// starting the process to the window's first paint, and the process's peak
// memory, of the real srom-tool on a prepared station against an empty
// QDialog of the same size (bare_dialog), both as whole processes on Qt's
// offscreen platform, interleaved in the same run.
//
// Targets: srom-tool / bare dialog <= 1.3 for the median time and for the
// median peak memory.
//
//   gui_start_bench [runs]     (default 20 runs of each)
//
// Exit status: 0 both targets met, 1 a target missed, 2 no measurement.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "files/eeprom_dat.h"
#include "model/settings.h"
#include "support/spawned_process.h"
#include "support/temp_folder.h"

#if !defined(SROM_TOOL_PATH) || !defined(BARE_DIALOG_PATH)
#error "SROM_TOOL_PATH and BARE_DIALOG_PATH name the programs measured"
#endif

namespace {

using namespace std::chrono_literals;
using srom::testing::SpawnedProcess;
using srom::testing::SpawnOptions;

constexpr double kTimeTarget = 1.3;
constexpr double kMemoryTarget = 1.3;

struct Run {
  double ms = 0;        // start to the first-paint line
  long peak_kib = 0;    // peak resident memory of the whole process
};

// One start of `program` until its first-paint line, then its end.
std::optional<Run> StartOnce(const std::string& program,
                             const std::vector<std::string>& args) {
  SpawnOptions options;
  options.set_env = {"QT_QPA_PLATFORM=offscreen",
                     "SROM_TOOL_EXIT_AFTER_FIRST_PAINT=1"};
  options.quiet_stderr = true;
  const auto start = SpawnedProcess::Clock::now();
  SpawnedProcess child = SpawnedProcess::Start(program, args, options);
  for (;;) {
    const auto line = child.ReadLine(30s);
    if (!line) {
      std::cerr << program << " never painted its window\n";
      return std::nullopt;
    }
    if (*line == "first paint") break;
  }
  const auto painted = SpawnedProcess::Clock::now();
  const auto end = child.WaitFor(30s);
  if (!end || end->exit_code() != 0) {
    std::cerr << program << " did not end well after its first paint\n";
    return std::nullopt;
  }
  return Run{std::chrono::duration<double, std::milli>(painted - start).count(),
             end->peak_rss_kib()};
}

template <typename T>
double Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? static_cast<double>(values[n / 2])
                    : (static_cast<double>(values[n / 2 - 1]) +
                       static_cast<double>(values[n / 2])) /
                          2.0;
}

struct Series {
  std::vector<double> ms;
  std::vector<long> peak_kib;
  void Add(const Run& run) {
    ms.push_back(run.ms);
    peak_kib.push_back(run.peak_kib);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

  // A station that opens without a message box: its settings file and its
  // SROM.dat are there. The first start creates the ledger; it is a warm-up,
  // as is the first start of the bare dialog.
  srom::testing::TempFolder station;
  srom::testing::WriteBytes(station / "EEPROM.dat",
                            srom::FormatEepromDat(srom::SromSettings{}));
  srom::testing::WriteBytes(station / "SROM.dat", "FF FF FF FF\r\n");
  const std::string tool = SROM_TOOL_PATH;
  const std::vector<std::string> tool_args = {"--dir", station.path().string()};
  const std::string bare = BARE_DIALOG_PATH;

  if (!StartOnce(tool, tool_args) || !StartOnce(bare, {})) return 2;

  Series tool_series, bare_series;
  for (int i = 0; i < runs; ++i) {
    // Each pair in turn order, so that neither always runs on a warmer
    // machine.
    const bool tool_first = i % 2 == 0;
    for (int k = 0; k < 2; ++k) {
      const bool is_tool = (k == 0) == tool_first;
      const auto run = is_tool ? StartOnce(tool, tool_args) : StartOnce(bare, {});
      if (!run) return 2;
      (is_tool ? tool_series : bare_series).Add(*run);
    }
  }

  const double tool_ms = Median(tool_series.ms);
  const double bare_ms = Median(bare_series.ms);
  const double tool_kib = Median(tool_series.peak_kib);
  const double bare_kib = Median(bare_series.peak_kib);
  const double time_ratio = tool_ms / bare_ms;
  const double memory_ratio = tool_kib / bare_kib;
  const bool time_ok = time_ratio <= kTimeTarget;
  const bool memory_ok = memory_ratio <= kMemoryTarget;

  std::printf("Start to first paint, Qt offscreen, %d runs each (medians)\n",
              runs);
  std::printf("  %-12s %10s %10s %10s %14s\n", "", "median ms", "min ms",
              "max ms", "peak RSS MiB");
  const auto row = [](const char* name, const Series& s, double ms,
                      double kib) {
    std::printf("  %-12s %10.1f %10.1f %10.1f %14.1f\n", name, ms,
                *std::min_element(s.ms.begin(), s.ms.end()),
                *std::max_element(s.ms.begin(), s.ms.end()), kib / 1024.0);
  };
  row("srom-tool", tool_series, tool_ms, tool_kib);
  row("bare dialog", bare_series, bare_ms, bare_kib);
  std::printf("  time ratio   %.2f (target <= %.1f): %s\n", time_ratio,
              kTimeTarget, time_ok ? "met" : "MISSED");
  std::printf("  memory ratio %.2f (target <= %.1f): %s\n", memory_ratio,
              kMemoryTarget, memory_ok ? "met" : "MISSED");
  return time_ok && memory_ok ? 0 : 1;
}
