#include "cli/stop_signal.h"

#include <algorithm>

namespace srom::cli {
namespace {

volatile std::sig_atomic_t g_stop_requested = 0;

void RequestStop(int) { g_stop_requested = 1; }

}  // namespace

bool StopRequested() { return g_stop_requested != 0; }

StopOnSignal::StopOnSignal() {
  g_stop_requested = 0;
  previous_int_ = std::signal(SIGINT, RequestStop);
#ifdef SIGTERM
  previous_term_ = std::signal(SIGTERM, RequestStop);
#endif
#ifdef SIGBREAK
  previous_break_ = std::signal(SIGBREAK, RequestStop);
#endif
}

StopOnSignal::~StopOnSignal() {
  std::signal(SIGINT, previous_int_);
#ifdef SIGTERM
  std::signal(SIGTERM, previous_term_);
#endif
#ifdef SIGBREAK
  std::signal(SIGBREAK, previous_break_);
#endif
}

bool WaitUnlessStopped(Clock& clock, int ms) {
  constexpr int kStepMs = 50;
  for (int waited = 0; waited < ms; waited += kStepMs) {
    if (StopRequested()) return false;
    clock.SleepMs(std::min(kStepMs, ms - waited));
  }
  return !StopRequested();
}

}  // namespace srom::cli
