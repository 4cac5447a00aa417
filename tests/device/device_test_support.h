// Helpers shared by the device tests.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/driver_contract.h"
#include "device/driver_port.h"
#include "device/sim/simulated_adapter.h"
#include "device/sim/simulated_bench.h"
#include "ports/reporter.h"
#include "support/recording_reporter.h"

namespace srom::test {

// Which of `count` register requests after one open of the control device
// the bench answers; none when it does not open.
inline std::vector<bool> Answers(SimulatedBench& bench, int count) {
  std::vector<bool> answered;
  const auto handle = bench.Open(kDevicePath);
  if (!handle) return answered;
  const std::array<std::uint8_t, 3> request = {0x07, 0x01, 0x00};
  for (int i = 0; i < count; ++i) {
    answered.push_back(
        bench.Request(*handle, IOCTL_WRITE_REGISTER, request, {}));
  }
  bench.Close(*handle);
  return answered;
}


// The reported events with each listing shortened to "preview": the tables
// compare what was shown, the listing itself is the model's.
inline std::vector<std::string> Shown(const RecordingReporter& reporter) {
  std::vector<std::string> out;
  for (const auto& event : reporter.events()) {
    out.push_back(event.rfind("preview: ", 0) == 0 ? "preview" : event);
  }
  return out;
}

inline SimRequest Req(std::uint32_t code, std::uint8_t reg,
                      std::uint8_t selector, std::uint8_t value,
                      bool ok = true) {
  SimRequest r;
  r.code = code;
  r.head = {reg, selector, value};
  r.input_size = 3;
  r.ok = ok;
  return r;
}

// The eFuse transfer the tool sends: header for 32 words and 64 bytes.
inline std::array<std::uint8_t, kEfuseTransferSize> EfuseTransfer(
    const std::array<std::uint8_t, 64>& image) {
  std::array<std::uint8_t, kEfuseTransferSize> t = {'V', 'E', 'L',  'K',
                                                    0,   0,   0x20, 0};
  for (std::size_t i = 0; i < image.size(); ++i) t[8 + i] = image[i];
  return t;
}

// Passes everything to `inner` and runs `hook` just before request number
// `at` (1 = the first): the way a test changes the adapter mid-operation.
class HookedPort : public DriverPort {
 public:
  HookedPort(DriverPort& inner, long at, std::function<void()> hook)
      : inner_(inner), at_(at), hook_(std::move(hook)) {}
  std::optional<DeviceHandle> Open(std::string_view path) override {
    return inner_.Open(path);
  }
  bool Request(DeviceHandle handle, std::uint32_t code,
               std::span<const std::uint8_t> input,
               std::span<std::uint8_t> output) override {
    if (++count_ == at_) hook_();
    return inner_.Request(handle, code, input, output);
  }
  void Close(DeviceHandle handle) override { inner_.Close(handle); }

 private:
  DriverPort& inner_;
  long at_;
  std::function<void()> hook_;
  long count_ = 0;
};

}  // namespace srom::test
