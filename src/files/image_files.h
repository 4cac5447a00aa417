// SROM.dat and EFUSE.dat (an image as hex text, sixteen bytes to a line) and
// SROM.bin (the raw EEPROM image): saving, loading with every byte checked,
// the conversion to a raw file, the eFuse reset and the eFuse conversion.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "files/file_io.h"
#include "files/hex_file.h"
#include "model/image_buffer.h"
#include "model/settings.h"
#include "ports/reporter.h"

namespace srom {

// What the open-file dialog gave: a path, or nothing when it was cancelled.
using ChosenFile = std::optional<std::filesystem::path>;

enum class FileLoad {
  kCancelled,  // the dialog was cancelled; nothing else happened
  kRefused,    // a message said why; the image and the settings are as before
  kLoaded,     // the image (and what it carries into the settings) is taken
};

// A refused file: its message and whether the fail picture goes with it.
struct FileRefusal {
  std::string message;
  bool fail_picture = true;

  bool operator==(const FileRefusal&) const = default;
};

// Size windows of the readable files.
bool SromFileSizeFits(std::uintmax_t size, int image_size);
bool EfuseFileSizeFits(std::uintmax_t size);

// Reads `image_size` values into `image` (filled with 0xFF first) and makes
// every check of a loaded SROM.dat in its order: first byte, device match
// (EEPROM selections only), ID checksum, serial characters made upper case,
// the byte rules, serial length and offset, then the product and
// manufacturer strings. Nothing means the image is accepted.
std::optional<FileRefusal> ReadSromImage(
    HexValueReader& reader, int device_sel, int image_size,
    std::span<std::uint8_t, kImageAreaSize> image);

// Reads 64 values into `image` (filled with 0xFF first) and makes the checks
// of a loaded EFUSE.dat: the first byte, then the eFuse byte rules.
std::optional<FileRefusal> ReadEfuseImage(
    HexValueReader& reader, std::span<std::uint8_t, kEfuseSize> image);

// Writes the first N image bytes of `prev` (N = 256 or 512 by `srom_size`) to
// ProgramFolder + "SROM.dat". Refused when the output box is empty. The result
// is the window's LastSaveOk; the caller shows the picture.
bool SaveSromDat(const FileFolders& folders, const ImageBuffer& prev,
                 int srom_size, std::string_view output_box,
                 Reporter& reporter);

// The start-up test: when no "SROM.dat" is found, says so and saves the
// current image. A file in ProgramFolder counts too, so a working folder
// without one never overwrites it. Nothing when a file was found, else the
// save's result (LastSaveOk).
std::optional<bool> CreateMissingSromDat(const FileFolders& folders,
                                         const ImageBuffer& prev, int srom_size,
                                         std::string_view output_box,
                                         Reporter& reporter);

// "Load SROM" after the window has taken its fields into `settings` and run
// DetectDevice: sets `image_size` by SromSize, and when the chosen file passes
// every check copies its 512-byte work image into `prev`, shows its preview,
// decodes it into `settings` and shows the pass picture. The window then shows
// the fields.
FileLoad LoadSrom(const ChosenFile& chosen, SromSettings& settings,
                  ImageBuffer& prev, int& image_size, Reporter& reporter);

// "Convert to Bin" after the window has taken its fields and run
// DetectDevice: writes the first N values of the chosen file, unchecked, as
// the N raw bytes of "SROM.bin" in the working folder. A file with fewer than
// N hex values is refused and nothing is written. True when it was written.
bool ConvertToBin(const FileFolders& folders, const ChosenFile& chosen,
                  int srom_size, Reporter& reporter);

// Writes the 64 image bytes of `prev` to ProgramFolder + "EFUSE.dat". Refused
// when the output box is empty. On success the current-MAC entry of
// `accepted` becomes `current_mac`. The result is the window's LastSaveOk.
bool SaveEfuseDat(const FileFolders& folders, const ImageBuffer& prev,
                  std::string_view output_box, const std::string& current_mac,
                  LastAccepted& accepted, Reporter& reporter);

// "Load Efuse" after the window has taken its fields: sets `image_size` to 64,
// and when the chosen file passes its checks copies it into `prev`, takes
// CurrentMac (and nothing else) from it, shows the pass picture and the
// preview. The window then shows the fields.
FileLoad LoadEfuseDat(const ChosenFile& chosen, SromSettings& settings,
                      ImageBuffer& prev, int& image_size, Reporter& reporter);

// Entering an eFuse selection: the chip's default eFuse image into `prev`,
// its preview, and when no "EFuse.dat" is found (letter case ignored) a
// message and SaveEfuseDat of that image. A file in ProgramFolder counts too.
// Nothing when a file was found, else the save's result (LastSaveOk).
std::optional<bool> ResetEfuseImage(const FileFolders& folders,
                                    const SromSettings& settings,
                                    ImageBuffer& prev, int& image_size,
                                    LastAccepted& accepted, Reporter& reporter);

// "Convert to EFuse", the part before the "Serial No. Type" dialog, after the
// window's refresh: empties the output box and runs the size checks on the
// EEPROM image. False (with its message and the fail picture) stops the
// conversion.
bool CheckEfuseConversion(const ImageBuffer& prev, Reporter& reporter);

// "Convert to EFuse", the part after the dialog: takes its choice as
// SerialNoType, derives the eFuse image from the EEPROM image in `prev`
// (which keeps it, apart from the flag bit of a fixed serial), shows it with
// `image_size` 64, writes it to ProgramFolder + "EFUSE.dat" and shows the
// pass or fail picture. The result is the window's LastSaveOk. The device
// list's brief switch to the eFuse entry and back is the window's.
bool ConvertToEfuse(const FileFolders& folders, SromSettings& settings,
                    ImageBuffer& prev, int& image_size, LastAccepted& accepted,
                    int serial_no_type, Reporter& reporter);

}  // namespace srom
