#include "model/fields.h"

#include <array>

namespace srom {
namespace {

using S = SromSettings;
using A = LastAccepted;
using B = BoxTexts;

constexpr std::array<FieldInfo, 16> kFields = {{
    {Field::kSuperBusPower, &S::SuperBusPower, &A::BusPower, nullptr,
     kPowerDigits, false, false},
    {Field::kSuperSelfPower, &S::SuperSelfPower, &A::SelfPower, nullptr,
     kPowerDigits, false, false},
    {Field::kHighBusPower, &S::HighBusPower, &A::BusPower, nullptr,
     kPowerDigits, false, false},
    {Field::kHighSelfPower, &S::HighSelfPower, &A::SelfPower, nullptr,
     kPowerDigits, false, false},
    {Field::kFullBusPower, &S::FullBusPower, nullptr, nullptr, kPowerDigits,
     false, false},
    {Field::kFullSelfPower, &S::FullSelfPower, nullptr, nullptr, kPowerDigits,
     false, false},
    {Field::kVendorId, &S::VendorId, &A::VendorId, &B::VendorId, kIdDigits,
     true, true},
    {Field::kProductId, &S::ProductId, &A::ProductId, &B::ProductId, kIdDigits,
     true, true},
    {Field::kCurrentMac, &S::CurrentMac, &A::CurrentMac, &B::CurrentMac,
     kMacDigits, true, true},
    {Field::kMaximumMac, &S::MaximumMac, &A::MaximumMac, &B::MaximumMac,
     kMacDigits, true, true},
    {Field::kSwField, &S::SwField, nullptr, nullptr, kSwFieldDigits, false,
     true},
    {Field::kCurrentSerial, &S::CurrentSerial, &A::CurrentSerial,
     &B::CurrentSerial, kSerialDigits, true, true},
    {Field::kMaximumSerial, &S::MaximumSerial, &A::MaximumSerial,
     &B::MaximumSerial, kSerialDigits, true, true},
    {Field::kFlagByte, &S::FlagByte, &A::FlagByte, nullptr, kFlagDigits, true,
     true},
    {Field::kManufacturer, &S::Manufacturer, &A::Manufacturer, nullptr,
     kMaxStringChars, false, false},
    {Field::kProduct, &S::Product, &A::Product, nullptr, kMaxStringChars, false,
     false},
}};

constexpr bool InFieldOrder() {
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    if (kFields[i].field != static_cast<Field>(i + 1)) return false;
  }
  return true;
}
static_assert(InFieldOrder(), "one row per Field but kNone, in its order");

}  // namespace

std::span<const FieldInfo> AllFields() { return kFields; }

const FieldInfo& InfoOf(Field field) {
  return kFields[static_cast<std::size_t>(field) - 1];
}

const std::string* FieldText(const SromSettings& settings, Field field) {
  if (field == Field::kNone) return nullptr;
  return &(settings.*InfoOf(field).record);
}

std::string* FieldText(SromSettings& settings, Field field) {
  if (field == Field::kNone) return nullptr;
  return &(settings.*InfoOf(field).record);
}

std::string* AcceptedEntry(LastAccepted& accepted, Field field) {
  if (field == Field::kNone || InfoOf(field).accepted == nullptr) {
    return nullptr;
  }
  return &(accepted.*InfoOf(field).accepted);
}

BoxTexts BoxTextsOf(const SromSettings& settings) {
  BoxTexts boxes;
  for (const FieldInfo& info : kFields) {
    if (info.box != nullptr) boxes.*info.box = settings.*info.record;
  }
  return boxes;
}

}  // namespace srom
