#include "ui/data_exchange.h"

#include <cctype>
#include <climits>

namespace srom {
namespace {

enum class Kind { kText, kCheck, kSromSize, kUsb3, kDelayTime };

// One tied control: a text field (its box, record text and limit are the
// field table's), a check box's flag, or one of the special ones.
struct Tie {
  Kind kind;
  ControlId control = ControlId::kCount;
  Field field = Field::kNone;
  bool SromSettings::*flag = nullptr;
  int led = 0;
};

constexpr Tie Text(Field field) {
  return {Kind::kText, ControlId::kCount, field};
}
constexpr Tie Check(ControlId control, bool SromSettings::*flag) {
  return {Kind::kCheck, control, Field::kNone, flag};
}
constexpr Tie Usb3(ControlId control, int led) {
  return {Kind::kUsb3, control, Field::kNone, nullptr, led};
}

using S = SromSettings;

// The exchange order of the window.
const Tie kTies[] = {
    {Kind::kSromSize, ControlId::kSromSize256},
    Text(Field::kProduct),
    Text(Field::kVendorId),
    Text(Field::kProductId),
    Text(Field::kCurrentMac),
    Text(Field::kMaximumMac),
    Text(Field::kCurrentSerial),
    Text(Field::kMaximumSerial),
    Text(Field::kManufacturer),
    Check(ControlId::kDisableSetting, &S::DisableSetting),
    Text(Field::kHighBusPower),
    Text(Field::kFullBusPower),
    Text(Field::kSuperBusPower),
    Text(Field::kFullSelfPower),
    Text(Field::kHighSelfPower),
    Text(Field::kSuperSelfPower),
    Check(ControlId::kBarCode, &S::BarCode),
    Text(Field::kFlagByte),
    Check(ControlId::kBasedOnMac, &S::BasedOnMac),
    Check(ControlId::kReload, &S::Reload),
    Usb3(ControlId::kLed0Usb3, 0),
    Usb3(ControlId::kLed1Usb3, 1),
    Usb3(ControlId::kLed2Usb3, 2),
    Text(Field::kSwField),
    Check(ControlId::kMultiEnable, &S::MultiEnable),
    {Kind::kDelayTime, ControlId::kDelayTime},
};

// The box each field is shown in.
struct FieldBox {
  Field field;
  ControlId control;
};
constexpr FieldBox kFieldBoxes[] = {
    {Field::kSuperBusPower, ControlId::kSuperBusPower},
    {Field::kSuperSelfPower, ControlId::kSuperSelfPower},
    {Field::kHighBusPower, ControlId::kHighBusPower},
    {Field::kHighSelfPower, ControlId::kHighSelfPower},
    {Field::kFullBusPower, ControlId::kFullBusPower},
    {Field::kFullSelfPower, ControlId::kFullSelfPower},
    {Field::kVendorId, ControlId::kVendorId},
    {Field::kProductId, ControlId::kProductId},
    {Field::kCurrentMac, ControlId::kCurrentMac},
    {Field::kMaximumMac, ControlId::kMaximumMac},
    {Field::kSwField, ControlId::kSwField},
    {Field::kCurrentSerial, ControlId::kCurrentSerial},
    {Field::kMaximumSerial, ControlId::kMaximumSerial},
    {Field::kFlagByte, ControlId::kFlagByte},
    {Field::kManufacturer, ControlId::kManufacturer},
    {Field::kProduct, ControlId::kProduct},
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
        const FieldInfo& info = InfoOf(tie.field);
        const ControlId box = ControlOf(tie.field);
        std::string text = view.Text(box);
        const bool too_long = static_cast<int>(text.size()) > info.limit;
        s.*info.record = std::move(text);
        if (too_long) {
          view.MessageBox(TooManyCharactersMessage(info.limit));
          view.Focus(box);
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
      case Kind::kText: {
        const FieldInfo& info = InfoOf(tie.field);
        view.SetLimit(ControlOf(tie.field), info.limit);
        show_text(ControlOf(tie.field), s.*info.record);
        break;
      }
      case Kind::kDelayTime:
        show_text(tie.control, std::to_string(s.DelayTime));
        break;
    }
  }
}

ControlId ControlOf(Field field) {
  for (const FieldBox& box : kFieldBoxes) {
    if (box.field == field) return box.control;
  }
  return ControlId::kCount;
}

Field FieldOf(ControlId id) {
  for (const FieldBox& box : kFieldBoxes) {
    if (box.control == id) return box.field;
  }
  return Field::kNone;
}

}  // namespace srom
