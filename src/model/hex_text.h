// Hex text: the digits "0123456789ABCDEF", upper case, without separators.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace srom {

inline constexpr std::string_view kHexDigits = "0123456789ABCDEF";

// The value of a hex digit of either case, or -1.
int HexDigitValue(int c);

// Bytes as hex text: two upper-case digits per byte, a space after each,
// and `line_end` after every 16th byte. `end_last_line` also ends a last
// line that is full. The output box, SROM.dat, EFUSE.dat and the retry log
// all list images this way; they differ only in how they end.
std::string FormatHexListing(std::span<const std::uint8_t> bytes,
                             std::string_view line_end, bool end_last_line);

// True only for the sixteen upper-case digits; lower-case letters fail.
bool IsHexDigit(char c);

// True when the first `count` characters of `text` exist and are hex digits.
bool HasHexDigits(std::string_view text, std::size_t count);

// Converts a pair of hex characters to a byte. The text is upper-cased first.
// One character gives its own value; a second character that is no hex digit
// adds nothing (the result is the first digit times 16); characters after the
// second are ignored. A first character that is no hex digit, or an empty
// text, counts as digit 0.
std::uint8_t HexPairToByte(std::string_view text);

// The byte that digit pair `index` (characters 2*index and 2*index+1) of a hex
// text stands for; missing characters count as absent.
std::uint8_t HexPairAt(std::string_view text, std::size_t index);

// Reads `digits` hex characters two at a time into one number, the first pair
// most significant.
std::uint64_t HexTextValue(std::string_view text, std::size_t digits);

// "%0*X" of a value: upper-case hex with at least `width` digits.
std::string FormatHex(std::uint64_t value, int width);

// A MAC address's hex text as a number, the first digit most significant:
// its twelve digits, of either case, read as HexTextValue reads them.
std::uint64_t MacValue(std::string_view mac);

// A MAC address as its hex text: twelve upper-case digits, or more for a
// value past FFFFFFFFFFFF (as a used-up line pool's next value is).
std::string MacText(std::uint64_t value);

}  // namespace srom
