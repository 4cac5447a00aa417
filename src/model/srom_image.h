// Encoding the settings into the EEPROM image, the per-position byte rules,
// the hex listing of an image and the default image of a selection.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "model/image_buffer.h"
#include "model/settings.h"

namespace srom {

// Writes the fields the settings own into the image area of `buffer`; every
// other byte is carried as it is. Assumes CheckDataCorrect has just passed,
// so the hex texts have their full lengths.
void BuildSromImage(ImageBuffer& buffer, const SromSettings& settings);

// The MAC address (twelve hex digits, first byte first) and the serial
// number's characters (at most 14) in their places of the EEPROM image.
void PutSromMac(std::span<std::uint8_t, kImageAreaSize> area,
                const std::string& mac);
void PutSromSerial(std::span<std::uint8_t, kImageAreaSize> area,
                   const std::string& serial);

// True when `value` is acceptable at EEPROM image offset `position`.
bool SromByteValid(std::size_t position, std::uint8_t value);

// The first failing position of the first `image_size` bytes of the image
// area, or -1 when every byte passes SromByteValid.
int FirstInvalidSromByte(const ImageBuffer& buffer, int image_size);

// The hex listing the output box shows: "%02X " per byte, CR LF after every
// 16th byte, over the first `image_size` bytes of the image area.
std::string FormatImagePreview(const ImageBuffer& buffer, int image_size);

// The image part of the "Default" action: all 520 bytes become 0xFF,
// `image_size` becomes 256 or 512 by `srom_size`, and for an EEPROM selection
// the chip's default EEPROM image fills the first `image_size` bytes.
void LoadDefaultImageArea(ImageBuffer& buffer, int device_sel, int srom_size,
                          int& image_size);

}  // namespace srom
