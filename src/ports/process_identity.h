// Which process is which: this process's number and start, and whether a
// process named in a file (the lock's holder, a temporary file's writer)
// still runs. A number alone can be taken again by a later process; with its
// start it names one process for good.
#pragma once

#include <cstdint>
#include <optional>

namespace srom {

unsigned long CurrentPid();

// When process `pid` started, as a number that differs between two processes
// that had the same pid (Linux: clock ticks after boot from /proc; Windows:
// the creation time). Nothing where the system does not tell it, or when
// there is no such process.
std::optional<std::uint64_t> ProcessStartToken(unsigned long pid);

// This process's own start token, read once.
std::optional<std::uint64_t> CurrentProcessStartToken();

// Whether process `pid` runs now. A process this user may not look at
// counts as running, so that nothing of a live program is ever taken for
// left behind.
bool ProcessIsRunning(unsigned long pid);

// Whether the process that was `pid` and started at `start` (when known)
// has ended: the pid is free, or it now names a process that started at
// another time. A start that cannot be read counts as the same process.
bool ProcessHasEnded(unsigned long pid, std::optional<std::uint64_t> start);

}  // namespace srom
