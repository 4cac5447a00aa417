// The EEPROM read against an adapter whose driver takes 100 us a request: the
// read must cost no more than its requests, give or take 2 %.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "device/device_operations.h"
#include "device/sim/simulated_adapter.h"
#include "model/image_buffer.h"
#include "ports/reporter.h"
#include "model/messages.h"

namespace srom {
namespace {

constexpr auto kLatency = std::chrono::microseconds(100);

// Takes the listing like the window would and keeps nothing.
class DiscardingReporter : public Reporter {
 public:
  void ShowMessage(const std::string&) override {}
  void SetStatus(const std::string&) override {}
  void SetResultPicture(ResultPicture) override {}
  void ShowPreview(const std::string& listing) override {
    benchmark::DoNotOptimize(listing.data());
  }
};

// Counters: `requests`, the requests of one read (the protocol minimum with
// a busy bit that clears at once: 5 a word), and `overhead_ratio`, the
// measured time over requests x latency.
void BM_ReadEeprom(benchmark::State& state) {
  const int bytes = static_cast<int>(state.range(0));
  SimulatedAdapter sim(bytes);
  sim.set_latency(kLatency);
  sim.set_logging(false);
  DiscardingReporter reporter;
  DeviceAccess device(sim, reporter);
  ImageBuffer buffer = BlankBuffer();
  int image_size = 0;

  std::chrono::steady_clock::duration elapsed{};
  long requests = 0;
  for (auto _ : state) {
    const long before = sim.request_count();
    const auto start = std::chrono::steady_clock::now();
    const std::string result =
        device.ReadEeprom(buffer, bytes == 512 ? 1 : 0, image_size);
    elapsed += std::chrono::steady_clock::now() - start;
    requests += sim.request_count() - before;
    if (result != msg::kReadSuccess) {
      state.SkipWithError("the read failed");
      return;
    }
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["requests"] = static_cast<double>(requests) / iterations;
  state.counters["overhead_ratio"] =
      std::chrono::duration<double>(elapsed).count() /
      (static_cast<double>(requests) *
       std::chrono::duration<double>(kLatency).count());
}

BENCHMARK(BM_ReadEeprom)
    ->Arg(256)
    ->Arg(512)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace srom
