// The verdict of the window's typing benches: two sets of times in
// microseconds, their medians and 90th percentiles side by side, and the
// ratio of the first median to the second against its target.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace srom::bench {

inline double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(p * (values.size() - 1) + 0.5);
  return values[at];
}

// Prints `title` and the table; 0 when the ratio meets `target`, 1 when not.
inline int ReportMedianRatio(const std::string& title, const char* measured,
                             const std::vector<double>& measured_us,
                             const char* anchor,
                             const std::vector<double>& anchor_us,
                             double target) {
  const double ratio =
      Percentile(measured_us, 0.5) / Percentile(anchor_us, 0.5);
  const bool ok = ratio <= target;
  const int width = static_cast<int>(
      std::max(std::string(measured).size(), std::string(anchor).size()));
  std::printf("%s\n", title.c_str());
  std::printf("  %-*s %12s %12s\n", width, "", "median us", "p90 us");
  std::printf("  %-*s %12.1f %12.1f\n", width, measured,
              Percentile(measured_us, 0.5), Percentile(measured_us, 0.9));
  std::printf("  %-*s %12.1f %12.1f\n", width, anchor,
              Percentile(anchor_us, 0.5), Percentile(anchor_us, 0.9));
  std::printf("  ratio %.2f (target <= %.1f): %s\n", ratio, target,
              ok ? "met" : "MISSED");
  return ok ? 0 : 1;
}

}  // namespace srom::bench
