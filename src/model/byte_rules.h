// One table row per run of image positions that share a rule; the EEPROM and
// eFuse byte checks are each such a table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace srom {

enum class RuleKind {
  kAny,
  kOneOf,         // one of `values[0..count)`
  kAtMost,        // at most values[0]
  kBelow,         // below values[0]
  kHexDigitChar,  // an ASCII "0"-"9" or "A"-"F"
  kBit7Set,
  kBit0Clear,
  kTextOrZero,  // 0x00 or printable ASCII 0x20-0x7F
  kSequence,    // exactly sequence[position - first]
};

struct ByteRule {
  std::size_t first;
  std::size_t last;
  RuleKind kind;
  std::array<std::uint8_t, 4> values{};
  std::size_t count = 0;
  const std::uint8_t* sequence = nullptr;
};

// True when `value` satisfies the row of `rules` that holds `position`;
// positions no row holds are accepted.
bool RuleTableAccepts(std::span<const ByteRule> rules, std::size_t position,
                      std::uint8_t value);

}  // namespace srom
