// The 520-byte buffers exchanged with the test driver: an 8-byte header
// followed by a 512-byte image area. Image offset n is buffer offset 8 + n.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace srom {

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kImageAreaSize = 512;
inline constexpr std::size_t kBufferSize = kHeaderSize + kImageAreaSize;

inline constexpr int kSromSize256 = 256;
inline constexpr int kSromSize512 = 512;
inline constexpr int kEfuseSize = 64;

using ImageBuffer = std::array<std::uint8_t, kBufferSize>;

// The header in front of every buffer: magic "VELK", the word offset of the
// transfer (always 0) and its length in 16-bit words, both little-endian.
struct ImageHeader {
  std::array<char, 4> magic = {'V', 'E', 'L', 'K'};
  std::uint16_t word_offset = 0;
  std::uint16_t length_words = 0;

  bool operator==(const ImageHeader&) const = default;
};

inline constexpr std::array<char, 4> kHeaderMagic = {'V', 'E', 'L', 'K'};

void WriteImageHeader(ImageBuffer& buffer, const ImageHeader& header);
// The header at the front of a buffer or of a transfer as the driver gets it;
// a transfer shorter than a header reads as a header without the magic.
ImageHeader ReadImageHeader(std::span<const std::uint8_t> transfer);
inline bool HasHeaderMagic(const ImageHeader& header) {
  return header.magic == kHeaderMagic;
}

// The image area, writable and read-only.
inline std::span<std::uint8_t, kImageAreaSize> ImageArea(ImageBuffer& buffer) {
  return std::span<std::uint8_t, kBufferSize>(buffer).subspan<kHeaderSize>();
}
inline std::span<const std::uint8_t, kImageAreaSize> ImageArea(
    const ImageBuffer& buffer) {
  return std::span<const std::uint8_t, kBufferSize>(buffer)
      .subspan<kHeaderSize>();
}

// A buffer as the window allocates it: all 520 bytes 0xFF.
ImageBuffer BlankBuffer();

// True when the first `count` bytes of the image area are all 0xFF.
bool IsImageAreaBlank(const ImageBuffer& buffer, std::size_t count);

// The image size of an EEPROM selection by `SromSize` (0 = 256, 1 = 512).
constexpr int EepromSizeOf(int srom_size) {
  return srom_size == 1 ? kSromSize512 : kSromSize256;
}

// Sets `image_size` by the selection (256/512 by `srom_size` for the EEPROM
// selections, 64 for the eFuse ones) and writes the header for it. Returns
// false and changes nothing when there is no valid selection.
bool FillImageHeader(ImageBuffer& buffer, int device_sel, int srom_size,
                     int& image_size);

}  // namespace srom
