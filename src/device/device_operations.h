// The tool's own operations on the adapter, built on the driver's requests.
// Each opens the control device, does its work and closes it again; none
// keeps a handle. They report through the Reporter: the status label, message
// boxes, the result picture and the image listing of the output box.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "device/driver_port.h"
#include "model/image_buffer.h"
#include "model/messages.h"
#include "ports/reporter.h"

namespace srom {

// The busy bit of a word read must clear within this many polls.
inline constexpr int kMaxBusyPolls = 1000;

// Image byte 63 of an eFuse image while it is being written (0xF1) and once
// the unit is marked final or its write failed (0x01).
inline constexpr std::size_t kEfuseMarkOffset = 63;
inline constexpr std::uint8_t kEfuseMarkWriting = 0xF1;
inline constexpr std::uint8_t kEfuseMarkFinal = 0x01;

// Why the last operation of a DeviceAccess failed: the control device did
// not open (no adapter), or the driver refused a request.
enum class DeviceFailure { kNone, kNotOpened, kRequestFailed };

// The control device held open across several eFuse writes, as the final
// mark needs it: the driver sees one open for the whole phase. Closed when
// it goes.
class HeldEfuseWriter {
 public:
  HeldEfuseWriter(DriverPort& port, DeviceHandle handle)
      : port_(&port), handle_(handle) {}
  HeldEfuseWriter(HeldEfuseWriter&& other) noexcept
      : port_(other.port_), handle_(other.handle_) {
    other.port_ = nullptr;
  }
  HeldEfuseWriter& operator=(HeldEfuseWriter&&) = delete;
  ~HeldEfuseWriter();

  // Sends the 72-byte eFuse transfer of `buffer` exactly as it stands.
  bool Write(const ImageBuffer& buffer);

 private:
  DriverPort* port_;
  DeviceHandle handle_;
};

class DeviceAccess {
 public:
  DeviceAccess(DriverPort& port, Reporter& reporter)
      : port_(port), reporter_(reporter) {}

  // True when the control device opens; the status label says which.
  bool DetectDevice();

  // Start-up's look at the driver: present, and recent enough. Shows at most
  // one message; start-up goes on whatever it finds.
  void CheckTestDriver();

  // Reads the EEPROM word by word through the chip's registers into the
  // image area of `buffer`. `image_size` becomes 256 or 512 by `srom_size`
  // first. Returns "Success", msg::kFailedToOpenDevice or
  // msg::kReadEepromFailed; shows no message box. On a failure the words
  // read so far stay in the buffer; the header is never touched.
  std::string ReadEeprom(ImageBuffer& buffer, int srom_size, int& image_size);

  // The MAC address an EEPROM holds now: its first three words, read
  // through the chip's registers as ReadEeprom reads them (a few requests).
  // Nothing, and no message, when the device does not open or a read fails.
  std::optional<std::array<std::uint8_t, 6>> ReadEepromMac();

  // Reads the 64 eFuse bytes into the image area of `buffer` and shows the
  // pass picture; `image_size` becomes 64 and the header asks for 0x24
  // words. On a failure the data bytes keep what they held.
  bool ReadEfuse(ImageBuffer& buffer, int& image_size);

  // Writes the image of `buffer` (its header already filled) to the memory
  // the selection addresses: 8 + `image_size` bytes to the EEPROM, or the
  // 72-byte eFuse transfer with image byte 63 set to 0xF1 (0x01 when the
  // write fails). A value that is no device selection writes nothing and
  // counts as success.
  bool WriteImage(ImageBuffer& buffer, int device_sel, int image_size);

  // Asks the adapter to reload its configuration from the EEPROM; the answer
  // is not looked at.
  void ReloadEeprom();

  // Opens the control device for a run of eFuse writes; nothing (with the
  // status label at "Device Unplugged") when it does not open.
  std::optional<HeldEfuseWriter> HoldForEfuseWrites();

  // Why the latest operation that failed did; kNone while none has.
  DeviceFailure last_failure() const { return last_failure_; }

 private:
  DriverPort& port_;
  Reporter& reporter_;
  DeviceFailure last_failure_ = DeviceFailure::kNone;
};

}  // namespace srom
