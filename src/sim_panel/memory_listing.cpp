#include "sim_panel/memory_listing.h"

#include "model/hex_text.h"

namespace srom {
namespace {

constexpr int kOffsetDigits = 3;
constexpr int kHexStart = kOffsetDigits + 2;
constexpr int kAsciiStart = kHexStart + kListingBytesPerLine * 3 + 2;
constexpr int kLineLength = kAsciiStart + kListingBytesPerLine;

// Where byte `column` of a line starts, and the character standing for it.
int HexColumn(int column) { return kHexStart + column * 3 + (column >= 8); }
int AsciiColumn(int column) { return kAsciiStart + column; }

}  // namespace

int ListingLineLength() { return kLineLength; }

std::string MemoryListing(const std::vector<std::uint8_t>& bytes) {
  std::string text(kHexStart, ' ');
  for (int column = 0; column < kListingBytesPerLine; ++column) {
    text.resize(static_cast<std::size_t>(HexColumn(column)), ' ');
    text += FormatHex(static_cast<std::uint64_t>(column), 2);
  }
  for (std::size_t start = 0; start < bytes.size();
       start += kListingBytesPerLine) {
    std::string line(kLineLength, ' ');
    line.replace(0, kOffsetDigits, FormatHex(start, kOffsetDigits));
    for (int column = 0; column < kListingBytesPerLine &&
                         start + static_cast<std::size_t>(column) < bytes.size();
         ++column) {
      const std::uint8_t byte = bytes[start + static_cast<std::size_t>(column)];
      line[static_cast<std::size_t>(HexColumn(column))] = kHexDigits[byte >> 4];
      line[static_cast<std::size_t>(HexColumn(column)) + 1] =
          kHexDigits[byte & 0xF];
      line[static_cast<std::size_t>(AsciiColumn(column))] =
          byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
    }
    text += '\n';
    text += line;
  }
  return text;
}

std::vector<std::size_t> ChangedBytes(const std::vector<std::uint8_t>& before,
                                      const std::vector<std::uint8_t>& after) {
  std::vector<std::size_t> changed;
  if (before.size() != after.size()) return changed;
  for (std::size_t i = 0; i < after.size(); ++i) {
    if (before[i] != after[i]) changed.push_back(i);
  }
  return changed;
}

std::vector<ListingSpan> SpansOf(std::size_t offset) {
  // Line 0 is the column header.
  const int line = static_cast<int>(offset / kListingBytesPerLine) + 1;
  const int column = static_cast<int>(offset % kListingBytesPerLine);
  return {{line, HexColumn(column), 2}, {line, AsciiColumn(column), 1}};
}

}  // namespace srom
