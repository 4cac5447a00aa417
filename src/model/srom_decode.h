// Turning a loaded EEPROM image back into settings.
#pragma once

#include "model/image_buffer.h"
#include "model/settings.h"

namespace srom {

// Reads the fields the build writes from the image area of `buffer` into the
// settings: MAC, IDs, flag, the power bytes of the current chip, product and
// manufacturer strings, the serial number (keeping the window's first two
// characters), SW field, LedWord and LedSetting. The checksum, the carried
// bytes, the maximums, increments, BasedOnMac, SromSize and DeviceSel are
// neither read nor changed, and neither is LedUsb3: the window clears the
// LED boxes and applies the LED rules afterwards.
void DecodeSromImage(const ImageBuffer& buffer, SromSettings& settings);

}  // namespace srom
