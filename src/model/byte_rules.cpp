#include "model/byte_rules.h"

#include <algorithm>

namespace srom {
namespace {

bool Accepts(const ByteRule& rule, std::size_t position, std::uint8_t value) {
  switch (rule.kind) {
    case RuleKind::kAny:
      return true;
    case RuleKind::kOneOf:
      return std::find(rule.values.begin(), rule.values.begin() + rule.count,
                       value) != rule.values.begin() + rule.count;
    case RuleKind::kAtMost:
      return value <= rule.values[0];
    case RuleKind::kBelow:
      return value < rule.values[0];
    case RuleKind::kHexDigitChar:
      return (value >= '0' && value <= '9') || (value >= 'A' && value <= 'F');
    case RuleKind::kBit7Set:
      return (value & 0x80) != 0;
    case RuleKind::kBit0Clear:
      return (value & 0x01) == 0;
    case RuleKind::kTextOrZero:
      return value == 0x00 || (value >= 0x20 && value <= 0x7F);
    case RuleKind::kSequence:
      return value == rule.sequence[position - rule.first];
  }
  return false;
}

}  // namespace

bool RuleTableAccepts(std::span<const ByteRule> rules, std::size_t position,
                      std::uint8_t value) {
  for (const ByteRule& rule : rules) {
    if (position >= rule.first && position <= rule.last) {
      return Accepts(rule, position, value);
    }
  }
  return true;
}

}  // namespace srom
