#include "model/validation.h"

#include <algorithm>

#include "model/chip_traits.h"
#include "model/hex_text.h"
#include "model/messages.h"
#include "model/srom_layout.h"

namespace srom {
namespace {

CheckFailure PutBack(CheckId check, std::string message, Field field,
                     const std::string& accepted_text) {
  return CheckFailure{check, std::move(message), field, Remedy::kPutBack,
                      accepted_text};
}

CheckFailure Focus(CheckId check, std::string message, Field field) {
  return CheckFailure{check, std::move(message), field, Remedy::kFocus, {}};
}

// Keeps the bytes above the parsed ones: only the low `bytes` are written.
void StoreLow(std::uint64_t& field, std::uint64_t parsed, int bytes) {
  const std::uint64_t mask = (std::uint64_t{1} << (8 * bytes)) - 1;
  field = (field & ~mask) | (parsed & mask);
}

bool FirstOctetOdd(const std::string& mac) {
  return (HexPairAt(mac, 0) & 0x01) != 0;
}

// The byte-wise comparison of the two addresses: the first differing byte
// decides, equal addresses are in order.
bool MacAboveMaximum(const std::string& current, const std::string& maximum) {
  for (std::size_t n = 0; n < 6; ++n) {
    const std::uint8_t cur = HexPairAt(current, n);
    const std::uint8_t max = HexPairAt(maximum, n);
    if (cur != max) return cur > max;
  }
  return false;
}

bool SerialAboveMaximum(const std::string& current,
                        const std::string& maximum) {
  for (std::size_t n = 0; n < kSerialDigits; ++n) {
    const auto cur = static_cast<unsigned char>(current[n]);
    const auto max = static_cast<unsigned char>(maximum[n]);
    if (cur != max) return cur > max;
  }
  return false;
}

bool BlankLed(const std::string& text) {
  return text.empty() || text[0] == ' ';
}

// How long a text may be: as long as its box takes (the field table's
// limit). A longer one would reach the image cut short, or give a length
// byte that contradicts the string. A field without a LastAccepted entry
// gets the focus instead of a put-back.
struct LengthRule {
  CheckId check;
  Field field;
  const char* message;
};

constexpr LengthRule kVendorIdFits{CheckId::kVendorIdTooLong, Field::kVendorId,
                                   msg::kVendorIdLength};
constexpr LengthRule kProductIdFits{CheckId::kProductIdTooLong,
                                    Field::kProductId, msg::kProductIdLength};
constexpr LengthRule kCurrentMacFits{
    CheckId::kCurrentMacTooLong, Field::kCurrentMac, msg::kCurrentMacLength};
constexpr LengthRule kMaximumMacFits{
    CheckId::kMaximumMacTooLong, Field::kMaximumMac, msg::kMaximumMacLength};
constexpr LengthRule kSwFieldFits{CheckId::kSwFieldTooLong, Field::kSwField,
                                  msg::kSwFieldLength};
constexpr LengthRule kCurrentSerialFits{CheckId::kCurrentSerialTooLong,
                                        Field::kCurrentSerial,
                                        msg::kCurrentSerialLength};
constexpr LengthRule kMaximumSerialFits{CheckId::kMaximumSerialTooLong,
                                        Field::kMaximumSerial,
                                        msg::kMaximumSerialLength};
constexpr LengthRule kManufacturerFits{CheckId::kManufacturerTooLong,
                                       Field::kManufacturer,
                                       msg::kManufacturerLength};
constexpr LengthRule kProductFits{CheckId::kProductTooLong, Field::kProduct,
                                  msg::kProductStringLength};
constexpr LengthRule kFlagFits{CheckId::kFlagTooLong, Field::kFlagByte,
                               msg::kFlagLength};

// The box of `field` (as the length checks see it) holds fewer characters
// than its box takes.
bool BoxTooShort(Field field, const BoxTexts& boxes) {
  const FieldInfo& info = InfoOf(field);
  return (boxes.*info.box).size() < static_cast<std::size_t>(info.limit);
}

// The failure of a text too short for its box, which is put back.
CheckFailure TooShort(CheckId check, const char* message, Field field,
                      const LastAccepted& accepted) {
  return PutBack(check, message, field, accepted.*InfoOf(field).accepted);
}

// The box is measured as the other length checks do, and the record too: it
// is what the image and the settings file get, and after a put-back it holds
// the rejected text until the next exchange.
std::optional<CheckFailure> CheckFits(const LengthRule& rule,
                                      const SromSettings& s,
                                      const BoxTexts& boxes,
                                      const LastAccepted& accepted) {
  const FieldInfo& info = InfoOf(rule.field);
  const auto limit = static_cast<std::size_t>(info.limit);
  const bool too_long =
      (s.*info.record).size() > limit ||
      (info.box != nullptr && (boxes.*info.box).size() > limit);
  if (!too_long) return std::nullopt;
  if (info.accepted == nullptr) {
    return Focus(rule.check, rule.message, rule.field);
  }
  return PutBack(rule.check, rule.message, rule.field, accepted.*info.accepted);
}

// Printable ASCII without the double quote, which would end the value in the
// settings file.
bool StringCharsAllowed(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 && byte <= 0x7E && c != '"';
  });
}

std::optional<CheckFailure> CheckStrings(const SromSettings& s,
                                         const BoxTexts& boxes,
                                         const LastAccepted& accepted) {
  if (auto failure = CheckFits(kManufacturerFits, s, boxes, accepted)) {
    return failure;
  }
  if (!StringCharsAllowed(s.Manufacturer)) {
    return Focus(CheckId::kManufacturerNotPrintable, msg::kManufacturerFormat,
                 Field::kManufacturer);
  }
  if (auto failure = CheckFits(kProductFits, s, boxes, accepted)) {
    return failure;
  }
  if (!StringCharsAllowed(s.Product)) {
    return Focus(CheckId::kProductNotPrintable, msg::kProductStringFormat,
                 Field::kProduct);
  }
  return std::nullopt;
}

}  // namespace

void RememberAccepted(LastAccepted& accepted, const SromSettings& settings,
                      Field field) {
  std::string* entry = AcceptedEntry(accepted, field);
  if (entry == nullptr) return;
  *entry = *FieldText(settings, field);
}

void PutBackIntoRecord(SromSettings& s, Field field, const std::string& text) {
  std::string* box = FieldText(s, field);
  if (box == nullptr) return;
  *box = text;
  if (field == Field::kSuperBusPower || field == Field::kSuperSelfPower ||
      field == Field::kHighBusPower || field == Field::kHighSelfPower) {
    DerivePowerRows(s);
  }
}

std::optional<CheckFailure> CheckDataCorrect(SromSettings& s,
                                             const BoxTexts& boxes,
                                             const LastAccepted& accepted,
                                             NumericValues& values) {
  if (IsEepromSel(s.DeviceSel)) {
    const ChipTraits& chip = TraitsOfSel(s.DeviceSel);
    const auto minimum = static_cast<std::uint32_t>(chip.power_unit_ma);
    const Field bus =
        chip.edits_super_speed ? Field::kSuperBusPower : Field::kHighBusPower;
    const Field self =
        chip.edits_super_speed ? Field::kSuperSelfPower : Field::kHighSelfPower;
    if (PowerValue(EditedBusPower(s)) < minimum) {
      return PutBack(CheckId::kBusPowerTooLow, chip.bus_power_too_low, bus,
                     accepted.BusPower);
    }
    if (PowerValue(EditedSelfPower(s)) < minimum) {
      return PutBack(CheckId::kSelfPowerTooLow, chip.self_power_too_low, self,
                     accepted.SelfPower);
    }
  }
  // The length checks measure the boxes, the format checks the record; a
  // record shorter than its box counts as having wrong digits.
  if (BoxTooShort(Field::kVendorId, boxes)) {
    return TooShort(CheckId::kVendorIdTooShort, msg::kVendorIdLength,
                    Field::kVendorId, accepted);
  }
  if (auto failure = CheckFits(kVendorIdFits, s, boxes, accepted)) {
    return failure;
  }
  if (BoxTooShort(Field::kProductId, boxes)) {
    return TooShort(CheckId::kProductIdTooShort, msg::kProductIdLength,
                    Field::kProductId, accepted);
  }
  if (auto failure = CheckFits(kProductIdFits, s, boxes, accepted)) {
    return failure;
  }
  if (!HasHexDigits(s.VendorId, kIdDigits)) {
    return Focus(CheckId::kVendorIdNotHex, msg::kVendorIdFormat,
                 Field::kVendorId);
  }
  if (!HasHexDigits(s.ProductId, kIdDigits)) {
    return Focus(CheckId::kProductIdNotHex, msg::kProductIdFormat,
                 Field::kProductId);
  }
  if (BoxTooShort(Field::kCurrentMac, boxes)) {
    return TooShort(CheckId::kCurrentMacTooShort, msg::kCurrentMacLength,
                    Field::kCurrentMac, accepted);
  }
  if (auto failure = CheckFits(kCurrentMacFits, s, boxes, accepted)) {
    return failure;
  }
  if (!HasHexDigits(s.CurrentMac, kMacDigits)) {
    return Focus(CheckId::kCurrentMacNotHex, msg::kCurrentMacFormat,
                 Field::kCurrentMac);
  }
  if (BoxTooShort(Field::kMaximumMac, boxes)) {
    return TooShort(CheckId::kMaximumMacTooShort, msg::kMaximumMacLength,
                    Field::kMaximumMac, accepted);
  }
  if (auto failure = CheckFits(kMaximumMacFits, s, boxes, accepted)) {
    return failure;
  }
  if (!HasHexDigits(s.MaximumMac, kMacDigits)) {
    return Focus(CheckId::kMaximumMacNotHex, msg::kMaximumMacFormat,
                 Field::kMaximumMac);
  }
  if (s.SwField.size() < static_cast<std::size_t>(kSwFieldDigits)) {
    return CheckFailure{CheckId::kSwFieldTooShort,
                        msg::kSwFieldLength,
                        Field::kSwField,
                        Remedy::kNone,
                        {}};
  }
  if (auto failure = CheckFits(kSwFieldFits, s, boxes, accepted)) {
    return failure;
  }
  if (!HasHexDigits(s.SwField, kSwFieldDigits)) {
    return Focus(CheckId::kSwFieldNotHex, msg::kSwFieldFormat, Field::kSwField);
  }
  if (FirstOctetOdd(s.CurrentMac)) {
    return PutBack(CheckId::kMacMulticast, msg::kMacMulticast,
                   Field::kCurrentMac, accepted.CurrentMac);
  }
  if (MacAboveMaximum(s.CurrentMac, s.MaximumMac)) {
    return PutBack(CheckId::kMacAboveMaximum, msg::kMacAboveMaximum,
                   Field::kCurrentMac, accepted.CurrentMac);
  }
  StoreLow(values.CurrentMacValue, MacValue(s.CurrentMac), kMacDigits / 2);
  StoreLow(values.MaximumMacValue, MacValue(s.MaximumMac), kMacDigits / 2);

  if (BoxTooShort(Field::kCurrentSerial, boxes)) {
    return TooShort(CheckId::kCurrentSerialTooShort, msg::kCurrentSerialLength,
                    Field::kCurrentSerial, accepted);
  }
  if (auto failure = CheckFits(kCurrentSerialFits, s, boxes, accepted)) {
    return failure;
  }
  if (BoxTooShort(Field::kMaximumSerial, boxes)) {
    return TooShort(CheckId::kMaximumSerialTooShort, msg::kMaximumSerialLength,
                    Field::kMaximumSerial, accepted);
  }
  if (auto failure = CheckFits(kMaximumSerialFits, s, boxes, accepted)) {
    return failure;
  }
  if (!HasHexDigits(s.CurrentSerial, kSerialDigits)) {
    return Focus(CheckId::kCurrentSerialNotHex, msg::kCurrentSerialFormat,
                 Field::kCurrentSerial);
  }
  if (!HasHexDigits(s.MaximumSerial, kSerialDigits)) {
    return Focus(CheckId::kMaximumSerialNotHex, msg::kMaximumSerialFormat,
                 Field::kMaximumSerial);
  }
  if (SerialAboveMaximum(s.CurrentSerial, s.MaximumSerial)) {
    return PutBack(CheckId::kSerialAboveMaximum, msg::kSerialAboveMaximum,
                   Field::kCurrentSerial, accepted.CurrentSerial);
  }
  StoreLow(values.CurrentSerialValue,
           HexTextValue(s.CurrentSerial, kSerialDigits), kSerialDigits / 2);
  StoreLow(values.MaximumSerialValue,
           HexTextValue(s.MaximumSerial, kSerialDigits), kSerialDigits / 2);

  if (BlankLed(s.Manufacturer)) s.Manufacturer = accepted.Manufacturer;
  if (BlankLed(s.Product)) s.Product = accepted.Product;
  if (auto failure = CheckStrings(s, boxes, accepted)) return failure;

  // An empty flag has no digit to test and must not pass: it fails the
  // format check.
  if (s.FlagByte.empty()) {
    return Focus(CheckId::kFlagNotHex, msg::kFlagFormat, Field::kFlagByte);
  }
  if (auto failure = CheckFits(kFlagFits, s, boxes, accepted)) return failure;
  if ((HexPairToByte(s.FlagByte) & 0x08) != 0) {
    return PutBack(CheckId::kFlagBit3Set, msg::kFlagBit3, Field::kFlagByte,
                   accepted.FlagByte);
  }
  const std::size_t flag_chars =
      std::min<std::size_t>(s.FlagByte.size(), kFlagDigits);
  if (!HasHexDigits(s.FlagByte, flag_chars)) {
    return Focus(CheckId::kFlagNotHex, msg::kFlagFormat, Field::kFlagByte);
  }
  return std::nullopt;
}

std::optional<CheckFailure> CheckEfuseMac(const SromSettings& s,
                                          const BoxTexts& boxes,
                                          const LastAccepted& accepted,
                                          NumericValues& values) {
  if (BoxTooShort(Field::kCurrentMac, boxes)) {
    return TooShort(CheckId::kCurrentMacTooShort, msg::kCurrentMacLength,
                    Field::kCurrentMac, accepted);
  }
  if (auto failure = CheckFits(kCurrentMacFits, s, boxes, accepted)) {
    return failure;
  }
  if (BoxTooShort(Field::kMaximumMac, boxes)) {
    return TooShort(CheckId::kMaximumMacTooShort, msg::kMaximumMacLength,
                    Field::kMaximumMac, accepted);
  }
  if (auto failure = CheckFits(kMaximumMacFits, s, boxes, accepted)) {
    return failure;
  }
  // A character outside the hex digits would reach the one-time eFuse as an
  // arbitrary byte: refuse it as the EEPROM checks do, between the length
  // and the bit-0 checks.
  if (!HasHexDigits(s.CurrentMac, kMacDigits)) {
    return Focus(CheckId::kCurrentMacNotHex, msg::kCurrentMacFormat,
                 Field::kCurrentMac);
  }
  if (!HasHexDigits(s.MaximumMac, kMacDigits)) {
    return Focus(CheckId::kMaximumMacNotHex, msg::kMaximumMacFormat,
                 Field::kMaximumMac);
  }
  if (FirstOctetOdd(s.CurrentMac)) {
    return PutBack(CheckId::kMacMulticast, msg::kMacMulticast,
                   Field::kCurrentMac, accepted.CurrentMac);
  }
  // The order walk converts all six bytes of both addresses and keeps them
  // whatever it finds.
  StoreLow(values.CurrentMacValue, MacValue(s.CurrentMac), kMacDigits / 2);
  StoreLow(values.MaximumMacValue, MacValue(s.MaximumMac), kMacDigits / 2);
  if (MacAboveMaximum(s.CurrentMac, s.MaximumMac)) {
    return PutBack(CheckId::kMacAboveMaximum, msg::kEfuseMacAboveMaximum,
                   Field::kCurrentMac, accepted.CurrentMac);
  }
  // The eFuse image takes nothing else, but the settings file keeps every
  // text and is saved after each unit: what it cannot hold must be refused
  // before a fuse is burnt, in the order of CheckDataCorrect.
  for (const LengthRule* rule : {&kVendorIdFits, &kProductIdFits, &kSwFieldFits,
                                 &kCurrentSerialFits, &kMaximumSerialFits}) {
    if (auto failure = CheckFits(*rule, s, boxes, accepted)) return failure;
  }
  if (auto failure = CheckStrings(s, boxes, accepted)) return failure;
  return CheckFits(kFlagFits, s, boxes, accepted);
}

std::optional<std::string> CheckEfuseConversionSizes(
    const ImageBuffer& buffer) {
  const auto area = ImageArea(buffer);
  if (area[srom_layout::kProductLength] > 12) {
    return msg::kEfuseProductTooLong;
  }
  if (area[srom_layout::kManufacturerLength] > 10) {
    return msg::kEfuseManufacturerTooLong;
  }
  if (area[srom_layout::kSelfPower] > 15) {
    return msg::kEfuseSelfPowerTooHigh;
  }
  return std::nullopt;
}

}  // namespace srom
