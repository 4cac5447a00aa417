#include "fake_clock.h"

namespace srom {

void FakeClock::SleepMs(int milliseconds) {
  if (during_sleep) during_sleep(milliseconds);
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
