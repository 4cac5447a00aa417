// The refresh that follows every edit, and the "Default" image it falls back
// on over a blank image area.
#pragma once

#include "ops/ops_context.h"

namespace srom {

// Validates the settings and rebuilds and shows the current image. A failed
// check shows its message (the field put back before it or focused after
// it), then msg::kCheckDataCorrectFail in the EEPROM selections; the image is
// then unchanged. True when the image was rebuilt.
bool RefreshImage(const OpsContext& ctx);

// Refills the buffer with 0xFF and, in an EEPROM selection, the chip's
// default image; shows it.
void LoadDefaultImage(const OpsContext& ctx);

// Shows a check's failure as the window does: put back, message, focus.
void ReportCheckFailure(OperatorPanel& panel, const CheckFailure& failure);

}  // namespace srom
