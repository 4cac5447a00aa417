#include "ui/data_exchange.h"

#include <cctype>
#include <climits>

namespace srom {
namespace {

enum class Kind { kText, kCheck, kSromSize, kUsb3, kDelayTime };

// One tied control: where its value lives in the record and its limit.
struct Tie {
  ControlId control;
  Kind kind;
  std::string SromSettings::*text = nullptr;
  bool SromSettings::*flag = nullptr;
  int limit = 0;
  int led = 0;
};

using S = SromSettings;

// The exchange order of the window.
const Tie kTies[] = {
    {ControlId::kSromSize256, Kind::kSromSize},
    {ControlId::kProduct, Kind::kText, &S::Product, nullptr, 24},
    {ControlId::kVendorId, Kind::kText, &S::VendorId, nullptr, 4},
    {ControlId::kProductId, Kind::kText, &S::ProductId, nullptr, 4},
    {ControlId::kCurrentMac, Kind::kText, &S::CurrentMac, nullptr, 12},
    {ControlId::kMaximumMac, Kind::kText, &S::MaximumMac, nullptr, 12},
    {ControlId::kCurrentSerial, Kind::kText, &S::CurrentSerial, nullptr, 14},
    {ControlId::kMaximumSerial, Kind::kText, &S::MaximumSerial, nullptr, 14},
    {ControlId::kManufacturer, Kind::kText, &S::Manufacturer, nullptr, 24},
    {ControlId::kDisableSetting, Kind::kCheck, nullptr, &S::DisableSetting},
    {ControlId::kHighBusPower, Kind::kText, &S::HighBusPower, nullptr, 3},
    {ControlId::kFullBusPower, Kind::kText, &S::FullBusPower, nullptr, 3},
    {ControlId::kSuperBusPower, Kind::kText, &S::SuperBusPower, nullptr, 3},
    {ControlId::kFullSelfPower, Kind::kText, &S::FullSelfPower, nullptr, 3},
    {ControlId::kHighSelfPower, Kind::kText, &S::HighSelfPower, nullptr, 3},
    {ControlId::kSuperSelfPower, Kind::kText, &S::SuperSelfPower, nullptr, 3},
    {ControlId::kBarCode, Kind::kCheck, nullptr, &S::BarCode},
    {ControlId::kFlagByte, Kind::kText, &S::FlagByte, nullptr, 2},
    {ControlId::kBasedOnMac, Kind::kCheck, nullptr, &S::BasedOnMac},
    {ControlId::kReload, Kind::kCheck, nullptr, &S::Reload},
    {ControlId::kLed0Usb3, Kind::kUsb3, nullptr, nullptr, 0, 0},
    {ControlId::kLed1Usb3, Kind::kUsb3, nullptr, nullptr, 0, 1},
    {ControlId::kLed2Usb3, Kind::kUsb3, nullptr, nullptr, 0, 2},
    {ControlId::kSwField, Kind::kText, &S::SwField, nullptr, 4},
    {ControlId::kMultiEnable, Kind::kCheck, nullptr, &S::MultiEnable},
    {ControlId::kDelayTime, Kind::kDelayTime},
};

}  // namespace

std::string TooManyCharactersMessage(int limit) {
  return "不要輸入 " + std::to_string(limit) + " 個以上的字元。";
}

std::string WholeNumberRangeMessage(int low, int high) {
  return "輸入 " + std::to_string(low) + " 和 " + std::to_string(high) +
         " 之間的整數。";
}

bool ParseWholeNumber(const std::string& text, int& value) {
  std::size_t i = 0;
  const auto blank = [&](std::size_t at) {
    return at < text.size() &&
           std::isspace(static_cast<unsigned char>(text[at])) != 0;
  };
  while (blank(i)) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t digits_start = i;
  long long v = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    v = v * 10 + (text[i] - '0');
    if (v > INT_MAX) return false;
    ++i;
  }
  if (i == digits_start) return false;
  while (blank(i)) ++i;
  if (i != text.size()) return false;
  value = static_cast<int>(negative ? -v : v);
  return true;
}

bool ExchangeToRecord(View& view, SromSettings& s) {
  for (const Tie& tie : kTies) {
    switch (tie.kind) {
      case Kind::kSromSize:
        s.SromSize = view.Checked(ControlId::kSromSize256)   ? 0
                     : view.Checked(ControlId::kSromSize512) ? 1
                                                             : -1;
        break;
      case Kind::kCheck:
        s.*tie.flag = view.Checked(tie.control);
        break;
      case Kind::kUsb3:
        s.LedUsb3[tie.led] = view.Checked(tie.control);
        break;
      case Kind::kText: {
        std::string text = view.Text(tie.control);
        const bool too_long = static_cast<int>(text.size()) > tie.limit;
        s.*tie.text = std::move(text);
        if (too_long) {
          view.MessageBox(TooManyCharactersMessage(tie.limit));
          view.Focus(tie.control);
          return false;
        }
        break;
      }
      case Kind::kDelayTime: {
        int value = 0;
        if (!ParseWholeNumber(view.Text(tie.control), value)) {
          view.MessageBox(kEnterWholeNumber);
          view.Focus(tie.control);
          return false;
        }
        s.DelayTime = value;
        if (value < kMinDelayTime || value > kMaxDelayTime) {
          view.MessageBox(
              WholeNumberRangeMessage(kMinDelayTime, kMaxDelayTime));
          view.Focus(tie.control);
          return false;
        }
        break;
      }
    }
  }
  return true;
}

void ExchangeToWindow(View& view, const SromSettings& s) {
  const auto show_text = [&view](ControlId id, const std::string& text) {
    if (view.Text(id) != text) view.SetText(id, text);
  };
  for (const Tie& tie : kTies) {
    switch (tie.kind) {
      case Kind::kSromSize:
        view.SetChecked(ControlId::kSromSize256, s.SromSize == 0);
        view.SetChecked(ControlId::kSromSize512, s.SromSize == 1);
        break;
      case Kind::kCheck:
        view.SetChecked(tie.control, s.*tie.flag);
        break;
      case Kind::kUsb3:
        view.SetChecked(tie.control, s.LedUsb3[tie.led]);
        break;
      case Kind::kText:
        view.SetLimit(tie.control, tie.limit);
        show_text(tie.control, s.*tie.text);
        break;
      case Kind::kDelayTime:
        show_text(tie.control, std::to_string(s.DelayTime));
        break;
    }
  }
}

ControlId ControlOf(Field field) {
  switch (field) {
    case Field::kSuperBusPower:
      return ControlId::kSuperBusPower;
    case Field::kSuperSelfPower:
      return ControlId::kSuperSelfPower;
    case Field::kHighBusPower:
      return ControlId::kHighBusPower;
    case Field::kHighSelfPower:
      return ControlId::kHighSelfPower;
    case Field::kVendorId:
      return ControlId::kVendorId;
    case Field::kProductId:
      return ControlId::kProductId;
    case Field::kCurrentMac:
      return ControlId::kCurrentMac;
    case Field::kMaximumMac:
      return ControlId::kMaximumMac;
    case Field::kSwField:
      return ControlId::kSwField;
    case Field::kCurrentSerial:
      return ControlId::kCurrentSerial;
    case Field::kMaximumSerial:
      return ControlId::kMaximumSerial;
    case Field::kFlagByte:
      return ControlId::kFlagByte;
    case Field::kManufacturer:
      return ControlId::kManufacturer;
    case Field::kProduct:
      return ControlId::kProduct;
    case Field::kNone:
      break;
  }
  return ControlId::kCount;
}

Field FieldOf(ControlId id) {
  for (const Field field :
       {Field::kSuperBusPower, Field::kSuperSelfPower, Field::kHighBusPower,
        Field::kHighSelfPower, Field::kVendorId, Field::kProductId,
        Field::kCurrentMac, Field::kMaximumMac, Field::kSwField,
        Field::kCurrentSerial, Field::kMaximumSerial, Field::kFlagByte,
        Field::kManufacturer, Field::kProduct}) {
    if (ControlOf(field) == id) return field;
  }
  return Field::kNone;
}

}  // namespace srom
