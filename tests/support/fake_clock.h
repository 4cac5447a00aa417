// A clock for tests: a sleep advances the time at once and is remembered, so
// the 1 s / 3 s / 5 s waits of the operations cost nothing.
#pragma once

#include <cstdint>
#include <functional>

#include "ports/clock.h"

namespace srom {

class FakeClock : public Clock {
 public:
  explicit FakeClock(LocalTime start = {}) : start_(start) {}
  void SleepMs(int milliseconds) override;
  LocalTime Now() const override;

  std::int64_t slept_ms() const { return slept_ms_; }
  int sleeps() const { return sleeps_; }
  void set_now(LocalTime now) {
    start_ = now;
    slept_ms_ = 0;
  }
  // Runs on the sleeping thread at each sleep, before the time moves on:
  // what happens "while" the operation waits (an operator's edit during an
  // eFuse unit's retry wait). Set it before the operation starts.
  std::function<void(int milliseconds)> during_sleep;

 private:
  LocalTime start_;
  std::int64_t slept_ms_ = 0;
  int sleeps_ = 0;
};

}  // namespace srom
