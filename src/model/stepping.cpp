#include "model/stepping.h"

#include <algorithm>
#include <cctype>

#include "model/hex_text.h"
#include "model/messages.h"

namespace srom {
namespace {

constexpr std::uint64_t kMacMulticastBit = std::uint64_t{1} << 40;

// "%0*X%08X" of the upper and the lower 32 bits.
std::string FormatSplit(std::uint64_t v, int upper_width) {
  return FormatHex(v >> 32, upper_width) + FormatHex(v & 0xFFFFFFFFu, 8);
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

std::string FirstTwo(const std::string& text) { return text.substr(0, 2); }

// The sum cross-checked: the value captured at the unit's first write plus
// the increment read from its list again must give the same number.
bool SumAgrees(const StepInput& input, std::uint64_t sum) {
  return input.captured + static_cast<std::uint64_t>(input.reread_step) == sum;
}

// A stepped value past its maximum stays at the maximum, with a notice.
std::uint64_t ClampToMaximum(std::uint64_t v, std::uint64_t maximum,
                             const char* notice, Notices& notices) {
  if (v <= maximum) return v;
  notices.push_back(notice);
  return maximum;
}

}  // namespace

Notices StepMacAddress(SromSettings& settings, NumericValues& values,
                       const StepInput& input) {
  Notices notices;
  std::uint64_t v =
      values.CurrentMacValue + static_cast<std::uint64_t>(input.step);
  if (!settings.BarCode && !SumAgrees(input, v)) {
    notices.push_back(msg::kMacIncreasingError);
  }
  // A first octet with bit 0 set would be a multicast address: move on to the
  // next even octet, the lower five octets unchanged.
  if ((v & kMacMulticastBit) != 0) {
    v = ClampToMaximum(v + kMacMulticastBit, values.MaximumMacValue,
                       msg::kMacReachedMaximum, notices);
  }
  values.CurrentMacValue = v;
  settings.CurrentMac = FormatSplit(v, 4);
  return notices;
}

std::string SerialFromMac(const std::string& serial, const std::string& mac) {
  return FirstTwo(serial) + mac;
}

std::string MaximumSerialFromMac(const std::string& maximum_mac) {
  return "FF" + maximum_mac;
}

Notices StepSerialNumber(SromSettings& settings, NumericValues& values,
                         const StepInput& input) {
  if (settings.BasedOnMac) {
    settings.CurrentSerial =
        SerialFromMac(settings.CurrentSerial, settings.CurrentMac);
    return {};
  }
  Notices notices;
  std::uint64_t v =
      values.CurrentSerialValue + static_cast<std::uint64_t>(input.step);
  if (!SumAgrees(input, v)) notices.push_back(msg::kSerialIncreasingError);
  v = ClampToMaximum(v, values.MaximumSerialValue, msg::kSerialReachedMaximum,
                     notices);
  values.CurrentSerialValue = v;
  settings.CurrentSerial = FormatSplit(v, 6);
  return notices;
}

std::optional<std::string> RangeGuard(const SromSettings& settings) {
  if (EqualIgnoringCase(settings.CurrentMac, settings.MaximumMac)) {
    return msg::kMacAtMaximum;
  }
  if (EqualIgnoringCase(settings.CurrentSerial, settings.MaximumSerial)) {
    return msg::kSerialAtMaximum;
  }
  return std::nullopt;
}

void ApplyBasedOnMac(SromSettings& settings, bool checked) {
  settings.BasedOnMac = checked;
  if (checked) {
    settings.CurrentSerial =
        SerialFromMac(settings.CurrentSerial, settings.CurrentMac);
    settings.MaximumSerial = MaximumSerialFromMac(settings.MaximumMac);
    settings.SerialIncrement = settings.MacIncrement;
  }
  // Until the operator first clicks the box, neither the box's state as
  // loaded nor a new layout fixes the serial number.
  if (!settings.BasedOnMacClicked) return;
  settings.FixedSerial = !checked;
  settings.SerialNoType = checked ? kSerialFromMac : kSerialFixed;
}

void ClickBasedOnMac(SromSettings& settings, bool checked) {
  settings.BasedOnMacClicked = true;
  ApplyBasedOnMac(settings, checked);
}

}  // namespace srom
