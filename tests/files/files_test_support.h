// Fresh folders, byte-exact file reading and the golden files for the file
// tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "model/settings.h"
#include "support/recording_reporter.h"
#include "support/temp_folder.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#endif

namespace srom::test {

namespace fs = std::filesystem;

inline fs::path GoldenPath(const std::string& name) {
  return fs::path(SROM_TEST_DATA_DIR) / "files" / name;
}

inline std::string Golden(const std::string& name) {
  return ReadBytes(GoldenPath(name));
}

// Bytes of a hex text read with the stream library, independently of the
// reader under test.
inline std::vector<std::uint8_t> HexBytes(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::uint8_t> bytes;
  unsigned value = 0;
  while (in >> std::hex >> value)
    bytes.push_back(static_cast<std::uint8_t>(value));
  return bytes;
}

// Every field of the settings, so two records compare as a whole and a
// difference is printed field by field.
inline auto AllFields(const SromSettings& s) {
  return std::make_tuple(
      s.DeviceSel, s.SromSize, s.CurrentMac, s.MaximumMac, s.MacIncrement,
      s.CurrentSerial, s.MaximumSerial, s.SerialIncrement, s.BasedOnMac,
      s.Manufacturer, s.Product, s.VendorId, s.ProductId, s.SuperBusPower,
      s.SuperSelfPower, s.HighBusPower, s.HighSelfPower, s.FullBusPower,
      s.FullSelfPower, s.FlagByte, s.SwField, s.LedSetting, s.LedWord,
      s.LedUsb3, s.SerialNoType, s.BarCode, s.Reload, s.DisableSetting,
      s.MultiEnable, s.AutoProgram, s.DelayTime, s.DeviceSelLock,
      s.FixedSerial);
}

inline auto AllFields(const LastAccepted& a) {
  return std::make_tuple(a.Manufacturer, a.Product, a.VendorId, a.ProductId,
                         a.CurrentMac, a.MaximumMac, a.CurrentSerial,
                         a.MaximumSerial, a.BusPower, a.SelfPower, a.FlagByte);
}

// The events of a RecordingReporter with each preview's listing left out.
template <typename Events>
std::vector<std::string> WithoutListings(const Events& events) {
  std::vector<std::string> out;
  for (const auto& e : events) {
    out.push_back(e.rfind("preview: ", 0) == 0 ? std::string("preview") : e);
  }
  return out;
}

#ifndef _WIN32
// Every file written by this process stops at `bytes` for as long as the
// object lives: a write beyond it comes back short, as on a full disk
// (SIGXFSZ ignored). The limit before is restored afterwards.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    ok_ = getrlimit(RLIMIT_FSIZE, &saved_) == 0;
    rlimit small = saved_;
    small.rlim_cur = bytes;
    ok_ = ok_ && setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool ok() const { return ok_; }

 private:
  rlimit saved_{};
  bool ok_ = false;
};

inline bool MakeFifo(const fs::path& path) {
  return mkfifo(path.c_str(), 0666) == 0;
}

// Runs `action` beside the named pipe `fifo`. Code that opens a pipe blocks
// until the other end is opened: should the action still be running after a
// second, a watchdog opens both ends for it (the write end only for a moment,
// so that a reader meets the end of an empty file), and the action returns
// instead of hanging the suite. True when the watchdog had to step in.
template <typename Action>
bool BlockedOnPipe(const fs::path& fifo, Action&& action) {
  std::atomic<bool> done{false};
  std::atomic<bool> stepped_in{false};
  std::thread watchdog([&] {
    const auto start = std::chrono::steady_clock::now();
    int reader = -1;
    while (!done) {
      if (std::chrono::steady_clock::now() - start > std::chrono::seconds(1)) {
        stepped_in = true;
        if (reader < 0) reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) close(writer);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (reader >= 0) close(reader);
  });
  action();
  done = true;
  watchdog.join();
  return stepped_in;
}
#endif

}  // namespace srom::test
