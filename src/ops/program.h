// Program: write one adapter, read it back, compare, retry an eFuse, log the
// unit, step MAC address and serial number, save the settings, say pass or
// fail.
#pragma once

#include <string>

#include "ops/adapter_loop.h"
#include "ops/ops_context.h"
#include "ops/outcome.h"

namespace srom {

// The waits before the eFuse rewrites and between the final-mark attempts.
inline constexpr int kEfuseRetryWaitMs[] = {1000, 3000, 5000};
inline constexpr int kEfuseRewrites = 3;
inline constexpr int kEfuseFinalAttempts = 4;

// The line that tells the operator how the unit with MAC address `mac` came
// out: "PASS 00E04C000701" or "FAIL 00E04C000702".
std::string VerdictLine(bool passed, const std::string& mac);

// The single-unit sequence, on whichever thread calls it. The operator sees
// the result picture, the messages, the saved files and the stepped
// settings; the caller gets the outcome's class.
Outcome RunSingleUnit(const OpsContext& ctx);

// The Program job: the refresh, then one unit, or the adapter loop when
// "MultiEnable" is checked (`loop` may be null: nothing runs then), then the
// re-arm of automatic programming. With several adapters the first failure
// is the outcome.
Outcome RunProgramJob(const OpsContext& ctx, AdapterLoop* loop);

}  // namespace srom
