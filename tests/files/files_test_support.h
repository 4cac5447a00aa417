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

namespace srom::testing {

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

}  // namespace srom::testing
