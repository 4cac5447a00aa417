// Timing units programmed on the simulated adapter against the adapter's own
// time: each request costs the adapter its latency, and what the tool (and
// its ledger) add on top is the ratio of the two.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>

#include "device/sim/simulated_adapter.h"
#include "ops/program.h"
#include "silent_panel.h"

namespace srom {

class UnitTiming {
 public:
  explicit UnitTiming(std::chrono::microseconds latency) : latency_(latency) {}

  // Programs one unit, timed; false (the benchmark told why) when it failed.
  bool Time(benchmark::State& state, SimulatedAdapter& adapter,
            const OpsContext& ctx, const SilentPanel& panel) {
    const long before = adapter.request_count();
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = RunSingleUnit(ctx);
    measured_ += std::chrono::steady_clock::now() - start;
    const long issued = adapter.request_count() - before;
    requests_ += issued;
    adapter_ += issued * latency_;
    if (outcome == Outcome::kOk && panel.result == ResultPicture::kPass) {
      return true;
    }
    state.SkipWithError(("unit failed: " + panel.last_message).c_str());
    return false;
  }

  // The requests per unit, and the measured time against the adapter's as
  // the counter `ratio_name`. The clock's waits cost nothing (FakeClock).
  void Report(benchmark::State& state, const char* ratio_name) const {
    const double units = static_cast<double>(state.iterations());
    state.counters["requests"] =
        units > 0 ? static_cast<double>(requests_) / units : 0;
    const double adapter = std::chrono::duration<double>(adapter_).count();
    state.counters[ratio_name] =
        adapter > 0 ? std::chrono::duration<double>(measured_).count() / adapter
                    : 0;
  }

 private:
  std::chrono::microseconds latency_;
  long requests_ = 0;
  std::chrono::microseconds adapter_{0};
  std::chrono::steady_clock::duration measured_{0};
};

}  // namespace srom
