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

// The MAC addresses, six bytes each, first byte most significant.
std::uint64_t MacValue(const std::string& text) {
  return HexTextValue(text, kMacDigits);
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

// How long a text may be: as long as its box takes. A longer one would reach
// the image cut short, or give a length byte that contradicts the string.
struct LengthRule {
  CheckId check;
  Field field;
  std::size_t limit;
  const char* message;
  std::string SromSettings::*record;
  std::string BoxTexts::*box;           // null: only the record is measured
  std::string LastAccepted::*accepted;  // null: the box gets the focus
};

constexpr std::size_t Chars(int count) {
  return static_cast<std::size_t>(count);
}

constexpr LengthRule kVendorIdFits{
    CheckId::kVendorIdTooLong, Field::kVendorId,        Chars(kIdDigits),
    msg::kVendorIdLength,      &SromSettings::VendorId, &BoxTexts::VendorId,
    &LastAccepted::VendorId};
constexpr LengthRule kProductIdFits{
    CheckId::kProductIdTooLong, Field::kProductId,        Chars(kIdDigits),
    msg::kProductIdLength,      &SromSettings::ProductId, &BoxTexts::ProductId,
    &LastAccepted::ProductId};
constexpr LengthRule kCurrentMacFits{
    CheckId::kCurrentMacTooLong, Field::kCurrentMac,
    Chars(kMacDigits),           msg::kCurrentMacLength,
    &SromSettings::CurrentMac,   &BoxTexts::CurrentMac,
    &LastAccepted::CurrentMac};
constexpr LengthRule kMaximumMacFits{
    CheckId::kMaximumMacTooLong, Field::kMaximumMac,
    Chars(kMacDigits),           msg::kMaximumMacLength,
    &SromSettings::MaximumMac,   &BoxTexts::MaximumMac,
    &LastAccepted::MaximumMac};
constexpr LengthRule kSwFieldFits{CheckId::kSwFieldTooLong,
                                  Field::kSwField,
                                  Chars(kIdDigits),
                                  msg::kSwFieldLength,
                                  &SromSettings::SwField,
                                  nullptr,
                                  nullptr};
constexpr LengthRule kCurrentSerialFits{
    CheckId::kCurrentSerialTooLong, Field::kCurrentSerial,
    Chars(kSerialDigits),           msg::kCurrentSerialLength,
    &SromSettings::CurrentSerial,   &BoxTexts::CurrentSerial,
    &LastAccepted::CurrentSerial};
constexpr LengthRule kMaximumSerialFits{
    CheckId::kMaximumSerialTooLong, Field::kMaximumSerial,
    Chars(kSerialDigits),           msg::kMaximumSerialLength,
    &SromSettings::MaximumSerial,   &BoxTexts::MaximumSerial,
    &LastAccepted::MaximumSerial};
constexpr LengthRule kManufacturerFits{
    CheckId::kManufacturerTooLong, Field::kManufacturer,
    Chars(kMaxStringChars),        msg::kManufacturerLength,
    &SromSettings::Manufacturer,   nullptr,
    &LastAccepted::Manufacturer};
constexpr LengthRule kProductFits{
    CheckId::kProductTooLong,  Field::kProduct,        Chars(kMaxStringChars),
    msg::kProductStringLength, &SromSettings::Product, nullptr,
    &LastAccepted::Product};
constexpr LengthRule kFlagFits{CheckId::kFlagTooLong,   Field::kFlagByte,
                               Chars(kFlagDigits),      msg::kFlagLength,
                               &SromSettings::FlagByte, nullptr,
                               &LastAccepted::FlagByte};

// The box is measured as the other length checks do, and the record too: it
// is what the image and the settings file get, and after a put-back it holds
// the rejected text until the next exchange.
std::optional<CheckFailure> CheckFits(const LengthRule& rule,
                                      const SromSettings& s,
                                      const BoxTexts& boxes,
                                      const LastAccepted& accepted) {
  const bool too_long =
      (s.*rule.record).size() > rule.limit ||
      (rule.box != nullptr && (boxes.*rule.box).size() > rule.limit);
  if (!too_long) return std::nullopt;
  if (rule.accepted == nullptr) {
    return Focus(rule.check, rule.message, rule.field);
  }
  return PutBack(rule.check, rule.message, rule.field, accepted.*rule.accepted);
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

BoxTexts BoxTextsOf(const SromSettings& s) {
  return BoxTexts{s.VendorId,   s.ProductId,     s.CurrentMac,
                  s.MaximumMac, s.CurrentSerial, s.MaximumSerial};
}

const std::string* FieldText(const SromSettings& s, Field field) {
  switch (field) {
    case Field::kSuperBusPower:
      return &s.SuperBusPower;
    case Field::kSuperSelfPower:
      return &s.SuperSelfPower;
    case Field::kHighBusPower:
      return &s.HighBusPower;
    case Field::kHighSelfPower:
      return &s.HighSelfPower;
    case Field::kVendorId:
      return &s.VendorId;
    case Field::kProductId:
      return &s.ProductId;
    case Field::kCurrentMac:
      return &s.CurrentMac;
    case Field::kMaximumMac:
      return &s.MaximumMac;
    case Field::kSwField:
      return &s.SwField;
    case Field::kCurrentSerial:
      return &s.CurrentSerial;
    case Field::kMaximumSerial:
      return &s.MaximumSerial;
    case Field::kFlagByte:
      return &s.FlagByte;
    case Field::kManufacturer:
      return &s.Manufacturer;
    case Field::kProduct:
      return &s.Product;
    case Field::kNone:
      break;
  }
  return nullptr;
}

std::string* FieldText(SromSettings& s, Field field) {
  return const_cast<std::string*>(
      FieldText(static_cast<const SromSettings&>(s), field));
}

namespace {

// The LastAccepted entry that remembers `field`; null for a field without.
std::string* AcceptedEntry(LastAccepted& a, Field field) {
  switch (field) {
    case Field::kSuperBusPower:
    case Field::kHighBusPower:
      return &a.BusPower;
    case Field::kSuperSelfPower:
    case Field::kHighSelfPower:
      return &a.SelfPower;
    case Field::kVendorId:
      return &a.VendorId;
    case Field::kProductId:
      return &a.ProductId;
    case Field::kCurrentMac:
      return &a.CurrentMac;
    case Field::kMaximumMac:
      return &a.MaximumMac;
    case Field::kCurrentSerial:
      return &a.CurrentSerial;
    case Field::kMaximumSerial:
      return &a.MaximumSerial;
    case Field::kFlagByte:
      return &a.FlagByte;
    case Field::kManufacturer:
      return &a.Manufacturer;
    case Field::kProduct:
      return &a.Product;
    case Field::kSwField:
    case Field::kNone:
      break;
  }
  return nullptr;
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
  if (boxes.VendorId.size() < kIdDigits) {
    return PutBack(CheckId::kVendorIdTooShort, msg::kVendorIdLength,
                   Field::kVendorId, accepted.VendorId);
  }
  if (auto failure = CheckFits(kVendorIdFits, s, boxes, accepted)) {
    return failure;
  }
  if (boxes.ProductId.size() < kIdDigits) {
    return PutBack(CheckId::kProductIdTooShort, msg::kProductIdLength,
                   Field::kProductId, accepted.ProductId);
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
  if (boxes.CurrentMac.size() < kMacDigits) {
    return PutBack(CheckId::kCurrentMacTooShort, msg::kCurrentMacLength,
                   Field::kCurrentMac, accepted.CurrentMac);
  }
  if (auto failure = CheckFits(kCurrentMacFits, s, boxes, accepted)) {
    return failure;
  }
  if (!HasHexDigits(s.CurrentMac, kMacDigits)) {
    return Focus(CheckId::kCurrentMacNotHex, msg::kCurrentMacFormat,
                 Field::kCurrentMac);
  }
  if (boxes.MaximumMac.size() < kMacDigits) {
    return PutBack(CheckId::kMaximumMacTooShort, msg::kMaximumMacLength,
                   Field::kMaximumMac, accepted.MaximumMac);
  }
  if (auto failure = CheckFits(kMaximumMacFits, s, boxes, accepted)) {
    return failure;
  }
  if (!HasHexDigits(s.MaximumMac, kMacDigits)) {
    return Focus(CheckId::kMaximumMacNotHex, msg::kMaximumMacFormat,
                 Field::kMaximumMac);
  }
  if (s.SwField.size() < 4) {
    return CheckFailure{CheckId::kSwFieldTooShort,
                        msg::kSwFieldLength,
                        Field::kSwField,
                        Remedy::kNone,
                        {}};
  }
  if (auto failure = CheckFits(kSwFieldFits, s, boxes, accepted)) {
    return failure;
  }
  if (!HasHexDigits(s.SwField, 4)) {
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
  StoreLow(values.CurrentMacValue, MacValue(s.CurrentMac), 6);
  StoreLow(values.MaximumMacValue, MacValue(s.MaximumMac), 6);

  if (boxes.CurrentSerial.size() < kSerialDigits) {
    return PutBack(CheckId::kCurrentSerialTooShort, msg::kCurrentSerialLength,
                   Field::kCurrentSerial, accepted.CurrentSerial);
  }
  if (auto failure = CheckFits(kCurrentSerialFits, s, boxes, accepted)) {
    return failure;
  }
  if (boxes.MaximumSerial.size() < kSerialDigits) {
    return PutBack(CheckId::kMaximumSerialTooShort, msg::kMaximumSerialLength,
                   Field::kMaximumSerial, accepted.MaximumSerial);
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
  StoreLow(values.CurrentSerialValue, HexTextValue(s.CurrentSerial, 14), 7);
  StoreLow(values.MaximumSerialValue, HexTextValue(s.MaximumSerial, 14), 7);

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
  const std::size_t flag_chars = std::min<std::size_t>(s.FlagByte.size(), 2);
  if (!HasHexDigits(s.FlagByte, flag_chars)) {
    return Focus(CheckId::kFlagNotHex, msg::kFlagFormat, Field::kFlagByte);
  }
  return std::nullopt;
}

std::optional<CheckFailure> CheckEfuseMac(const SromSettings& s,
                                          const BoxTexts& boxes,
                                          const LastAccepted& accepted,
                                          NumericValues& values) {
  if (boxes.CurrentMac.size() < kMacDigits) {
    return PutBack(CheckId::kCurrentMacTooShort, msg::kCurrentMacLength,
                   Field::kCurrentMac, accepted.CurrentMac);
  }
  if (auto failure = CheckFits(kCurrentMacFits, s, boxes, accepted)) {
    return failure;
  }
  if (boxes.MaximumMac.size() < kMacDigits) {
    return PutBack(CheckId::kMaximumMacTooShort, msg::kMaximumMacLength,
                   Field::kMaximumMac, accepted.MaximumMac);
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
  StoreLow(values.CurrentMacValue, MacValue(s.CurrentMac), 6);
  StoreLow(values.MaximumMacValue, MacValue(s.MaximumMac), 6);
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
