// An adapter with its test driver, answering the driver's requests in-process
// as the real driver does: the EEPROM read word by word through the chip's
// registers, the one-time eFuse, the version query. It is the tool's device
// wherever the driver is absent, the ground of every device test and the
// operator's training adapter, and it misbehaves on demand.
//
// Every call may come from any thread: the window pokes it while a job reads.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/driver_port.h"
#include "ports/station_lock.h"

namespace srom {

// One request as the adapter received it.
struct SimRequest {
  std::uint32_t code = 0;
  // The first three input bytes (a whole register request), zero-padded.
  std::array<std::uint8_t, 3> head = {0, 0, 0};
  std::size_t input_size = 0;
  bool ok = false;

  bool operator==(const SimRequest&) const = default;
};

inline constexpr int kSimEfuseSize = 64;

// Both memories of an adapter, as its state file keeps them.
struct SimMemories {
  std::vector<std::uint8_t> eeprom;  // 256 or 512 bytes
  std::array<std::uint8_t, kSimEfuseSize> efuse{};

  bool operator==(const SimMemories&) const = default;
};

// Blank memories (every byte FF) with an EEPROM of `eeprom_size` bytes.
SimMemories BlankSimMemories(int eeprom_size);

// The text of a state file: a first line naming the format, "eeprom <size>"
// and its bytes, "efuse 64" and its bytes, two upper-case hex digits a byte,
// 16 bytes a line.
std::string FormatSimState(const SimMemories& memories);
// The memories a state file's text holds, its digits in either case and any
// white space between them; nothing when the text is not a state.
std::optional<SimMemories> ParseSimState(const std::string& text);

// The whole text of a small file of the simulator, read as every station
// file is (ReadPlainFile): nothing when it is not a plain file (a pipe
// planted under its name would never end), is a symbolic link, is larger
// than kSimFileCap or cannot be read; `why` (when given) then says which, in
// words that follow "...: ".
std::optional<std::string> ReadSimText(const std::filesystem::path& file,
                                       std::string* why = nullptr);

class SimulatedAdapter : public DriverPort {
 public:
  // Plugged in, driver present and recent, both memories blank (0xFF).
  explicit SimulatedAdapter(int eeprom_size = 512);

  // DriverPort: the control device of the driver is the only path that opens.
  std::optional<DeviceHandle> Open(std::string_view path) override;
  bool Request(DeviceHandle handle, std::uint32_t code,
               std::span<const std::uint8_t> input,
               std::span<std::uint8_t> output) override;
  void Close(DeviceHandle handle) override;

  // The adapter and its driver. Unplugging ends every open handle: their
  // requests fail, and so does every open until the adapter is plugged in.
  void set_plugged(bool plugged);
  bool plugged() const;
  // An absent driver lets the device open but answers no request.
  void set_driver_present(bool present);
  bool driver_present() const;
  // The three bytes the version query answers; "Yes" for a recent driver.
  void set_driver_answer(std::array<std::uint8_t, 3> answer);
  std::array<std::uint8_t, 3> driver_answer() const;

  // After each started word read, the busy bit reads set for this many polls
  // (0: the first poll already finds it clear).
  void set_busy_polls(int polls);
  // The busy bit never clears.
  void set_busy_stuck(bool stuck);

  // The EEPROM: 256 or 512 bytes. A new size starts blank.
  int eeprom_size() const;
  bool set_eeprom_size(int size);
  std::vector<std::uint8_t> eeprom() const;
  // Copies up to eeprom_size() bytes into the EEPROM from offset 0.
  void set_eeprom(std::span<const std::uint8_t> bytes);
  // A cell that keeps its content whatever is written to it.
  void set_eeprom_cell_stuck(std::size_t offset);

  // The eFuse: a write can only clear bits (new = old AND wanted).
  std::array<std::uint8_t, kSimEfuseSize> efuse() const;
  void set_efuse(const std::array<std::uint8_t, kSimEfuseSize>& bytes);
  // Weak bits of one fuse byte: each needs `writes` writes that clear it
  // before it reads 0.
  void set_weak_efuse_bits(std::size_t offset, std::uint8_t mask, int writes);

  // Faults. Requests are counted from this call on: 1 is the next request.
  void FailRequest(int n);
  void FailEveryRequest(std::uint32_t code);
  // The adapter is unplugged right after answering n more requests.
  void UnplugAfterRequests(int n);
  // Takes away every fault armed above, the stuck busy bit, stuck cells and
  // weak fuse bits; the plug, the driver and the busy polls stay as set.
  void ClearFaults();

  // How long each request takes; a benchmark's stand-in for the driver.
  void set_latency(std::chrono::nanoseconds latency);

  // The request log, on by default.
  void set_logging(bool on);
  std::vector<SimRequest> log() const;
  void clear_log();
  // Requests received since the adapter was made, failed ones included.
  long request_count() const;
  int open_handles() const;
  int reload_count() const;

  // The memories (EEPROM size, EEPROM, eFuse) kept in a text file
  // (FormatSimState). The file is replaced through a temporary file beside
  // it, never left half-written.
  bool SaveState(const std::filesystem::path& file) const;
  // False, and the adapter unchanged, when the file is missing or malformed;
  // `why` (when given) then says which.
  bool LoadState(const std::filesystem::path& file, std::string* why = nullptr);

  // Held around every change of a memory while a state file is kept: the
  // other programs that replace the file (srom-cli sim create, the simulator
  // panel) hold the same lock, so that neither side loses the other's change.
  // Nothing when it cannot be had; the change goes ahead without it.
  using StateFileLock = std::function<std::optional<StationLock>()>;

  // Loads `file` when it exists, then saves it after every write that
  // changes a memory, so that a later run meets the same adapter. Reading,
  // and a write that leaves both memories as they were, never touch the file;
  // a missing file stays missing until the first write. Each change of a
  // memory takes `lock` (when given) and follows the file first
  // (FollowStateFile), so that a write lands on what another program put
  // there and never brings back what it replaced. False when an existing
  // file cannot be read; the adapter keeps its memories then and keeps no
  // file.
  // `why` (when given) says why the file cannot be read.
  bool UseStateFile(const std::filesystem::path& file, StateFileLock lock = {},
                    std::string* why = nullptr);
  // Takes the memories of the state file when another program replaced it
  // since this adapter last read or wrote it; the adapter's own saves are no
  // such change. True when it did. A file that is missing, cannot be read or
  // is not a state (a moment too early on a system whose renames are not
  // atomic, or written by hand) changes nothing: it is read again next time,
  // and a removed file is written again at the next change.
  bool FollowStateFile();

 private:
  struct WeakBits {
    std::uint8_t mask = 0;
    std::array<int, 8> writes_left = {};
  };

  bool Answer(std::uint32_t code, std::span<const std::uint8_t> input,
              std::span<std::uint8_t> output);
  bool WriteRegister(std::span<const std::uint8_t> input);
  bool ReadRegister(std::span<const std::uint8_t> input,
                    std::span<std::uint8_t> output);
  bool WriteEeprom(std::span<const std::uint8_t> input);
  bool ReadEfuse(std::span<const std::uint8_t> input,
                 std::span<std::uint8_t> output);
  bool WriteEfuse(std::span<const std::uint8_t> input);
  std::optional<StationLock> LockStateFile() const;
  bool FollowStateFileLocked();
  void SaveStateLocked();
  std::string StateTextLocked() const;

  mutable std::mutex mutex_;

  bool plugged_ = true;
  bool driver_present_ = true;
  std::array<std::uint8_t, 3> driver_answer_ = {'Y', 'e', 's'};

  std::vector<std::uint8_t> eeprom_;
  std::set<std::size_t> stuck_cells_;
  std::array<std::uint8_t, kSimEfuseSize> efuse_;
  std::map<std::size_t, WeakBits> weak_bits_;

  // Chip registers.
  std::array<std::uint8_t, 256> registers_ = {};
  std::uint8_t word_address_ = 0;
  std::uint8_t data_low_ = 0xFF;
  std::uint8_t data_high_ = 0xFF;
  int busy_polls_ = 0;
  int busy_left_ = 0;
  bool busy_stuck_ = false;

  // Handles, by the plug generation they were opened in.
  std::map<std::uintptr_t, long> handles_;
  std::uintptr_t next_handle_ = 1;
  long generation_ = 0;

  std::set<long> fail_at_;
  std::set<std::uint32_t> fail_codes_;
  std::optional<long> unplug_after_;

  std::chrono::nanoseconds latency_{0};
  bool logging_ = true;
  std::vector<SimRequest> log_;
  long requests_ = 0;
  int reloads_ = 0;

  std::optional<std::filesystem::path> state_file_;
  StateFileLock state_lock_;
  // The state the file holds as this adapter last read or wrote it; nothing
  // while there is no file.
  std::optional<std::string> saved_state_;
  // The file's text as it was last followed, with what it parsed to: every
  // open of the control device follows the file, which mostly has not
  // changed, and parsing it again cost more than the rest of the open.
  struct FollowedText {
    std::string text;
    SimMemories memories;
    std::string own;
  };
  std::optional<FollowedText> followed_;
};

}  // namespace srom
