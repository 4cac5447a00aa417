#include "ports/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace srom {

std::string FormatLocalTime(const LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year,
                t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

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

}  // namespace srom
