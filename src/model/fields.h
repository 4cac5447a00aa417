// The settings' text fields that a box of the window shows, one row each:
// where the text lives in the record, where its last accepted text lives,
// the box text the length checks measure, how many characters its box
// takes, and what its box lets in and shows. The data exchange, the checks,
// the put-back and the window's box rules all read this one table.
#pragma once

#include <span>
#include <string>

#include "model/settings.h"

namespace srom {

// The text fields, each shown in one box.
enum class Field {
  kNone,
  kSuperBusPower,
  kSuperSelfPower,
  kHighBusPower,
  kHighSelfPower,
  kFullBusPower,
  kFullSelfPower,
  kVendorId,
  kProductId,
  kCurrentMac,
  kMaximumMac,
  kSwField,
  kCurrentSerial,
  kMaximumSerial,
  kFlagByte,
  kManufacturer,
  kProduct,
};

// The texts the boxes show. The length checks measure these, not the record:
// after a put-back the box shows the accepted text while the record still
// holds the rejected one until the next exchange.
struct BoxTexts {
  std::string VendorId;
  std::string ProductId;
  std::string CurrentMac;
  std::string MaximumMac;
  std::string CurrentSerial;
  std::string MaximumSerial;
};

struct FieldInfo {
  Field field;
  std::string SromSettings::*record;
  // Its LastAccepted entry; null for a field that has none. Both power
  // rows share one entry per column.
  std::string LastAccepted::*accepted;
  // The box text the length checks measure; null: the record alone.
  std::string BoxTexts::*box;
  int limit;        // the characters its box takes
  bool hex;         // its box takes hex digits only, and shows upper case
  bool upper_case;  // its box shows letters in upper case
};

// A power box's characters.
inline constexpr int kPowerDigits = 3;
// "SW Field": four hex digits.
inline constexpr int kSwFieldDigits = 4;

// Every field but kNone, in Field's order.
std::span<const FieldInfo> AllFields();
// The row of `field`; kNone has none (do not ask for it).
const FieldInfo& InfoOf(Field field);

// The record's text of `field`; null for Field::kNone.
std::string* FieldText(SromSettings& settings, Field field);
const std::string* FieldText(const SromSettings& settings, Field field);
// The LastAccepted entry of `field`; null for a field that has none.
std::string* AcceptedEntry(LastAccepted& accepted, Field field);

// The boxes as they stand right after an exchange from the window.
BoxTexts BoxTextsOf(const SromSettings& settings);

}  // namespace srom
