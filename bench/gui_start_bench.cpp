// How much srom-tool adds to the start of any Qt window: the time from
// starting the process to the window's first paint, and the process's peak
// memory, of the real srom-tool on a prepared station against an empty
// QDialog of the same size (bare_dialog), all as whole processes on Qt's
// offscreen platform, interleaved in the same run. The same dialog with one
// line of text shows, for comparison, what Qt's fonts cost any window that
// shows text: the bare dialog never loads them before its first paint.
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
using srom::test::SpawnedProcess;
using srom::test::SpawnOptions;

constexpr double kTimeTarget = 1.3;
constexpr double kMemoryTarget = 1.3;

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
  const std::vector<std::string> tool_args = {"--dir", station.path().string()};
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

  const Series& tool_series = programs[0].series;
  const double tool_ms = Median(tool_series.ms);
  const double tool_kib = Median(tool_series.peak_kib);
  const double bare_ms = Median(programs[1].series.ms);
  const double bare_kib = Median(programs[1].series.peak_kib);
  const double text_ms = Median(programs[2].series.ms);
  const double text_kib = Median(programs[2].series.peak_kib);
  const double time_ratio = tool_ms / bare_ms;
  const double memory_ratio = tool_kib / bare_kib;
  const bool time_ok = time_ratio <= kTimeTarget;
  const bool memory_ok = memory_ratio <= kMemoryTarget;

  std::printf("Start to first paint, Qt offscreen, %d runs each\n", runs);
  std::printf("  %-12s %10s %10s %10s %14s\n", "", "median ms", "min ms",
              "max ms", "peak RSS MiB");
  for (const Program& p : programs) {
    std::printf("  %-12s %10.1f %10.1f %10.1f %14.1f\n", p.name,
                Median(p.series.ms),
                *std::min_element(p.series.ms.begin(), p.series.ms.end()),
                *std::max_element(p.series.ms.begin(), p.series.ms.end()),
                Median(p.series.peak_kib) / 1024.0);
  }
  std::printf("  srom-tool / bare dialog: time %.2f (target <= %.1f): %s\n",
              time_ratio, kTimeTarget, time_ok ? "met" : "MISSED");
  std::printf(
      "  srom-tool / bare dialog: peak memory %.2f (target <= %.1f): "
      "%s\n",
      memory_ratio, kMemoryTarget, memory_ok ? "met" : "MISSED");
  std::printf(
      "  for comparison, text dialog / bare dialog: time %.2f, peak "
      "memory %.2f;\n  srom-tool / text dialog: time %.2f, peak "
      "memory %.2f\n",
      text_ms / bare_ms, text_kib / bare_kib, tool_ms / text_ms,
      tool_kib / text_kib);
  return time_ok && memory_ok ? 0 : 1;
}
