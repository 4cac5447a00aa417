#include "files/hex_file.h"

#include "model/hex_text.h"

namespace srom {
namespace {

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

}  // namespace

std::string FormatImageFile(std::span<const std::uint8_t> image) {
  return FormatHexListing(image, "\r\n", false);
}

int MemorySource::Peek() {
  if (position_ >= text_.size()) return -1;
  return static_cast<unsigned char>(text_[position_]);
}

void MemorySource::Advance() {
  if (position_ < text_.size()) ++position_;
}

void HexValueReader::SkipSpace() {
  while (IsSpace(source_.Peek())) source_.Advance();
}

bool HexValueReader::Next(std::uint8_t& value) {
  if (stopped_) return false;
  SkipSpace();
  int digits = 0;
  int number = 0;
  while (digits < 2) {
    const int digit = HexDigitValue(source_.Peek());
    if (digit < 0) break;
    number = number * 16 + digit;
    ++digits;
    source_.Advance();
  }
  if (digits == 0) {
    stopped_ = true;
    return false;
  }
  SkipSpace();
  value = static_cast<std::uint8_t>(number);
  return true;
}

}  // namespace srom
