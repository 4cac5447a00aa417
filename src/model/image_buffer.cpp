#include "model/image_buffer.h"

#include <algorithm>

#include "model/settings.h"

namespace srom {

void WriteImageHeader(ImageBuffer& buffer, const ImageHeader& header) {
  std::copy(header.magic.begin(), header.magic.end(), buffer.begin());
  buffer[4] = static_cast<std::uint8_t>(header.word_offset & 0xFF);
  buffer[5] = static_cast<std::uint8_t>(header.word_offset >> 8);
  buffer[6] = static_cast<std::uint8_t>(header.length_words & 0xFF);
  buffer[7] = static_cast<std::uint8_t>(header.length_words >> 8);
}

ImageHeader ReadImageHeader(std::span<const std::uint8_t> transfer) {
  ImageHeader header;
  if (transfer.size() < kHeaderSize) {
    header.magic = {};
    return header;
  }
  std::copy_n(transfer.begin(), header.magic.size(), header.magic.begin());
  header.word_offset =
      static_cast<std::uint16_t>(transfer[4] | transfer[5] << 8);
  header.length_words =
      static_cast<std::uint16_t>(transfer[6] | transfer[7] << 8);
  return header;
}

ImageBuffer BlankBuffer() {
  ImageBuffer buffer;
  buffer.fill(0xFF);
  return buffer;
}

bool IsImageAreaBlank(const ImageBuffer& buffer, std::size_t count) {
  const auto area = ImageArea(buffer);
  count = std::min(count, area.size());
  return std::all_of(area.begin(), area.begin() + count,
                     [](std::uint8_t b) { return b == 0xFF; });
}

bool FillImageHeader(ImageBuffer& buffer, int device_sel, int srom_size,
                     int& image_size) {
  if (!IsValidDeviceSel(device_sel)) return false;
  image_size = IsEepromSel(device_sel) ? EepromSizeOf(srom_size) : kEfuseSize;
  ImageHeader header;
  header.length_words = static_cast<std::uint16_t>(image_size / 2);
  WriteImageHeader(buffer, header);
  return true;
}

}  // namespace srom
