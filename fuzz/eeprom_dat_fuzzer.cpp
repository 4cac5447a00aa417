// The settings file reader on any bytes: it must never crash, and settings it
// accepts must save to a file that loads back to the very same settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <tuple>

#include "files/eeprom_dat.h"

namespace {

auto Stored(const srom::SromSettings& s) {
  return std::tie(s.DeviceSel, s.SromSize, s.CurrentMac, s.MaximumMac,
                  s.MacIncrement, s.CurrentSerial, s.MaximumSerial,
                  s.SerialIncrement, s.BasedOnMac, s.Manufacturer, s.Product,
                  s.VendorId, s.ProductId, s.SuperBusPower, s.SuperSelfPower,
                  s.HighBusPower, s.HighSelfPower, s.FullBusPower,
                  s.FullSelfPower, s.FlagByte, s.SwField, s.LedSetting,
                  s.LedUsb3, s.BarCode, s.DisableSetting, s.MultiEnable,
                  s.AutoProgram, s.DelayTime, s.DeviceSelLock);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  const srom::SromSettings start;
  auto loaded = srom::SettingsFromEepromDat(file, start);
  if (!loaded) return 0;
  // The window's Based On Mac Address handling keeps the fixed-serial flag
  // opposite to the box; the eFuse selections save the box from that flag.
  loaded->FixedSerial = !loaded->BasedOnMac;
  if (srom::EepromDatRefusal(*loaded)) return 0;
  const auto again =
      srom::SettingsFromEepromDat(srom::FormatEepromDat(*loaded), start);
  if (!again || Stored(*again) != Stored(*loaded)) std::abort();
  return 0;
}
