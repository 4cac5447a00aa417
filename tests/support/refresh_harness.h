// The refresh that follows every edit, run as the tool runs it (the ops
// routine) but on loose state and without a window, for tests of the image
// model that need a whole refresh.
#pragma once

#include <optional>
#include <string>

#include "model/image_buffer.h"
#include "model/settings.h"

namespace srom {

struct RefreshFailure {
  std::string message;  // the check's message, the first one shown
};

struct RefreshRun {
  bool built = false;
  std::optional<RefreshFailure> failure;
  // The image area was blank and the chip's default image came in first.
  bool loaded_default = false;
};

// Refreshes `prev` from `settings` (the boxes showing the record) with a
// plugged-in simulated adapter; the state comes back changed as the window's
// would be.
RefreshRun RefreshWithoutWindow(ImageBuffer& prev, SromSettings& settings,
                                const LastAccepted& accepted,
                                NumericValues& values, int& image_size);

}  // namespace srom
