#include "ops/program.h"

#include <algorithm>
#include <string>

#include "device/driver_contract.h"
#include "files/eeprom_dat.h"
#include "files/image_files.h"
#include "files/logs.h"
#include "model/efuse_image.h"
#include "model/hex_text.h"
#include "model/messages.h"
#include "model/srom_image.h"
#include "model/srom_layout.h"
#include "model/stepping.h"
#include "ops/refresh.h"

namespace srom {
namespace {

bool SameImage(const ImageBuffer& a, const ImageBuffer& b, int count) {
  const auto x = ImageArea(a);
  const auto y = ImageArea(b);
  return std::equal(x.begin(), x.begin() + count, y.begin());
}

bool AllFF(const ImageBuffer& buffer, int count) {
  return IsImageAreaBlank(buffer, static_cast<std::size_t>(count));
}

// A fuse can only lose 1 bits: a byte that reads 0 where a 1 is wanted can
// never be written right.
bool EfuseUnfixable(const ImageBuffer& wanted, const ImageBuffer& read) {
  const auto w = ImageArea(wanted);
  const auto r = ImageArea(read);
  for (int n = 0; n < kEfuseSize; ++n) {
    if (w[n] != r[n] && (r[n] & w[n]) != w[n]) return true;
  }
  return false;
}

void Fail(const OpsContext& ctx, const std::string& message) {
  ctx.panel.SetResultPicture(ResultPicture::kFail);
  ctx.station.busy = false;
  ctx.panel.ShowMessage(message);
}

void ShowAll(OperatorPanel& panel, const Notices& notices) {
  for (const std::string& notice : notices) panel.ShowMessage(notice);
}

// The next unit starts from this unit's image with the new MAC address (and
// serial number) put in.
void PatchForNextUnit(const OpsContext& ctx) {
  Station& st = ctx.station;
  auto area = ImageArea(st.prev);
  for (std::size_t n = 0; n < srom_layout::kMacBytes; ++n) {
    area[n] = HexPairAt(st.settings.CurrentMac, n);
  }
  if (IsEepromSel(st.settings.DeviceSel)) {
    const std::string& serial = st.settings.CurrentSerial;
    std::copy_n(serial.begin(),
                std::min(serial.size(), srom_layout::kSerialCapacity),
                area.begin() + srom_layout::kSerial);
    return;
  }
  area[kEfuseMarkOffset] = kEfuseMarkFinal;
  StoreEfuseChecksum(area.first(kEfuseSize));
  ctx.panel.ShowPreview(FormatImagePreview(st.prev, st.image_size));
  st.last_save_ok =
      SaveEfuseDat(st.folders, st.prev, ctx.panel.OutputText(),
                   st.settings.CurrentMac, st.accepted, ctx.panel);
}

void Succeed(const OpsContext& ctx, std::uint64_t captured_mac,
             std::uint64_t captured_serial) {
  Station& st = ctx.station;
  AppendSerialMacLog(st.folders, st.settings, ctx.clock, ctx.panel);
  const int mac_step = ctx.panel.MacIncrementList();
  ShowAll(ctx.panel, StepMacAddress(st.settings, st.values,
                                    {mac_step, ctx.panel.MacIncrementList(),
                                     captured_mac}));
  if (IsEepromSel(st.settings.DeviceSel)) {
    const int serial_step = ctx.panel.SerialIncrementList();
    ShowAll(ctx.panel,
            StepSerialNumber(st.settings, st.values,
                             {serial_step, ctx.panel.SerialIncrementList(),
                              captured_serial}));
  }
  ctx.panel.UpdateData(false);
  PatchForNextUnit(ctx);
  st.last_save_ok =
      SaveEepromDat(st.folders, st.settings, st.accepted, ctx.panel);
  ctx.panel.SetResultPicture(ResultPicture::kPass);
}

enum class Verdict { kVerified, kFailed };

Verdict VerifyEeprom(const OpsContext& ctx) {
  Station& st = ctx.station;
  const std::string text =
      ctx.Device().ReadEeprom(st.dump, st.settings.SromSize, st.image_size);
  if (text != msg::kReadSuccess ||
      !SameImage(st.prev, st.dump, st.image_size)) {
    ctx.panel.ShowMessage(msg::kEepromProgramIncomplete);
    ctx.panel.SetResultPicture(ResultPicture::kFail);
    st.busy = false;
    return Verdict::kFailed;
  }
  return Verdict::kVerified;
}

// Phase one: the content, rewritten up to three times while every wrong
// byte can still be fixed.
Verdict WriteEfuseContent(const OpsContext& ctx) {
  Station& st = ctx.station;
  DeviceAccess device = ctx.Device();
  device.ReadEfuse(st.dump, st.image_size);
  if (SameImage(st.prev, st.dump, kEfuseSize)) return Verdict::kVerified;

  AppendRetryLog(st.folders, st.dump, 0, ctx.clock, ctx.panel);
  bool unfixable = false;
  for (int n = 1; n <= kEfuseRewrites; ++n) {
    unfixable = unfixable || EfuseUnfixable(st.prev, st.dump);
    if (unfixable) break;
    ctx.clock.SleepMs(kEfuseRetryWaitMs[n - 1]);
    if (!device.WriteImage(st.prev, st.settings.DeviceSel, st.image_size)) {
      Fail(ctx, msg::kProgramFail);
      return Verdict::kFailed;
    }
    device.ReadEfuse(st.dump, st.image_size);
    AppendRetryLog(st.folders, st.dump, n, ctx.clock, ctx.panel);
    if (SameImage(st.prev, st.dump, kEfuseSize)) return Verdict::kVerified;
    ctx.panel.SetOutputText(msg::kCompareFailRetry + std::to_string(n));
  }
  ImageArea(st.prev)[kEfuseMarkOffset] = kEfuseMarkFinal;
  Fail(ctx, msg::kEfuseProgramIncomplete);
  return Verdict::kFailed;
}

// Phase two: the final mark (image byte 63 = 0x01), written on one handle
// held for the whole phase.
Verdict WriteEfuseFinalMark(const OpsContext& ctx) {
  Station& st = ctx.station;
  ImageArea(st.prev)[kEfuseMarkOffset] = kEfuseMarkFinal;
  const auto handle = ctx.port.Open(kDevicePath);
  if (!handle) {
    ctx.panel.SetStatus(msg::kStatusUnplugged);
    Fail(ctx, msg::kOpenDeviceFail);
    return Verdict::kFailed;
  }
  DeviceAccess device = ctx.Device();
  bool success = false;
  for (int k = 0; k < kEfuseFinalAttempts; ++k) {
    const std::span<const std::uint8_t> transfer(st.prev.data(),
                                                 kEfuseTransferSize);
    if (!ctx.port.Request(*handle, IOCTL_WRITE_EFUSE, transfer, {})) {
      ctx.port.Close(*handle);
      Fail(ctx, msg::kWriteEfuseFailed);
      return Verdict::kFailed;
    }
    device.ReadEfuse(st.dump, st.image_size);
    if (SameImage(st.prev, st.dump, kEfuseSize)) {
      success = true;
      break;
    }
    if ((ImageArea(st.dump)[kEfuseMarkOffset] & 0x01) == 0) break;
    if (k < kEfuseFinalAttempts - 1) ctx.clock.SleepMs(kEfuseRetryWaitMs[k]);
    AppendRetryLog(st.folders, st.dump, k, ctx.clock, ctx.panel);
  }
  ctx.port.Close(*handle);
  if (!success) {
    Fail(ctx, msg::kFinalCheckFail);
    return Verdict::kFailed;
  }
  return Verdict::kVerified;
}

// The content checks of the built image; false when the unit is refused.
bool ContentAccepted(const OpsContext& ctx) {
  Station& st = ctx.station;
  if (IsEfuseSel(st.settings.DeviceSel)) {
    if (FirstInvalidEfuseByte(ImageArea(st.prev).first(kEfuseSize)) >= 0) {
      Fail(ctx, msg::kEfuseFormatError);
      return false;
    }
    if (!ctx.Device().ReadEfuse(st.dump, st.image_size)) {
      st.busy = false;
      return false;
    }
    if (!AllFF(st.dump, kEfuseSize)) {
      Fail(ctx, msg::kEfuseProgrammed);
      return false;
    }
    return true;
  }
  if (FirstInvalidSromByte(st.prev, st.image_size) >= 0) {
    st.busy = false;
    ctx.panel.ShowMessage(msg::kEepromDataWrong);
    return false;
  }
  return true;
}

// The product ID must fit the chosen chip; a mismatch is corrected and the
// unit is not programmed.
bool ProductIdFitsChip(const OpsContext& ctx) {
  const auto message = CorrectProductIdForChip(ctx.station.settings);
  if (!message) return true;
  ctx.panel.ShowMessage(*message);
  ctx.panel.UpdateData(false);
  return false;
}

}  // namespace

void RunSingleUnit(const OpsContext& ctx) {
  Station& st = ctx.station;
  ctx.panel.UpdateData(true);
  if (!ProductIdFitsChip(ctx)) return;
  if (!ctx.Device().DetectDevice()) {
    ctx.panel.ShowMessage(msg::kDeviceNotFound);
    return;
  }
  if (st.busy) return;
  // After stepping, the current MAC address can lie past the maximum; the
  // refresh then refuses it and the old image must not be written again.
  if (!RefreshImage(ctx)) return;

  ctx.panel.SetResultPicture(ResultPicture::kNone);
  st.busy = true;
  if (!ContentAccepted(ctx)) return;
  if (const auto refusal = RangeGuard(st.settings)) {
    Fail(ctx, *refusal);
    return;
  }
  if (st.settings.Reload &&
      !ctx.panel.AskOkCancel(msg::kReloadCaption, msg::kReloadWarning)) {
    st.busy = false;
    return;
  }

  const bool written =
      ctx.Device().WriteImage(st.prev, st.settings.DeviceSel, st.image_size);
  const std::uint64_t captured_mac = st.values.CurrentMacValue;
  const std::uint64_t captured_serial = st.values.CurrentSerialValue;
  if (!written) {
    ctx.panel.SetResultPicture(ResultPicture::kFail);
    ctx.panel.ShowMessage(msg::kProgramFail);
  } else {
    const bool efuse = IsEfuseSel(st.settings.DeviceSel);
    if (!efuse && VerifyEeprom(ctx) == Verdict::kFailed) return;
    if (efuse && (WriteEfuseContent(ctx) == Verdict::kFailed ||
                  WriteEfuseFinalMark(ctx) == Verdict::kFailed)) {
      return;
    }
    Succeed(ctx, captured_mac, captured_serial);
  }
  if (st.settings.Reload) ctx.Device().ReloadEeprom();
  st.busy = false;
}

void RunProgramJob(const OpsContext& ctx, AdapterLoop* loop) {
  RefreshImage(ctx);
  if (!ctx.station.settings.MultiEnable) {
    RunSingleUnit(ctx);
  } else {
    const AdapterLoop::Plan plan =
        loop != nullptr ? loop->PlanRun() : AdapterLoop::Plan::kNothing;
    if (plan == AdapterLoop::Plan::kSingle) RunSingleUnit(ctx);
    if (plan != AdapterLoop::Plan::kLoop) return;
    loop->RunLoop([&ctx] { RunSingleUnit(ctx); });
  }
  if (ctx.station.settings.AutoProgram) ctx.panel.RearmAutoProgram();
}

}  // namespace srom
