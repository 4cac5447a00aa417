#include "ports/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace srom {

void SystemClock::SleepMs(int milliseconds) {
  if (milliseconds > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

LocalTime SystemClock::Now() const {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &now);
#else
  localtime_r(&now, &tm);
#endif
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                   tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

void FakeClock::SleepMs(int milliseconds) {
  ++sleeps_;
  if (milliseconds > 0) slept_ms_ += milliseconds;
}

// The start time moved on by the whole seconds slept so far (days do not
// roll over; tests never sleep that long).
LocalTime FakeClock::Now() const {
  LocalTime t = start_;
  std::int64_t seconds =
      t.hour * 3600 + t.minute * 60 + t.second + slept_ms_ / 1000;
  seconds %= 24 * 3600;
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

}  // namespace srom
