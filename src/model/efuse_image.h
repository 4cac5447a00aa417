// The 64-byte eFuse image: its refresh from the settings, its byte rules, its
// derivation from an EEPROM image and the MAC address it holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "model/default_images.h"
#include "model/image_buffer.h"
#include "model/settings.h"
#include "model/validation.h"

namespace srom {

// True when `value` is acceptable at eFuse position `position`; positions 64
// and above always are.
bool EfuseByteValid(std::size_t position, std::uint8_t value);

// The first position of a 64-byte image that fails EfuseByteValid, or -1.
int FirstInvalidEfuseByte(std::span<const std::uint8_t> image);

// Stores EfuseChecksum in byte 0x32 of a 64-byte image (taken with 0x32 read
// as 0xFF first).
void StoreEfuseChecksum(std::span<std::uint8_t> image);

// The chip's default eFuse image with its checksum stored, as an eFuse
// selection starts with.
EfuseImage DefaultEfuseImageWithChecksum(Chip chip);

// The MAC address (its 48-bit value) in bytes 0..5 of an eFuse image, first
// byte most significant.
void PutEfuseMac(std::span<std::uint8_t> image, std::uint64_t mac);

// Puts the default eFuse image of the selection's chip, checksum stored, into
// image offsets 0x00..0x3F of `buffer`.
void ResetEfuseImageArea(ImageBuffer& buffer, int device_sel);

struct EfuseBuildResult {
  // The MAC checks' failure; the image is then unchanged.
  std::optional<CheckFailure> failure;
  // The image area was blank and the default image was copied in (the window
  // shows the preview at that point too).
  bool loaded_default = false;
};

// The eFuse refresh: the MAC checks, the header for 32 words (`image_size`
// 64), the default image over a blank area (bytes 0x00..0x3E all 0xFF), then
// the MAC bytes, bit 3 of the flag byte from SerialNoType and the checksum.
// No other byte is written.
EfuseBuildResult BuildEfuseImage(ImageBuffer& buffer,
                                 const SromSettings& settings,
                                 const BoxTexts& boxes,
                                 const LastAccepted& accepted,
                                 NumericValues& values, int& image_size);

// Derives an eFuse image from the EEPROM image in `prev` (after the size
// checks passed and SerialNoType was chosen). With SerialNoType 1 it first
// sets bit 3 of the EEPROM flag byte in `prev`, the only change to `prev`.
EfuseImage DeriveEfuseImage(ImageBuffer& prev, int device_sel,
                            int serial_no_type);

// The MAC address of an eFuse image as twelve upper-case hex digits.
std::string EfuseMacText(std::span<const std::uint8_t> image);

}  // namespace srom
