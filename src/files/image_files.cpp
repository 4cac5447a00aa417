#include "files/image_files.h"

#include <algorithm>
#include <functional>
#include <memory>

#include "model/checksum.h"
#include "model/chip_traits.h"
#include "model/efuse_image.h"
#include "model/hex_text.h"
#include "model/messages.h"
#include "model/srom_decode.h"
#include "model/srom_image.h"
#include "model/srom_layout.h"
#include "model/validation.h"

namespace srom {
namespace fs = std::filesystem;

namespace {

namespace layout = srom_layout;

// The serial number characters of the EEPROM image, 0x4C..0x59.
constexpr std::size_t kSerialFirst = layout::kSerial;
constexpr std::size_t kSerialLast =
    layout::kSerial + layout::kSerialCapacity - 1;
// Serial string offset (byte 0x18) plus its length (byte 0x19) must give this.
constexpr int kSerialOffsetPlusLength = 52;

void Refuse(Reporter& reporter, const FileRefusal& refusal) {
  if (refusal.fail_picture) reporter.SetResultPicture(ResultPicture::kFail);
  reporter.ShowMessage(refusal.message);
}

// A chosen image file, read whole: only a plain file (a pipe chosen in the
// dialog would block the open for good), and none larger than
// kImageFileCap, which no image file comes near. The file an operator
// chooses may be a link; it is read where the link leads. A file that cannot
// be read shows "File can't be opened." and the cause; one too large for an
// image shows `size_message` and its size.
struct ChosenRead {
  std::optional<std::string> bytes;
  // What to show when it was refused: the window's message, then the cause.
  std::string message;
  std::string cause;
};

ChosenRead ReadChosenFile(const fs::path& path, const char* size_message) {
  FileRead read = ReadPlainFile(path, kImageFileCap, LinkRule::kFollow);
  ChosenRead chosen;
  if (read.ok()) {
    chosen.bytes = std::move(read.bytes);
    return chosen;
  }
  chosen.message = read.fault == ReadFault::kTooLarge
                       ? size_message
                       : msg::kFileCannotBeOpened;
  chosen.cause = ReadFailureText(path, ReadFaultText(read));
  return chosen;
}

// Reads a chosen image file and checks its size window; the refusal is
// shown.
std::optional<std::string> ReadSizedFile(
    const fs::path& path, const std::function<bool(std::uintmax_t)>& size_fits,
    const char* size_message, Reporter& reporter) {
  ChosenRead chosen = ReadChosenFile(path, size_message);
  if (!chosen.bytes) {
    Refuse(reporter, {chosen.message});
    reporter.ShowMessage(chosen.cause);
    return std::nullopt;
  }
  if (!size_fits(chosen.bytes->size())) {
    Refuse(reporter, {size_message});
    return std::nullopt;
  }
  return std::move(chosen.bytes);
}

// After a file has been read through: a failed check is shown, and the file
// is not taken.
bool ReadAccepted(const std::optional<FileRefusal>& refusal,
                  Reporter& reporter) {
  if (refusal) {
    Refuse(reporter, *refusal);
    return false;
  }
  return true;
}

// The low byte of a chip's default product ID, which byte 6 of its image
// holds: 0x80 for chip A, 0x7D for chip B.
std::uint8_t DefaultProductIdLow(Chip chip) {
  return ProductIdLow(TraitsOf(chip));
}

bool StringBytesPrintable(std::span<const std::uint8_t> image,
                          std::size_t first, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t c = image[first + i];
    if (c < 0x20 || c > 0x7F) return false;
  }
  return true;
}

// Found as the Windows file system would find it: exactly, or with another
// letter case. A name that cannot be looked at counts as found.
bool FoundIn(const fs::path& folder, std::string_view name) {
  return MayExist(folder / name) || ExistsIgnoringCase(folder, name);
}

bool WriteEfuseFile(const FileFolders& folders,
                    std::span<const std::uint8_t> image,
                    std::string_view output_box, const std::string& current_mac,
                    LastAccepted& accepted, Reporter& reporter) {
  if (output_box.empty()) {
    reporter.ShowMessage(msg::kNoContentToSave);
    return false;
  }
  std::string why;
  if (!SaveFile(folders.program_folder / station_file::kEfuse,
                FormatImageFile(image.first(kEfuseSize)), &why)) {
    reporter.ShowMessage(msg::kCannotWriteEfuse);
    reporter.ShowMessage(why);
    return false;
  }
  accepted.CurrentMac = current_mac;
  return true;
}

}  // namespace

bool SromFileSizeFits(std::uintmax_t size, int image_size) {
  if (image_size == kSromSize512) return size >= 1598;
  return size >= 797 && size <= 810;
}

bool EfuseFileSizeFits(std::uintmax_t size) {
  return size >= 196 && size <= 202;
}

std::optional<FileRefusal> ReadSromImage(
    HexValueReader& reader, int device_sel, int image_size,
    std::span<std::uint8_t, kImageAreaSize> image) {
  std::fill(image.begin(), image.end(), 0xFF);
  const int sel = NormalizeDeviceSel(device_sel);
  const int count = std::clamp(image_size, 0, static_cast<int>(kImageAreaSize));
  std::size_t product_length = 0;
  std::size_t manufacturer_length = 0;
  for (std::size_t k = 0; k < static_cast<std::size_t>(count); ++k) {
    std::uint8_t value;
    if (reader.Next(value)) image[k] = value;
    std::uint8_t& byte = image[k];
    if (k == layout::kMac && (byte & 0x01) != 0) {
      return FileRefusal{msg::kSromWrongFirstByte};
    }
    if (k == layout::kProductId &&
        ((sel == kChipBEeprom && byte == DefaultProductIdLow(Chip::kA)) ||
         (sel == kChipAEeprom && byte == DefaultProductIdLow(Chip::kB)))) {
      return FileRefusal{msg::kSromWrongDevice, false};
    }
    if (k == layout::kIdChecksum &&
        byte != IdChecksum(std::span<const std::uint8_t, 4>(
                    image.data() + layout::kProductId, 4))) {
      return FileRefusal{msg::kSromWrongChecksum};
    }
    if (k == layout::kProductLength) product_length = byte;
    if (k == layout::kManufacturerLength) manufacturer_length = byte;
    if (k >= kSerialFirst && k <= kSerialLast && byte >= 'a' && byte <= 'f') {
      byte = static_cast<std::uint8_t>(byte - 'a' + 'A');
    }
    if (!SromByteValid(k, byte)) return FileRefusal{msg::kSromWrongFile};
    if (k == layout::kSerialLength &&
        image[layout::kSerialLength - 1] + image[layout::kSerialLength] !=
            kSerialOffsetPlusLength) {
      return FileRefusal{msg::kSromSerialLayout};
    }
  }
  // The lengths are at most 255, so both strings lie inside the 512 bytes;
  // past the image size they meet the 0xFF fill and are refused.
  if (!StringBytesPrintable(image, layout::kProduct, product_length)) {
    return FileRefusal{msg::kSromProductFormat};
  }
  if (!StringBytesPrintable(image, layout::kManufacturer,
                            manufacturer_length)) {
    return FileRefusal{msg::kSromManufacturerFormat};
  }
  return std::nullopt;
}

std::optional<FileRefusal> ReadEfuseImage(
    HexValueReader& reader, std::span<std::uint8_t, kEfuseSize> image) {
  std::fill(image.begin(), image.end(), 0xFF);
  for (std::size_t k = 0; k < image.size(); ++k) {
    std::uint8_t value;
    if (reader.Next(value)) image[k] = value;
    if (k == 0 && (image[k] & 0x01) != 0) {
      return FileRefusal{msg::kEfuseWrongFirstByte};
    }
    if (!EfuseByteValid(k, image[k])) {
      return FileRefusal{msg::kEfuseWrongFile};
    }
  }
  return std::nullopt;
}

bool SaveSromDat(const FileFolders& folders, const ImageBuffer& prev,
                 int srom_size, std::string_view output_box,
                 Reporter& reporter) {
  if (output_box.empty()) {
    reporter.ShowMessage(msg::kNoContentToSave);
    return false;
  }
  const auto image =
      ImageArea(prev).first(static_cast<std::size_t>(EepromSizeOf(srom_size)));
  std::string why;
  if (!SaveFile(folders.program_folder / station_file::kSrom,
                FormatImageFile(image), &why)) {
    reporter.ShowMessage(msg::kCannotWriteSrom);
    reporter.ShowMessage(why);
    return false;
  }
  return true;
}

std::optional<bool> CreateMissingSromDat(const FileFolders& folders,
                                         const ImageBuffer& prev, int srom_size,
                                         std::string_view output_box,
                                         Reporter& reporter) {
  if (FoundIn(folders.working_folder, station_file::kSrom) ||
      FoundIn(folders.program_folder, station_file::kSrom)) {
    return std::nullopt;
  }
  reporter.ShowMessage(msg::kSromDatCreated);
  return SaveSromDat(folders, prev, srom_size, output_box, reporter);
}

FileLoad LoadSrom(const ChosenFile& chosen, SromSettings& settings,
                  ImageBuffer& prev, int& image_size, Reporter& reporter) {
  const int n = EepromSizeOf(settings.SromSize);
  image_size = n;
  if (!chosen) return FileLoad::kCancelled;
  const auto fits = [n](std::uintmax_t size) {
    return SromFileSizeFits(size, n);
  };
  const auto bytes =
      ReadSizedFile(*chosen, fits, msg::kSromFileError, reporter);
  if (!bytes) return FileLoad::kRefused;
  std::array<std::uint8_t, kImageAreaSize> work;
  MemorySource source(*bytes);
  HexValueReader reader(source);
  const auto refusal = ReadSromImage(reader, settings.DeviceSel, n, work);
  if (!ReadAccepted(refusal, reporter)) return FileLoad::kRefused;
  std::copy(work.begin(), work.end(), ImageArea(prev).begin());
  reporter.ShowPreview(FormatImagePreview(prev, n));
  DecodeSromImage(prev, settings);
  reporter.SetResultPicture(ResultPicture::kPass);
  return FileLoad::kLoaded;
}

bool ConvertToBin(const FileFolders& folders, const ChosenFile& chosen,
                  int srom_size, Reporter& reporter) {
  const int n = EepromSizeOf(srom_size);
  if (!chosen) return false;
  const auto fail = [&reporter](const std::string& message,
                                const std::string& why = {}) {
    reporter.ShowMessage(message);
    if (!why.empty()) reporter.ShowMessage(why);
    reporter.SetResultPicture(ResultPicture::kFail);
    return false;
  };
  const ChosenRead read = ReadChosenFile(*chosen, msg::kSromFileSize);
  if (!read.bytes) return fail(read.message, read.cause);
  if (!SromFileSizeFits(read.bytes->size(), n)) {
    return fail(msg::kSromFileSize);
  }
  // A file of the right size that is not hex text (a raw image chosen by
  // mistake, a text file) would otherwise become 0xFF bytes reported as a
  // success: all N values must be there.
  std::array<std::uint8_t, kImageAreaSize> work;
  MemorySource source(*read.bytes);
  HexValueReader reader(source);
  int values = 0;
  while (values < n && reader.Next(work[static_cast<std::size_t>(values)])) {
    ++values;
  }
  if (values < n) return fail(msg::BinNeedsHexValues(n));
  const std::string_view raw(reinterpret_cast<const char*>(work.data()),
                             static_cast<std::size_t>(n));
  std::string why;
  if (!SaveFile(folders.working_folder / station_file::kSromBin, raw, &why)) {
    return fail(msg::kCannotWriteBin, why);
  }
  reporter.ShowMessage(msg::kBinWritten);
  reporter.SetResultPicture(ResultPicture::kPass);
  return true;
}

bool SaveEfuseDat(const FileFolders& folders, const ImageBuffer& prev,
                  std::string_view output_box, const std::string& current_mac,
                  LastAccepted& accepted, Reporter& reporter) {
  // A copy, so the bytes written are those of one moment.
  std::array<std::uint8_t, kEfuseSize> image;
  std::copy_n(ImageArea(prev).begin(), kEfuseSize, image.begin());
  return WriteEfuseFile(folders, image, output_box, current_mac, accepted,
                        reporter);
}

FileLoad LoadEfuseDat(const ChosenFile& chosen, SromSettings& settings,
                      ImageBuffer& prev, int& image_size, Reporter& reporter) {
  image_size = kEfuseSize;
  if (!chosen) return FileLoad::kCancelled;
  const auto bytes =
      ReadSizedFile(*chosen, EfuseFileSizeFits, msg::kEfuseFileError, reporter);
  if (!bytes) return FileLoad::kRefused;
  std::array<std::uint8_t, kEfuseSize> work;
  MemorySource source(*bytes);
  HexValueReader reader(source);
  const auto refusal = ReadEfuseImage(reader, work);
  if (!ReadAccepted(refusal, reporter)) return FileLoad::kRefused;
  std::copy(work.begin(), work.end(), ImageArea(prev).begin());
  settings.CurrentMac = EfuseMacText(work);
  reporter.SetResultPicture(ResultPicture::kPass);
  reporter.ShowPreview(FormatImagePreview(prev, kEfuseSize));
  return FileLoad::kLoaded;
}

std::optional<bool> ResetEfuseImage(const FileFolders& folders,
                                    const SromSettings& settings,
                                    ImageBuffer& prev, int& image_size,
                                    LastAccepted& accepted,
                                    Reporter& reporter) {
  image_size = kEfuseSize;
  ResetEfuseImageArea(prev, settings.DeviceSel);
  const std::string listing = FormatImagePreview(prev, kEfuseSize);
  reporter.ShowPreview(listing);
  std::optional<bool> saved;
  if (!FoundIn(folders.working_folder, "EFuse.dat") &&
      !FoundIn(folders.program_folder, station_file::kEfuse)) {
    reporter.ShowMessage(msg::kEfuseDatCreated);
    saved = SaveEfuseDat(folders, prev, listing, settings.CurrentMac, accepted,
                         reporter);
  }
  reporter.ShowPreview(listing);
  return saved;
}

bool CheckEfuseConversion(const ImageBuffer& prev, Reporter& reporter) {
  reporter.ShowPreview("");
  if (const auto failure = CheckEfuseConversionSizes(prev)) {
    reporter.ShowMessage(*failure);
    reporter.SetResultPicture(ResultPicture::kFail);
    return false;
  }
  return true;
}

bool ConvertToEfuse(const FileFolders& folders, SromSettings& settings,
                    ImageBuffer& prev, int& image_size, LastAccepted& accepted,
                    int serial_no_type, Reporter& reporter) {
  settings.SerialNoType = serial_no_type;
  const EfuseImage image =
      DeriveEfuseImage(prev, settings.DeviceSel, serial_no_type);
  image_size = kEfuseSize;
  ImageBuffer shown = BlankBuffer();
  std::copy(image.begin(), image.end(), ImageArea(shown).begin());
  const std::string listing = FormatImagePreview(shown, kEfuseSize);
  reporter.ShowPreview(listing);
  const bool saved = WriteEfuseFile(folders, image, listing,
                                    settings.CurrentMac, accepted, reporter);
  reporter.SetResultPicture(saved ? ResultPicture::kPass
                                  : ResultPicture::kFail);
  return saved;
}

}  // namespace srom
