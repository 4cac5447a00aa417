// A seam for crash tests: with SROM_CRASH_AT=<k> in the environment the
// process ends abruptly, as a kill -9 or a power cut would end it, at the
// k-th crash point it passes. Without the variable a crash point does
// nothing. The points sit between the file and device steps of a unit, so
// that a test can stop the tool at every one of them in turn.
#pragma once

namespace srom {

void CrashPoint();

}  // namespace srom
