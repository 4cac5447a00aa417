// Dump reads the adapter's memory back and keeps it as the current image
// when it is acceptable; Erase fills the EEPROM with 0xFF and dumps it.
#pragma once

#include "ops/adapter_loop.h"
#include "ops/ops_context.h"
#include "ops/outcome.h"

namespace srom {

// One adapter: read, check, keep and save.
Outcome RunSingleDump(const OpsContext& ctx);

// The Dump job: the output box emptied, then one dump, or the adapter loop
// when "MultiEnable" is checked (`loop` may be null: nothing runs then).
Outcome RunDumpJob(const OpsContext& ctx, AdapterLoop* loop);

// Erase without its busy state (the window enters and leaves it around
// this): in an EEPROM selection writes 0xFF over the whole EEPROM and runs
// the Dump job; an eFuse selection does nothing.
Outcome EraseEeprom(const OpsContext& ctx, AdapterLoop* loop);

}  // namespace srom
