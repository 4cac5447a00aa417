// Time as the operations see it: waits and the local time of log lines.
#pragma once

#include <cstdint>

namespace srom {

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void SleepMs(int milliseconds) = 0;
  virtual LocalTime Now() const = 0;
};

// The machine's clock: real sleeps, the local time of the operating system.
class SystemClock : public Clock {
 public:
  void SleepMs(int milliseconds) override;
  LocalTime Now() const override;
};

// A clock for tests: a sleep advances the time at once and is remembered, so
// the 1 s / 3 s / 5 s waits of the operations cost nothing.
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

 private:
  LocalTime start_;
  std::int64_t slept_ms_ = 0;
  int sleeps_ = 0;
};

}  // namespace srom
