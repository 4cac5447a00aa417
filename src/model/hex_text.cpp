#include "model/hex_text.h"

#include <cctype>

namespace srom {
namespace {

// The hex digits of a MAC address: six bytes.
constexpr std::size_t kMacTextDigits = 12;

// Digit value of an upper-cased character; anything else counts 0 and is
// reported through `ok`.
int DigitValue(char c, bool* ok) {
  const char upper =
      static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const auto pos = kHexDigits.find(upper);
  *ok = pos != std::string_view::npos;
  return *ok ? static_cast<int>(pos) : 0;
}

}  // namespace

bool IsHexDigit(char c) { return kHexDigits.find(c) != std::string_view::npos; }

bool HasHexDigits(std::string_view text, std::size_t count) {
  if (text.size() < count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (!IsHexDigit(text[i])) return false;
  }
  return true;
}

std::uint8_t HexPairToByte(std::string_view text) {
  if (text.empty()) return 0;
  bool ok = false;
  const int d1 = DigitValue(text[0], &ok);
  if (text.size() == 1) return static_cast<std::uint8_t>(d1);
  const int d2 = DigitValue(text[1], &ok);
  return static_cast<std::uint8_t>(d1 * 16 + (ok ? d2 : 0));
}

std::uint8_t HexPairAt(std::string_view text, std::size_t index) {
  const std::size_t start = 2 * index;
  if (start >= text.size()) return 0;
  return HexPairToByte(text.substr(start, 2));
}

std::uint64_t HexTextValue(std::string_view text, std::size_t digits) {
  std::uint64_t value = 0;
  for (std::size_t pair = 0; pair < (digits + 1) / 2; ++pair) {
    value = (value << 8) | HexPairAt(text, pair);
  }
  return value;
}

std::string FormatHex(std::uint64_t value, int width) {
  std::string digits;
  do {
    digits.insert(digits.begin(), kHexDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(digits.size()) < width) {
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  }
  return digits;
}

std::uint64_t MacValue(std::string_view mac) {
  return HexTextValue(mac, kMacTextDigits);
}

std::string MacText(std::uint64_t value) {
  return FormatHex(value, static_cast<int>(kMacTextDigits));
}

int HexDigitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string FormatHexListing(std::span<const std::uint8_t> bytes,
                             std::string_view line_end, bool end_last_line) {
  std::string text;
  text.reserve(bytes.size() * 3 + bytes.size() / 16 * line_end.size());
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    text += kHexDigits[bytes[k] >> 4];
    text += kHexDigits[bytes[k] & 0xF];
    text += ' ';
    if (k % 16 == 15 && (end_last_line || k + 1 != bytes.size())) {
      text += line_end;
    }
  }
  return text;
}

}  // namespace srom
