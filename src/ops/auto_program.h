// Automatic programming: a watch for an adapter every half second, and once
// one is plugged in a countdown of "Delay time" seconds, at whose end Program
// is pressed by itself. An adapter attached when the watch starts is left
// alone until it is unplugged and plugged in again; one pulled during the
// countdown is "Device lost!". After Program the watch goes on, and the next
// adapter is programmed once the last one has gone.
//
// A plain object driven by ticks: its owner keeps the timer (a window's timer
// or a terminal's sleep), counts the adapters, shows the numbers and runs the
// Program job; the object decides what each tick means.
#pragma once

#include <functional>
#include <optional>

namespace srom {

class AutoProgramWatch {
 public:
  static constexpr int kWatchPeriodMs = 500;
  static constexpr int kCountdownPeriodMs = 1000;

  // What one tick asks of the owner, in this order.
  struct Step {
    // The result picture and the output box are emptied: a countdown
    // starts, or the adapter count fell while watching.
    bool cleared = false;
    // The countdown number to show now.
    std::optional<int> shown;
    // The adapter went during the countdown: msg::kDeviceLost, a failed
    // result, and the watch again.
    bool device_lost = false;
    // The countdown ran out: run the Program job now. The watch goes on
    // after it.
    bool program = false;
  };

  // `delay_seconds` is the settings' "Delay time".
  explicit AutoProgramWatch(int delay_seconds) : delay_(delay_seconds) {}

  bool counting_down() const { return counting_down_; }
  // The time from this tick to the next: the watch's or the countdown's.
  int period_ms() const {
    return counting_down_ ? kCountdownPeriodMs : kWatchPeriodMs;
  }

  // One tick. `count` tells how many adapters are attached now; it is asked
  // only when the tick needs the number.
  Step Tick(const std::function<int()>& count);

 private:
  static constexpr int kNoCountYet = -1;

  void CountdownStep(Step& step, const std::function<int()>& count);

  int delay_;
  int previous_count_ = kNoCountYet;
  int countdown_ = 0;
  bool counting_down_ = false;
};

}  // namespace srom
