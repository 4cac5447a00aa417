// The SROM.dat and EFUSE.dat readers on any text. The first byte chooses the
// file kind, the device selection and the image size. Nothing may crash, and
// an accepted image must be accepted again, unchanged, from the text the
// tool writes for it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "files/hex_file.h"
#include "files/image_files.h"

namespace {

void CheckSrom(std::string_view text, int device_sel, int image_size) {
  std::array<std::uint8_t, srom::kImageAreaSize> image;
  srom::MemorySource source(text);
  srom::HexValueReader reader(source);
  if (srom::ReadSromImage(reader, device_sel, image_size, image)) return;
  const std::string saved = srom::FormatImageFile(
      std::span(image).first(static_cast<std::size_t>(image_size)));
  if (!srom::SromFileSizeFits(saved.size(), image_size)) std::abort();
  std::array<std::uint8_t, srom::kImageAreaSize> again;
  srom::MemorySource saved_source(saved);
  srom::HexValueReader saved_reader(saved_source);
  if (srom::ReadSromImage(saved_reader, device_sel, image_size, again))
    std::abort();
  if (again != image) std::abort();
}

void CheckEfuse(std::string_view text) {
  std::array<std::uint8_t, srom::kEfuseSize> image;
  srom::MemorySource source(text);
  srom::HexValueReader reader(source);
  if (srom::ReadEfuseImage(reader, image)) return;
  const std::string saved = srom::FormatImageFile(image);
  if (!srom::EfuseFileSizeFits(saved.size())) std::abort();
  std::array<std::uint8_t, srom::kEfuseSize> again;
  srom::MemorySource saved_source(saved);
  srom::HexValueReader saved_reader(saved_source);
  if (srom::ReadEfuseImage(saved_reader, again) || again != image) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t choice = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1),
                              size - 1);
  if ((choice & 0x08) != 0) {
    CheckEfuse(text);
  } else {
    CheckSrom(text, choice & 0x03, (choice & 0x04) != 0 ? 512 : 256);
  }
  return 0;
}
