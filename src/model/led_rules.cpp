#include "model/led_rules.h"

namespace srom {

namespace {
constexpr int kBitsPerLed = 5;
}

std::uint8_t LedBits(std::uint16_t word, int led) {
  return static_cast<std::uint8_t>((word >> (kBitsPerLed * led)) &
                                   kLedValueMask);
}

std::uint16_t ReplaceLedBits(std::uint16_t word, int led, std::uint8_t value) {
  const int shift = kBitsPerLed * led;
  const auto mask = static_cast<std::uint16_t>(kLedValueMask << shift);
  return static_cast<std::uint16_t>((word & ~mask) |
                                    ((value & kLedValueMask) << shift));
}

std::uint16_t MergeLedSettings(
    std::uint16_t word, const std::array<std::uint8_t, kLedCount>& leds) {
  for (int led = 0; led < kLedCount; ++led) {
    word = static_cast<std::uint16_t>(word | leds[led] << (kBitsPerLed * led));
  }
  return word;
}

// The Duplex rule runs before the USB3.0 rule, so an LED with both ends at 0.
std::uint8_t LedValueAfterRules(std::uint8_t value, bool usb3) {
  if (usb3) return 0;
  if ((value & kLedDuplex) != 0) return kLedDuplex;
  return static_cast<std::uint8_t>(value & kLedValueMask);
}

std::uint8_t LedValueAfterBoxClick(std::uint8_t value, int bit, bool checked) {
  if (bit == kLedDuplexBit) {
    return checked
               ? kLedDuplex
               : static_cast<std::uint8_t>(value & ~kLedDuplex & kLedValueMask);
  }
  const auto mask = static_cast<std::uint8_t>(1u << bit);
  return static_cast<std::uint8_t>(checked ? (value | mask) & kLedValueMask
                                           : value & ~mask & kLedValueMask);
}

std::uint8_t LedValueAfterUsb3Click(std::uint8_t value, bool checked) {
  return checked ? std::uint8_t{0} : value;
}

void ApplyLedRules(SromSettings& settings) {
  for (int led = 0; led < kLedCount; ++led) {
    const std::uint8_t value =
        LedValueAfterRules(settings.LedSetting[led], settings.LedUsb3[led]);
    settings.LedSetting[led] = value;
    settings.LedWord = ReplaceLedBits(settings.LedWord, led, value);
  }
}

}  // namespace srom
