#include "device/sim/simulated_adapter.h"

#include <algorithm>
#include <sstream>
#include <system_error>
#include <thread>

#include "device/driver_contract.h"
#include "model/hex_text.h"
#include "model/image_buffer.h"
#include "ports/file_kind.h"
#include "ports/file_read.h"
#include "ports/safe_replace.h"
#include "ports/station_files.h"

namespace srom {
namespace {

constexpr std::string_view kStateFirstLine =
    "KM62058 simulated adapter, state 1";

// A sleep alone overshoots by tens of microseconds: sleep through most of a
// long latency and spin to the deadline.
void WaitUntil(std::chrono::steady_clock::time_point deadline) {
  using std::chrono::steady_clock;
  const auto left = deadline - steady_clock::now();
  if (left > std::chrono::milliseconds(2)) {
    std::this_thread::sleep_for(left - std::chrono::milliseconds(1));
  }
  while (steady_clock::now() < deadline) {
  }
}

// Sixteen bytes a line; the reader takes any white space between them.
void AppendHexLines(std::string& out, std::span<const std::uint8_t> bytes) {
  out += FormatHexListing(bytes, "\n", true);
}

bool ReadHexBytes(std::istream& in, std::span<std::uint8_t> out) {
  for (auto& byte : out) {
    std::string token;
    if (!(in >> token) || token.size() != 2) return false;
    const int high = HexDigitValue(token[0]);
    const int low = HexDigitValue(token[1]);
    if (high < 0 || low < 0) return false;
    byte = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

// The two requests that may change a memory.
bool WritesMemory(std::uint32_t code) {
  return code == IOCTL_WRITE_EEPROM || code == IOCTL_WRITE_EFUSE;
}

}  // namespace

SimMemories BlankSimMemories(int eeprom_size) {
  SimMemories memories;
  memories.eeprom.assign(eeprom_size == 256 ? 256 : 512, 0xFF);
  memories.efuse.fill(0xFF);
  return memories;
}

std::string FormatSimState(const SimMemories& memories) {
  std::string text(kStateFirstLine);
  text += "\neeprom " + std::to_string(memories.eeprom.size()) + "\n";
  AppendHexLines(text, memories.eeprom);
  text += "efuse " + std::to_string(memories.efuse.size()) + "\n";
  AppendHexLines(text, memories.efuse);
  return text;
}

std::optional<SimMemories> ParseSimState(const std::string& text) {
  std::istringstream in(text);
  std::string first_line;
  if (!std::getline(in, first_line)) return std::nullopt;
  if (!first_line.empty() && first_line.back() == '\r') first_line.pop_back();
  if (first_line != kStateFirstLine) return std::nullopt;

  std::string word;
  int size = 0;
  if (!(in >> word >> size) || word != "eeprom" ||
      (size != 256 && size != 512)) {
    return std::nullopt;
  }
  SimMemories memories;
  memories.eeprom.resize(static_cast<std::size_t>(size));
  if (!ReadHexBytes(in, memories.eeprom)) return std::nullopt;
  if (!(in >> word >> size) || word != "efuse" || size != kSimEfuseSize) {
    return std::nullopt;
  }
  if (!ReadHexBytes(in, memories.efuse)) return std::nullopt;
  if (in >> word) return std::nullopt;  // nothing may follow
  return memories;
}

std::optional<std::string> ReadSimText(const std::filesystem::path& file,
                                       std::string* why) {
  FileRead read = ReadPlainFile(file, kSimFileCap, LinkRule::kRefuse);
  if (!read.ok()) {
    if (why != nullptr) *why = ReadFaultText(read);
    return std::nullopt;
  }
  return std::move(read.bytes);
}

SimulatedAdapter::SimulatedAdapter(int eeprom_size) {
  SimMemories blank = BlankSimMemories(eeprom_size);
  eeprom_ = std::move(blank.eeprom);
  efuse_ = blank.efuse;
}

std::optional<DeviceHandle> SimulatedAdapter::Open(std::string_view path) {
  std::lock_guard lock(mutex_);
  if (!plugged_ || path != kDevicePath) return std::nullopt;
  const std::uintptr_t handle = next_handle_++;
  handles_[handle] = generation_;
  return DeviceHandle{handle};
}

void SimulatedAdapter::Close(DeviceHandle handle) {
  std::lock_guard lock(mutex_);
  handles_.erase(static_cast<std::uintptr_t>(handle));
}

bool SimulatedAdapter::Request(DeviceHandle handle, std::uint32_t code,
                               std::span<const std::uint8_t> input,
                               std::span<std::uint8_t> output) {
  const auto start = std::chrono::steady_clock::now();
  // The state file's lock before the adapter's own, as every holder of both
  // takes them.
  std::optional<StationLock> file_lock;
  if (WritesMemory(code)) file_lock = LockStateFile();
  std::chrono::nanoseconds latency;
  bool ok = false;
  {
    std::lock_guard lock(mutex_);
    latency = latency_;
    const long number = ++requests_;
    const auto it = handles_.find(static_cast<std::uintptr_t>(handle));
    const bool live =
        plugged_ && it != handles_.end() && it->second == generation_;
    const bool injected =
        fail_at_.erase(number) > 0 || fail_codes_.count(code) > 0;
    ok = live && driver_present_ && !injected && Answer(code, input, output);

    if (logging_) {
      SimRequest entry;
      entry.code = code;
      std::copy_n(input.begin(), std::min<std::size_t>(input.size(), 3),
                  entry.head.begin());
      entry.input_size = input.size();
      entry.ok = ok;
      log_.push_back(entry);
    }
    if (unplug_after_ && number >= *unplug_after_) {
      unplug_after_.reset();
      plugged_ = false;
      ++generation_;
    }
  }
  file_lock.reset();
  if (latency.count() > 0) WaitUntil(start + latency);
  return ok;
}

bool SimulatedAdapter::Answer(std::uint32_t code,
                              std::span<const std::uint8_t> input,
                              std::span<std::uint8_t> output) {
  switch (code) {
    case IOCTL_WRITE_REGISTER:
      return WriteRegister(input);
    case IOCTL_READ_REGISTER:
      return ReadRegister(input, output);
    case IOCTL_WRITE_EEPROM:
      return WriteEeprom(input);
    case IOCTL_READ_EFUSE:
      return ReadEfuse(input, output);
    case IOCTL_WRITE_EFUSE:
      return WriteEfuse(input);
    case IOCTL_RELOAD_EEPROM:
      ++reloads_;
      return true;
    case IOCTL_QUERY_DRIVER:
      if (input.size() < 3 || output.size() < 3) return false;
      std::copy(driver_answer_.begin(), driver_answer_.end(), output.begin());
      return true;
    default:
      return false;
  }
}

bool SimulatedAdapter::WriteRegister(std::span<const std::uint8_t> input) {
  if (input.size() < 3) return false;
  const std::uint8_t reg = input[0];
  const std::uint8_t value = input[2];
  registers_[reg] = value;
  if (reg == kRegEepromAddress) word_address_ = value;
  if (reg == kRegEepromControl && (value & kEepromStartRead) != 0) {
    // A word address beyond a small EEPROM wraps, as the address lines do.
    const std::size_t words = eeprom_.size() / 2;
    const std::size_t offset = (word_address_ % words) * 2;
    data_low_ = eeprom_[offset];
    data_high_ = eeprom_[offset + 1];
    busy_left_ = busy_polls_;
  }
  return true;
}

bool SimulatedAdapter::ReadRegister(std::span<const std::uint8_t> input,
                                    std::span<std::uint8_t> output) {
  if (input.size() < 3 || output.empty()) return false;
  const std::uint8_t reg = input[0];
  std::uint8_t answer = registers_[reg];
  switch (reg) {
    case kRegEepromControl:
      if (busy_stuck_) {
        answer = kEepromBusy;
      } else if (busy_left_ > 0) {
        --busy_left_;
        answer = kEepromBusy;
      } else {
        answer = 0x00;
      }
      break;
    case kRegEepromDataLow:
      answer = data_low_;
      break;
    case kRegEepromDataHigh:
      answer = data_high_;
      break;
    default:
      break;
  }
  output[0] = answer;
  return true;
}

bool SimulatedAdapter::WriteEeprom(std::span<const std::uint8_t> input) {
  const ImageHeader header = ReadImageHeader(input);
  const std::size_t data_size =
      input.size() - std::min(input.size(), kHeaderSize);
  if (!HasHeaderMagic(header) || data_size == 0 ||
      data_size != std::size_t{header.length_words} * 2) {
    return false;
  }
  FollowStateFileLocked();
  // A write larger than the part wraps around its address space.
  const std::size_t start = std::size_t{header.word_offset} * 2;
  for (std::size_t i = 0; i < data_size; ++i) {
    const std::size_t cell = (start + i) % eeprom_.size();
    if (stuck_cells_.count(cell) == 0) {
      eeprom_[cell] = input[kHeaderSize + i];
    }
  }
  SaveStateLocked();
  return true;
}

bool SimulatedAdapter::ReadEfuse(std::span<const std::uint8_t> input,
                                 std::span<std::uint8_t> output) {
  const ImageHeader header = ReadImageHeader(input);
  if (!HasHeaderMagic(header) || output.size() < kEfuseTransferSize)
    return false;
  // Input and output may be the same bytes: the header is taken first.
  std::array<std::uint8_t, kHeaderSize> head;
  std::copy_n(input.begin(), head.size(), head.begin());
  std::copy(head.begin(), head.end(), output.begin());
  std::copy(efuse_.begin(), efuse_.end(), output.begin() + kHeaderSize);
  return true;
}

bool SimulatedAdapter::WriteEfuse(std::span<const std::uint8_t> input) {
  const ImageHeader header = ReadImageHeader(input);
  if (!HasHeaderMagic(header) || input.size() != kEfuseTransferSize ||
      header.length_words * 2 != kSimEfuseSize) {
    return false;
  }
  FollowStateFileLocked();
  for (std::size_t i = 0; i < efuse_.size(); ++i) {
    const std::uint8_t wanted = input[kHeaderSize + i];
    std::uint8_t clearing = efuse_[i] & ~wanted;  // a fuse only ever blows
    const auto weak = weak_bits_.find(i);
    if (weak != weak_bits_.end()) {
      for (int bit = 0; bit < 8; ++bit) {
        const std::uint8_t mask = static_cast<std::uint8_t>(1u << bit);
        if ((clearing & weak->second.mask & mask) == 0) continue;
        if (--weak->second.writes_left[bit] > 0) clearing &= ~mask;
      }
    }
    efuse_[i] &= static_cast<std::uint8_t>(~clearing);
  }
  SaveStateLocked();
  return true;
}

void SimulatedAdapter::set_plugged(bool plugged) {
  std::lock_guard lock(mutex_);
  if (plugged_ && !plugged) ++generation_;
  plugged_ = plugged;
}

bool SimulatedAdapter::plugged() const {
  std::lock_guard lock(mutex_);
  return plugged_;
}

void SimulatedAdapter::set_driver_present(bool present) {
  std::lock_guard lock(mutex_);
  driver_present_ = present;
}

bool SimulatedAdapter::driver_present() const {
  std::lock_guard lock(mutex_);
  return driver_present_;
}

void SimulatedAdapter::set_driver_answer(std::array<std::uint8_t, 3> answer) {
  std::lock_guard lock(mutex_);
  driver_answer_ = answer;
}

std::array<std::uint8_t, 3> SimulatedAdapter::driver_answer() const {
  std::lock_guard lock(mutex_);
  return driver_answer_;
}

void SimulatedAdapter::set_busy_polls(int polls) {
  std::lock_guard lock(mutex_);
  busy_polls_ = std::max(polls, 0);
}

void SimulatedAdapter::set_busy_stuck(bool stuck) {
  std::lock_guard lock(mutex_);
  busy_stuck_ = stuck;
}

int SimulatedAdapter::eeprom_size() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(eeprom_.size());
}

bool SimulatedAdapter::set_eeprom_size(int size) {
  if (size != 256 && size != 512) return false;
  const auto file_lock = LockStateFile();
  std::lock_guard lock(mutex_);
  FollowStateFileLocked();
  eeprom_.assign(static_cast<std::size_t>(size), 0xFF);
  SaveStateLocked();
  return true;
}

std::vector<std::uint8_t> SimulatedAdapter::eeprom() const {
  std::lock_guard lock(mutex_);
  return eeprom_;
}

void SimulatedAdapter::set_eeprom(std::span<const std::uint8_t> bytes) {
  const auto file_lock = LockStateFile();
  std::lock_guard lock(mutex_);
  FollowStateFileLocked();
  std::copy_n(bytes.begin(), std::min(bytes.size(), eeprom_.size()),
              eeprom_.begin());
  SaveStateLocked();
}

void SimulatedAdapter::set_eeprom_cell_stuck(std::size_t offset) {
  std::lock_guard lock(mutex_);
  stuck_cells_.insert(offset);
}

std::array<std::uint8_t, kSimEfuseSize> SimulatedAdapter::efuse() const {
  std::lock_guard lock(mutex_);
  return efuse_;
}

void SimulatedAdapter::set_efuse(
    const std::array<std::uint8_t, kSimEfuseSize>& bytes) {
  const auto file_lock = LockStateFile();
  std::lock_guard lock(mutex_);
  FollowStateFileLocked();
  efuse_ = bytes;
  SaveStateLocked();
}

void SimulatedAdapter::set_weak_efuse_bits(std::size_t offset,
                                           std::uint8_t mask, int writes) {
  if (offset >= kSimEfuseSize) return;
  std::lock_guard lock(mutex_);
  WeakBits& weak = weak_bits_[offset];
  for (int bit = 0; bit < 8; ++bit) {
    if ((mask >> bit) & 1) weak.writes_left[bit] = std::max(writes, 1);
  }
  weak.mask |= mask;
}

void SimulatedAdapter::FailRequest(int n) {
  std::lock_guard lock(mutex_);
  if (n > 0) fail_at_.insert(requests_ + n);
}

void SimulatedAdapter::FailEveryRequest(std::uint32_t code) {
  std::lock_guard lock(mutex_);
  fail_codes_.insert(code);
}

void SimulatedAdapter::UnplugAfterRequests(int n) {
  std::lock_guard lock(mutex_);
  if (n <= 0) {
    if (plugged_) ++generation_;
    plugged_ = false;
    return;
  }
  unplug_after_ = requests_ + n;
}

void SimulatedAdapter::ClearFaults() {
  std::lock_guard lock(mutex_);
  fail_at_.clear();
  fail_codes_.clear();
  unplug_after_.reset();
  busy_stuck_ = false;
  stuck_cells_.clear();
  weak_bits_.clear();
}

void SimulatedAdapter::set_latency(std::chrono::nanoseconds latency) {
  std::lock_guard lock(mutex_);
  latency_ = latency;
}

void SimulatedAdapter::set_logging(bool on) {
  std::lock_guard lock(mutex_);
  logging_ = on;
}

std::vector<SimRequest> SimulatedAdapter::log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

void SimulatedAdapter::clear_log() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

long SimulatedAdapter::request_count() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

int SimulatedAdapter::open_handles() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(handles_.size());
}

int SimulatedAdapter::reload_count() const {
  std::lock_guard lock(mutex_);
  return reloads_;
}

std::string SimulatedAdapter::StateTextLocked() const {
  return FormatSimState({eeprom_, efuse_});
}

bool SimulatedAdapter::SaveState(const std::filesystem::path& file) const {
  std::string text;
  {
    std::lock_guard lock(mutex_);
    text = StateTextLocked();
  }
  return ReplaceFileSafely(file, text);
}

void SimulatedAdapter::SaveStateLocked() {
  if (!state_file_) return;
  std::string text = StateTextLocked();
  if (saved_state_ == text) return;  // no memory changed
  // A failed save cannot undo what the adapter did; the next write tries
  // again.
  if (ReplaceFileSafely(*state_file_, text)) saved_state_ = std::move(text);
}

bool SimulatedAdapter::LoadState(const std::filesystem::path& file,
                                 std::string* why) {
  const auto text = ReadSimText(file, why);
  if (!text) return false;
  auto memories = ParseSimState(*text);
  if (!memories) {
    if (why != nullptr) *why = "it does not hold a simulated adapter's state";
    return false;
  }
  std::lock_guard lock(mutex_);
  eeprom_ = std::move(memories->eeprom);
  efuse_ = memories->efuse;
  return true;
}

bool SimulatedAdapter::UseStateFile(const std::filesystem::path& file,
                                    StateFileLock lock, std::string* why) {
  // A link, even one that leads nowhere, is there: it is refused, never
  // taken for a missing file and written over.
  const bool exists = EntryKindOf(file) != FileKind::kMissing;
  if (exists && !LoadState(file, why)) return false;
  std::lock_guard guard(mutex_);
  state_file_ = file;
  state_lock_ = std::move(lock);
  // Compared in the adapter's own form, so that a file written by hand
  // (lower-case digits, CR LF) is not rewritten until a memory changes.
  saved_state_.reset();
  if (exists) saved_state_ = StateTextLocked();
  return true;
}

bool SimulatedAdapter::FollowStateFile() {
  std::lock_guard lock(mutex_);
  return FollowStateFileLocked();
}

std::optional<StationLock> SimulatedAdapter::LockStateFile() const {
  StateFileLock lock;
  {
    std::lock_guard guard(mutex_);
    if (!state_file_ || !state_lock_) return std::nullopt;
    lock = state_lock_;
  }
  return lock();
}

bool SimulatedAdapter::FollowStateFileLocked() {
  if (!state_file_) return false;
  // The adapter's own saves happen under its mutex, held here, and another
  // program replaces the file whole: what is read is one whole state.
  auto text = ReadSimText(*state_file_);
  if (!text) return false;
  if (!followed_ || followed_->text != *text) {
    auto memories = ParseSimState(*text);
    if (!memories) return false;
    std::string own = FormatSimState(*memories);
    followed_ = FollowedText{std::move(*text), std::move(*memories),
                             std::move(own)};
  }
  if (saved_state_ == followed_->own) return false;
  eeprom_ = followed_->memories.eeprom;
  efuse_ = followed_->memories.efuse;
  saved_state_ = followed_->own;
  return true;
}

}  // namespace srom
