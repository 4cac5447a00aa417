// Time as the operations see it: waits and the local time of log lines.
#pragma once

#include <cstdint>
#include <string>

namespace srom {

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// "YYYY-MM-DD HH:MM:SS", as records of units keep their times.
std::string FormatLocalTime(const LocalTime& time);

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

}  // namespace srom
