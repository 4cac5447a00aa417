// The simulator panel's memory listing as plain text: its columns, the bytes
// that changed, and where they stand in it.
#include "sim_panel/memory_listing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace srom {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(MemoryListingTest, SixteenBytesALineWithOffsetsAndCharacters) {
  std::vector<std::uint8_t> bytes(20, 0xFF);
  bytes[0] = 'K';
  bytes[8] = 0x00;
  bytes[17] = 0x41;
  const std::vector<std::string> lines = Lines(MemoryListing(bytes));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0],
            "     00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F");
  EXPECT_EQ(lines[1],
            "000  4B FF FF FF FF FF FF FF  00 FF FF FF FF FF FF FF  "
            "K...............");
  // A short last line leaves the missing bytes blank.
  EXPECT_EQ(lines[2].substr(0, 16), "010  FF 41 FF FF");
  EXPECT_EQ(lines[2].size(), static_cast<std::size_t>(ListingLineLength()));
  EXPECT_EQ(lines[2].substr(lines[2].size() - 16), ".A..            ");
}

TEST(MemoryListingTest, MarksWhatChangedWhereItStands) {
  struct Row {
    std::vector<std::uint8_t> before;
    std::vector<std::uint8_t> after;
    std::vector<std::size_t> changed;
  };
  const Row rows[] = {
      {{1, 2, 3}, {1, 9, 3}, {1}},
      {{1, 2, 3}, {1, 2, 3}, {}},
      // A new size is a new memory: nothing is marked.
      {{1, 2, 3}, {1, 2, 3, 4}, {}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ChangedBytes(row.before, row.after), row.changed);
  }
  // Byte 0x1F7: line 0x1F (after the header), column 7 before the gap.
  const std::string listing = MemoryListing(std::vector<std::uint8_t>(512, 'A'));
  const std::vector<std::string> lines = Lines(listing);
  const auto spans = SpansOf(0x1F7);
  ASSERT_EQ(spans.size(), 2u);
  EXPECT_EQ(spans[0].line, 0x20);
  EXPECT_EQ(lines[0x20].substr(spans[0].start, spans[0].length), "41");
  EXPECT_EQ(lines[0x20].substr(spans[1].start, spans[1].length), "A");
  EXPECT_EQ(SpansOf(0x08)[0].start, SpansOf(0x07)[0].start + 4)
      << "a gap after the eighth byte";
}

}  // namespace
}  // namespace srom
