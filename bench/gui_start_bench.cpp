// What srom-tool's start-up adds to its own widgets: the time from starting
// the process to the window's first paint, and the process's peak memory, of
// the real srom-tool on a prepared station against the same window built
// from the layout table with no logic, no station and no device
// (layout_window), all as whole processes on Qt's offscreen platform,
// interleaved in the same run. srom-tool starts as a station with the maker's
// driver shows it: the window alone, with no simulator's panel beside it.
//
// For comparison, an empty QDialog of the window's size (bare_dialog) and the
// same dialog with one line of text, which shows what Qt's fonts cost any
// window that shows text.
//
// Targets: srom-tool / layout window <= 1.15 for the median time and
// <= 1.10 for the median peak memory.
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

#if !defined(SROM_TOOL_PATH) || !defined(LAYOUT_WINDOW_PATH) || \
    !defined(BARE_DIALOG_PATH)
#error "SROM_TOOL_PATH, LAYOUT_WINDOW_PATH and BARE_DIALOG_PATH name the programs measured"
#endif

namespace {

using namespace std::chrono_literals;
using srom::test::SpawnedProcess;
using srom::test::SpawnOptions;

constexpr double kTimeTarget = 1.15;
constexpr double kMemoryTarget = 1.10;

struct Run {
  double ms = 0;      // start to the first-paint line
  long peak_kib = 0;  // peak resident memory of the whole process
};

// One start of `program` until its first-paint line, then its end.
std::optional<Run> StartOnce(const std::string& program,
                             const std::vector<std::string>& args) {
  SpawnOptions options;
  options.set_env = {"QT_QPA_PLATFORM=offscreen",
                     "SROM_TOOL_EXIT_AFTER_FIRST_PAINT=1"};
  options.err = srom::test::Stream::kNull;
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
  // SROM.dat are there.
  srom::test::TempFolder station;
  srom::test::WriteBytes(station / "EEPROM.dat",
                         srom::FormatEepromDat(srom::SromSettings{}));
  srom::test::WriteBytes(station / "SROM.dat", "FF FF FF FF\r\n");
  const std::string tool = SROM_TOOL_PATH;
  const std::vector<std::string> tool_args = {"--dir", station.path().string(),
                                              "--no-sim-panel"};
  const std::string bare = BARE_DIALOG_PATH;

  // The programs measured, started in turn, each round in a rotated order
  // so that none always runs on a warmer machine. The first start of each
  // is a warm-up (srom-tool's creates the ledger).
  struct Program {
    const char* name;
    std::string path;
    std::vector<std::string> args;
    Series series;
  };
  std::vector<Program> programs = {
      {"srom-tool", tool, tool_args, {}},
      {"layout window", LAYOUT_WINDOW_PATH, {}, {}},
      {"bare dialog", bare, {}, {}},
      {"text dialog", bare, {"--text"}, {}},
  };
  for (Program& p : programs) {
    if (!StartOnce(p.path, p.args)) return 2;
  }
  for (int i = 0; i < runs; ++i) {
    for (std::size_t k = 0; k < programs.size(); ++k) {
      Program& p = programs[(i + k) % programs.size()];
      const auto run = StartOnce(p.path, p.args);
      if (!run) return 2;
      p.series.Add(*run);
    }
  }

  const auto median_ms = [&](std::size_t i) {
    return Median(programs[i].series.ms);
  };
  const auto median_kib = [&](std::size_t i) {
    return Median(programs[i].series.peak_kib);
  };
  const double time_ratio = median_ms(0) / median_ms(1);
  const double memory_ratio = median_kib(0) / median_kib(1);
  const bool time_ok = time_ratio <= kTimeTarget;
  const bool memory_ok = memory_ratio <= kMemoryTarget;

  std::printf("Start to first paint, Qt offscreen, %d runs each\n", runs);
  std::printf("  %-14s %10s %10s %10s %14s\n", "", "median ms", "min ms",
              "max ms", "peak RSS MiB");
  for (const Program& p : programs) {
    std::printf("  %-14s %10.1f %10.1f %10.1f %14.1f\n", p.name,
                Median(p.series.ms),
                *std::min_element(p.series.ms.begin(), p.series.ms.end()),
                *std::max_element(p.series.ms.begin(), p.series.ms.end()),
                Median(p.series.peak_kib) / 1024.0);
  }
  std::printf(
      "  srom-tool / layout window: time %.2f (target <= %.2f): %s\n",
      time_ratio, kTimeTarget, time_ok ? "met" : "MISSED");
  std::printf(
      "  srom-tool / layout window: peak memory %.2f (target <= %.2f): "
      "%s\n",
      memory_ratio, kMemoryTarget, memory_ok ? "met" : "MISSED");
  std::printf(
      "  for comparison, against the bare dialog: srom-tool time %.2f, peak "
      "memory %.2f;\n  layout window time %.2f, peak memory %.2f; text "
      "dialog time %.2f, peak memory %.2f\n",
      median_ms(0) / median_ms(2), median_kib(0) / median_kib(2),
      median_ms(1) / median_ms(2), median_kib(1) / median_kib(2),
      median_ms(3) / median_ms(2), median_kib(3) / median_kib(2));
  return time_ok && memory_ok ? 0 : 1;
}
