#include "device/device_operations.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "device/driver_contract.h"
#include "model/messages.h"
#include "model/settings.h"
#include "model/srom_image.h"

namespace srom {
namespace {

bool WriteRegister(DriverPort& port, DeviceHandle handle,
                   RegisterRequest request) {
  const auto bytes = request.Bytes();
  return port.Request(handle, IOCTL_WRITE_REGISTER, bytes, {});
}

// `answer` keeps its value when the driver succeeds without returning a byte.
bool ReadRegister(DriverPort& port, DeviceHandle handle,
                  RegisterRequest request, std::uint8_t& answer) {
  const auto bytes = request.Bytes();
  return port.Request(handle, IOCTL_READ_REGISTER, bytes,
                      std::span<std::uint8_t>(&answer, 1));
}

// One 16-bit word through the chip's registers. The low byte is stored as
// soon as it is read, so a failure on the high byte leaves it in place.
bool ReadEepromWord(DriverPort& port, DeviceHandle handle, std::uint8_t word,
                    std::uint8_t& low, std::uint8_t& high) {
  if (!WriteRegister(port, handle,
                     {kRegEepromAddress, kRegisterSelector, word})) {
    return false;
  }
  if (!WriteRegister(
          port, handle,
          {kRegEepromControl, kRegisterSelector, kEepromStartRead})) {
    return false;
  }
  // No pause between polls: the count alone bounds the wait.
  std::uint8_t control = kEepromBusy;
  for (int poll = 0; poll < kMaxBusyPolls; ++poll) {
    // A driver that answers without a byte must not pass for "ready".
    control = kEepromBusy;
    if (!ReadRegister(port, handle,
                      {kRegEepromControl, kRegisterSelector, kEepromBusy},
                      control)) {
      return false;
    }
    if ((control & kEepromBusy) == 0) break;
  }
  if ((control & kEepromBusy) != 0) return false;

  if (!ReadRegister(port, handle, {kRegEepromDataLow, kRegisterSelector, 0x00},
                    low)) {
    return false;
  }
  return ReadRegister(port, handle,
                      {kRegEepromDataHigh, kRegisterSelector, 0x00}, high);
}

}  // namespace

bool DeviceAccess::DetectDevice() {
  const auto handle = port_.Open(kDevicePath);
  reporter_.SetStatus(handle ? msg::kStatusDetected : msg::kStatusUnplugged);
  if (!handle) {
    last_failure_ = DeviceFailure::kNotOpened;
    return false;
  }
  port_.Close(*handle);
  return true;
}

void DeviceAccess::CheckTestDriver() {
  const auto handle = port_.Open(kDevicePath);
  if (!handle) {
    reporter_.SetStatus(msg::kStatusUnplugged);
    reporter_.ShowMessage(msg::kFailedToOpenDevice);
    return;
  }
  // The probe's one-byte answer lands in the first byte of the buffer that
  // then goes out as the version query.
  std::array<std::uint8_t, 3> bytes = {0x00, 0x00, 0x00};
  if (!port_.Request(*handle, IOCTL_READ_REGISTER, bytes,
                     std::span<std::uint8_t>(bytes).first(1))) {
    port_.Close(*handle);
    reporter_.ShowMessage(msg::kInstallDriver);
    return;
  }
  // An old driver may fail the query or answer anything: only the three
  // bytes "Yes" count, whatever the request returned.
  port_.Request(*handle, IOCTL_QUERY_DRIVER, bytes, bytes);
  if (bytes != kDriverRecentAnswer) reporter_.ShowMessage(msg::kUpgradeDriver);
  port_.Close(*handle);
}

std::string DeviceAccess::ReadEeprom(ImageBuffer& buffer, int srom_size,
                                     int& image_size) {
  image_size = EepromSizeOf(srom_size);
  const auto handle = port_.Open(kDevicePath);
  if (!handle) {
    reporter_.SetStatus(msg::kStatusUnplugged);
    last_failure_ = DeviceFailure::kNotOpened;
    return msg::kFailedToOpenDevice;
  }
  auto image = ImageArea(buffer);
  const int words = image_size / 2;  // at most 256: the index fits one byte
  for (int w = 0; w < words; ++w) {
    if (!ReadEepromWord(port_, *handle, static_cast<std::uint8_t>(w),
                        image[2 * w], image[2 * w + 1])) {
      port_.Close(*handle);
      last_failure_ = DeviceFailure::kRequestFailed;
      return msg::kReadEepromFailed;
    }
  }
  port_.Close(*handle);
  reporter_.ShowPreview(FormatImagePreview(buffer, image_size));
  return msg::kReadSuccess;
}

std::optional<std::array<std::uint8_t, 6>> DeviceAccess::ReadEepromMac() {
  const auto handle = port_.Open(kDevicePath);
  if (!handle) {
    last_failure_ = DeviceFailure::kNotOpened;
    return std::nullopt;
  }
  std::array<std::uint8_t, 6> mac{};
  for (std::uint8_t w = 0; w < 3; ++w) {
    if (!ReadEepromWord(port_, *handle, w, mac[2 * w], mac[2 * w + 1])) {
      port_.Close(*handle);
      last_failure_ = DeviceFailure::kRequestFailed;
      return std::nullopt;
    }
  }
  port_.Close(*handle);
  return mac;
}

bool DeviceAccess::ReadEfuse(ImageBuffer& buffer, int& image_size) {
  image_size = kEfuseSize;
  ImageHeader header;
  header.length_words = kWordsEfuseRead;
  WriteImageHeader(buffer, header);

  const auto handle = port_.Open(kDevicePath);
  if (!handle) {
    last_failure_ = DeviceFailure::kNotOpened;
    reporter_.SetStatus(msg::kStatusUnplugged);
    reporter_.ShowMessage(msg::kFailedToOpenDevice);
    reporter_.SetResultPicture(ResultPicture::kFail);
    return false;
  }
  // The driver answers into a copy, so that a failed read cannot leave half
  // an answer in the caller's data bytes.
  std::array<std::uint8_t, kEfuseTransferSize> transfer;
  std::copy_n(buffer.begin(), transfer.size(), transfer.begin());
  if (!port_.Request(*handle, IOCTL_READ_EFUSE, transfer, transfer)) {
    last_failure_ = DeviceFailure::kRequestFailed;
    reporter_.ShowMessage(msg::kReadEfuseFailed);
    reporter_.SetResultPicture(ResultPicture::kFail);
    port_.Close(*handle);
    return false;
  }
  std::copy(transfer.begin() + kHeaderSize, transfer.end(),
            buffer.begin() + kHeaderSize);
  port_.Close(*handle);
  reporter_.ShowPreview(FormatImagePreview(buffer, image_size));
  reporter_.SetResultPicture(ResultPicture::kPass);
  return true;
}

bool DeviceAccess::WriteImage(ImageBuffer& buffer, int device_sel,
                              int image_size) {
  if (!IsValidDeviceSel(device_sel)) return true;
  const auto handle = port_.Open(kDevicePath);
  if (!handle) {
    last_failure_ = DeviceFailure::kNotOpened;
    reporter_.SetStatus(msg::kStatusUnplugged);
    reporter_.ShowMessage(msg::kOpenDeviceFail);
    return false;
  }

  if (IsEepromSel(device_sel)) {
    // Only a whole EEPROM is ever written; any other size would send bytes
    // from beyond the image or a truncated image.
    const bool size_ok =
        image_size == kSromSize256 || image_size == kSromSize512;
    const bool ok =
        size_ok &&
        port_.Request(*handle, IOCTL_WRITE_EEPROM,
                      std::span<const std::uint8_t>(buffer).first(
                          kHeaderSize + static_cast<std::size_t>(image_size)),
                      {});
    port_.Close(*handle);
    if (!ok) {
      last_failure_ = DeviceFailure::kRequestFailed;
      reporter_.ShowMessage(msg::kWriteEepromFailed);
    }
    return ok;
  }

  // The eFuse transfer is always the header and the 64 fuse bytes. The mark
  // byte says "being written" until the write has gone through.
  auto image = ImageArea(buffer);
  image[kEfuseMarkOffset] = kEfuseMarkWriting;
  const bool ok = port_.Request(
      *handle, IOCTL_WRITE_EFUSE,
      std::span<const std::uint8_t>(buffer).first(kEfuseTransferSize), {});
  if (!ok) image[kEfuseMarkOffset] = kEfuseMarkFinal;
  port_.Close(*handle);
  if (!ok) {
    last_failure_ = DeviceFailure::kRequestFailed;
    reporter_.ShowMessage(msg::kWriteEfuseFailed);
  }
  return ok;
}

void DeviceAccess::ReloadEeprom() {
  const auto handle = port_.Open(kDevicePath);
  if (!handle) {
    reporter_.SetStatus(msg::kStatusUnplugged);
    return;
  }
  port_.Request(*handle, IOCTL_RELOAD_EEPROM, {}, {});
  port_.Close(*handle);
}

std::optional<HeldEfuseWriter> DeviceAccess::HoldForEfuseWrites() {
  const auto handle = port_.Open(kDevicePath);
  if (!handle) {
    last_failure_ = DeviceFailure::kNotOpened;
    reporter_.SetStatus(msg::kStatusUnplugged);
    return std::nullopt;
  }
  return HeldEfuseWriter(port_, *handle);
}

HeldEfuseWriter::~HeldEfuseWriter() {
  if (port_ != nullptr) port_->Close(handle_);
}

bool HeldEfuseWriter::Write(const ImageBuffer& buffer) {
  return port_->Request(
      handle_, IOCTL_WRITE_EFUSE,
      std::span<const std::uint8_t>(buffer).first(kEfuseTransferSize), {});
}

}  // namespace srom
