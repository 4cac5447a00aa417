// Ctrl-C, Ctrl-Break or a termination request during a srom-cli run: they
// only raise a flag. `auto` and the adapter loop look at it between units,
// and every wait looks at it too (for the next adapter, or for a line's
// ledger server that does not answer), so a unit that has begun always
// finishes with its files and its ledger record, kept in the station's
// outbox when the server is the wait.
#pragma once

#include <csignal>

#include "ports/clock.h"

namespace srom::cli {

// Whether a stop was requested since the last StopOnSignal began.
bool StopRequested();

// While it lives, the signals above raise the flag instead of ending the
// program; the handlers before it come back when it ends.
class StopOnSignal {
 public:
  StopOnSignal();
  ~StopOnSignal();
  StopOnSignal(const StopOnSignal&) = delete;
  StopOnSignal& operator=(const StopOnSignal&) = delete;

 private:
  using Handler = void (*)(int);
  Handler previous_int_ = SIG_DFL;
  Handler previous_term_ = SIG_DFL;
  Handler previous_break_ = SIG_DFL;
};

// Waits `ms` on the clock in short steps; false when a stop was requested.
bool WaitUnlessStopped(Clock& clock, int ms);

}  // namespace srom::cli
