#include "ui/box_rules.h"

#include "model/fields.h"
#include "model/hex_text.h"
#include "ui/data_exchange.h"

namespace srom {
namespace {

bool ShowsUpperCase(ControlId id) {
  const Field field = FieldOf(id);
  return field != Field::kNone && InfoOf(field).upper_case;
}

char ToUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool IsHexBox(ControlId id) {
  const Field field = FieldOf(id);
  return field != Field::kNone && InfoOf(field).hex;
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
