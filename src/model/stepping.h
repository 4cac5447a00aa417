// Moving the MAC address and serial number on after a verified unit, the
// guard that refuses a unit at the maximum, and the serial number derived
// from the MAC address ("Based On Mac Address").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/settings.h"

namespace srom {

// Messages to show, in order. None of them stops the stepping.
using Notices = std::vector<std::string>;

struct StepInput {
  int step = 0;                // the increment the unit was programmed with
  int reread_step = 0;         // the increment read from its list again now
  std::uint64_t captured = 0;  // the value right after the unit's first write
};

// CurrentMacValue + step. Without "Bar Code" the sum is cross-checked against
// the captured value and the re-read step. A sum whose first octet turns odd
// skips to the next even octet, clamped to the maximum. Updates CurrentMac.
Notices StepMacAddress(SromSettings& settings, NumericValues& values,
                       const StepInput& input);

// CurrentSerialValue + step, cross-checked and clamped to the maximum; with
// "Based On Mac Address" the serial becomes its first two characters and the
// (already stepped) CurrentMac instead, with no sum and no message.
Notices StepSerialNumber(SromSettings& settings, NumericValues& values,
                         const StepInput& input);

// The message that refuses a unit whose MAC address or serial number equals
// its maximum (texts compared ignoring case), or nothing.
std::optional<std::string> RangeGuard(const SromSettings& settings);

// "Based On Mac Address": the serial number keeps its first two characters
// and takes the MAC address after them; the maximum serial is "FF" and the
// maximum MAC address.
std::string SerialFromMac(const std::string& serial, const std::string& mac);
std::string MaximumSerialFromMac(const std::string& maximum_mac);

// The record side of the "Based On Mac Address" box: checked derives the
// serial fields and increment from the MAC fields. Once the operator has
// clicked the box (ClickBasedOnMac), the fixed-serial flag and SerialNoType
// follow it too; until then the flag stays false and SerialNoType as it is.
void ApplyBasedOnMac(SromSettings& settings, bool checked);
// The operator's click on the box: from now on the flag follows it.
void ClickBasedOnMac(SromSettings& settings, bool checked);

}  // namespace srom
