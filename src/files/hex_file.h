// The hex text of SROM.dat and EFUSE.dat: writing an image as "%02X " groups,
// sixteen to a line, and reading such values back one at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace srom {

// Each byte as two upper-case hex digits and a space; CR LF after every 16th
// byte except the last one. 256 bytes give 798 characters, 64 give 198.
std::string FormatImageFile(std::span<const std::uint8_t> image);

// Where the reader takes its characters from. Peek() returns the next byte
// (0..255) without taking it, or -1 at the end.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int Peek() = 0;
  virtual void Advance() = 0;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view text) : text_(text) {}
  int Peek() override;
  void Advance() override;

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

// Reads one value after another as the image files store them: white space,
// one or two hex digits of either case, white space. The first character that
// is neither white space nor a hex digit (or the end of the text) stops the
// reading for good; every later Next() then fails too, so the bytes from
// there on keep what their buffer held.
class HexValueReader {
 public:
  explicit HexValueReader(ByteSource& source) : source_(source) {}
  bool Next(std::uint8_t& value);

 private:
  void SkipSpace();
  ByteSource& source_;
  bool stopped_ = false;
};

}  // namespace srom
