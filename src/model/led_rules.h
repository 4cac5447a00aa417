// The rules of the LED check boxes on LedSetting, LedUsb3 and LedWord. LedWord
// holds LED 0 in bits 0-4, LED 1 in bits 5-9, LED 2 in bits 10-14; bit 15 is
// never edited and is carried.
#pragma once

#include <array>
#include <cstdint>

#include "model/settings.h"

namespace srom {

// The bit of each LED box: "Active" 0, "10Mbps" 1, "100Mbps" 2, "Giga" 3,
// "Duplex" 4.
inline constexpr int kLedDuplexBit = 4;

// The five bits of LED `led` (0..2) in `word`.
std::uint8_t LedBits(std::uint16_t word, int led);

// `word` with the five bits of LED `led` replaced by `value`; all other bits,
// bit 15 included, unchanged.
std::uint16_t ReplaceLedBits(std::uint16_t word, int led, std::uint8_t value);

// `word` with the LED settings of all three LEDs OR-ed into their bits, as
// the LED handling first merges the loaded settings: bits already set stay.
std::uint16_t MergeLedSettings(std::uint16_t word,
                               const std::array<std::uint8_t, kLedCount>& leds);

// The value an LED ends with after its boxes' rules: a checked "USB3.0" makes
// it 0; otherwise a checked "Duplex" (bit 4) makes it exactly 0x10.
std::uint8_t LedValueAfterRules(std::uint8_t value, bool usb3);

// The LED's value after the box of `bit` was clicked and is now `checked`.
// "Active", "10Mbps", "100Mbps" and "Giga" set or clear their own bit; a
// checked "Duplex" stands alone (exactly 0x10), an unchecked one drops bit 4
// and keeps the others.
std::uint8_t LedValueAfterBoxClick(std::uint8_t value, int bit, bool checked);

// The LED's value after its "USB3.0" box was clicked: a checked box turns the
// LED's own bits off; an unchecked one leaves them as they are.
std::uint8_t LedValueAfterUsb3Click(std::uint8_t value, bool checked);

// The record side of applying the LED boxes: every LED's value follows its
// rules and its five bits in LedWord are replaced by it. This is what the
// LED handling leaves in the record once its boxes and refreshes are done.
void ApplyLedRules(SromSettings& settings);

}  // namespace srom
