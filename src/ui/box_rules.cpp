#include "ui/box_rules.h"

#include "model/hex_text.h"

namespace srom {
namespace {

bool ShowsUpperCase(ControlId id) {
  return IsHexBox(id) || id == ControlId::kSwField;
}

char ToUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool IsHexBox(ControlId id) {
  switch (id) {
    case ControlId::kCurrentMac:
    case ControlId::kMaximumMac:
    case ControlId::kCurrentSerial:
    case ControlId::kMaximumSerial:
    case ControlId::kVendorId:
    case ControlId::kProductId:
    case ControlId::kFlagByte:
      return true;
    default:
      return false;
  }
}

bool BoxTakes(ControlId id, char typed) {
  if (!IsHexBox(id)) return true;
  return typed == kBackspace ||
         HexDigitValue(static_cast<unsigned char>(typed)) >= 0;
}

char ShownAs(ControlId id, char c) {
  return ShowsUpperCase(id) ? ToUpper(c) : c;
}

std::string ShownText(ControlId id, const std::string& text) {
  std::string shown = text;
  for (char& c : shown) c = ShownAs(id, c);
  return shown;
}

}  // namespace srom
