// The data side of the refresh that follows every edit: validate the
// settings and rebuild the image of the current selection in the buffer.
// The window adds the status text, the messages and the preview around it.
#pragma once

#include <optional>

#include "model/image_buffer.h"
#include "model/settings.h"
#include "model/validation.h"

namespace srom {

struct RefreshResult {
  // Nothing was built: there is no valid selection.
  bool built = false;
  // The check that stopped the refresh; the buffer is then unchanged.
  std::optional<CheckFailure> failure;
  // The image area was blank and the default image was loaded first.
  bool loaded_default = false;
};

// EEPROM selections: CheckDataCorrect, a default image over a blank area
// (blank over `image_size` as it stood before), header and BuildSromImage.
// eFuse selections: BuildEfuseImage.
RefreshResult RefreshImageData(ImageBuffer& buffer, SromSettings& settings,
                               const BoxTexts& boxes,
                               const LastAccepted& accepted,
                               NumericValues& values, int& image_size);

}  // namespace srom
