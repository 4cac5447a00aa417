// The simulator panel's listing of a memory, without a widget: a column
// header, then 16 bytes a line with the offset at left, a gap after the
// eighth byte and the bytes as characters at right; and where in it the
// bytes that changed since the last listing stand, to be marked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace srom {

inline constexpr int kListingBytesPerLine = 16;
// Characters a listing line has.
int ListingLineLength();

// The whole listing, lines separated by '\n'.
std::string MemoryListing(const std::vector<std::uint8_t>& bytes);

// The offsets whose bytes differ; none when the sizes differ (a new memory
// is listed whole, with nothing marked).
std::vector<std::size_t> ChangedBytes(const std::vector<std::uint8_t>& before,
                                      const std::vector<std::uint8_t>& after);

// A run of characters of the listing: its line (0 is the header) and its
// columns.
struct ListingSpan {
  int line = 0;
  int start = 0;
  int length = 0;
  bool operator==(const ListingSpan&) const = default;
};

// Where the byte at `offset` shows: its two hex digits, then its character.
std::vector<ListingSpan> SpansOf(std::size_t offset);

}  // namespace srom
