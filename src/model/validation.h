// The checks that run before an image is built: CheckDataCorrect for the
// EEPROM selections, the MAC checks of the eFuse refresh and the size checks
// of the eFuse conversion. Each stops at its first failure and says what the
// window must do; none of them shows anything itself.
#pragma once

#include <optional>
#include <string>

#include "model/fields.h"
#include "model/image_buffer.h"
#include "model/settings.h"

namespace srom {

// What follows the message: the box shows its last accepted text again
// (before the message), or the box gets the focus (after it) and keeps the
// rejected text, or nothing else happens.
enum class Remedy { kNone, kPutBack, kFocus };

// Each check of the settings, named for what it refuses.
enum class CheckId {
  kNone,
  kBusPowerTooLow,
  kSelfPowerTooLow,
  kVendorIdTooShort,
  kVendorIdTooLong,
  kProductIdTooShort,
  kProductIdTooLong,
  kVendorIdNotHex,
  kProductIdNotHex,
  kCurrentMacTooShort,
  kCurrentMacTooLong,
  kCurrentMacNotHex,
  kMaximumMacTooShort,
  kMaximumMacTooLong,
  kMaximumMacNotHex,
  kSwFieldTooShort,
  kSwFieldTooLong,
  kSwFieldNotHex,
  kMacMulticast,
  kMacAboveMaximum,
  kCurrentSerialTooShort,
  kCurrentSerialTooLong,
  kMaximumSerialTooShort,
  kMaximumSerialTooLong,
  kCurrentSerialNotHex,
  kMaximumSerialNotHex,
  kSerialAboveMaximum,
  kManufacturerTooLong,
  kManufacturerNotPrintable,
  kProductTooLong,
  kProductNotPrintable,
  kFlagTooLong,
  kFlagBit3Set,
  kFlagNotHex,
};

struct CheckFailure {
  CheckId check = CheckId::kNone;
  std::string message;
  Field field = Field::kNone;
  Remedy remedy = Remedy::kNone;
  std::string put_back_text;  // the LastAccepted text, for Remedy::kPutBack

  bool operator==(const CheckFailure&) const = default;
};

// A put-back where no window stands between the operator and the record
// (srom-cli, tests): the record takes the accepted text, and a power box's
// rule keeps the derived rows in step, as typing it would.
void PutBackIntoRecord(SromSettings& settings, Field field,
                       const std::string& text);

// The LastAccepted entry of `field` takes the field's text from the record.
// Both power rows share one entry per column: the bus power entry follows
// whichever of "Super Speed" and "High Speed" was edited. "SW Field" has no
// entry.
void RememberAccepted(LastAccepted& accepted, const SromSettings& settings,
                      Field field);

// Validates the settings of an EEPROM selection. On success it stores the four
// numeric values and replaces an empty or blank-led Manufacturer or Product by
// its last accepted text. On failure the effects of the checks that passed stay
// (the MAC values once the MAC checks passed, the string replacements).
//
// Every text must fit its box (MAC 12, serial 14, IDs and SW field 4, flag 2,
// strings 24 characters): a longer one would reach the image cut short or
// contradict its own length byte. The strings must be printable ASCII without
// the double quote, which the settings file cannot hold; otherwise the unit
// would be programmed and logged and only the save after it refused.
std::optional<CheckFailure> CheckDataCorrect(SromSettings& settings,
                                             const BoxTexts& boxes,
                                             const LastAccepted& accepted,
                                             NumericValues& values);

// The MAC checks of the eFuse refresh. Non-hex characters are refused (after
// the length checks, before the bit-0 check) because they would otherwise burn
// an arbitrary byte into one-time memory. Stores both MAC values on success.
// The settings file is saved after every eFuse unit as well, so after the MAC
// checks every text must fit its box and the strings' characters must be ones
// the file can hold, as in CheckDataCorrect.
std::optional<CheckFailure> CheckEfuseMac(const SromSettings& settings,
                                          const BoxTexts& boxes,
                                          const LastAccepted& accepted,
                                          NumericValues& values);

// The size checks of the eFuse conversion on the EEPROM image in `buffer`;
// returns the message of the first that fails.
std::optional<std::string> CheckEfuseConversionSizes(const ImageBuffer& buffer);

}  // namespace srom
