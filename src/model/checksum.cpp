#include "model/checksum.h"

#include "model/efuse_layout.h"

namespace srom {

std::uint8_t EndAroundSum(std::span<const std::uint8_t> bytes) {
  unsigned s = 0;
  for (const std::uint8_t b : bytes) {
    s += b;
    if (s > 0xFF) s = (s & 0xFF) + 1;
  }
  return static_cast<std::uint8_t>(s);
}

std::uint8_t IdChecksum(std::span<const std::uint8_t, 4> id_bytes) {
  return static_cast<std::uint8_t>(0xFF - EndAroundSum(id_bytes));
}

std::uint8_t EfuseChecksum(std::span<const std::uint8_t> efuse_image) {
  // The sum runs over the image with its checksum place read as 0xFF.
  unsigned s = 0;
  for (std::size_t i = 0; i < efuse_image.size(); ++i) {
    s += i == efuse_layout::kChecksum ? 0xFF : efuse_image[i];
    if (s > 0xFF) s = (s & 0xFF) + 1;
  }
  return static_cast<std::uint8_t>(0xFF - s);
}

}  // namespace srom
