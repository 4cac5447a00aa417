#include "ops/program.h"

#include <algorithm>
#include <string>

#include "files/eeprom_dat.h"
#include "files/image_files.h"
#include "files/logs.h"
#include "model/efuse_image.h"
#include "model/messages.h"
#include "model/srom_image.h"
#include "model/stepping.h"
#include "ops/refresh.h"
#include "ops/unit_ledger.h"
#include "ports/crash_point.h"

namespace srom {
namespace {

// Holds the station's busy mark for one single-unit sequence: set when the
// sequence passes its start checks, cleared on every way out.
class BusyMark {
 public:
  explicit BusyMark(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyMark() { busy_ = false; }
  BusyMark(const BusyMark&) = delete;
  BusyMark& operator=(const BusyMark&) = delete;

 private:
  bool& busy_;
};

bool SameImage(const ImageBuffer& a, const ImageBuffer& b, int count) {
  const auto x = ImageArea(a);
  const auto y = ImageArea(b);
  return std::equal(x.begin(), x.begin() + count, y.begin());
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

Outcome Fail(const OpsContext& ctx, const std::string& message,
             Outcome outcome) {
  ctx.panel.SetResultPicture(ResultPicture::kFail);
  ctx.panel.ShowMessage(message);
  return outcome;
}

void ShowAll(OperatorPanel& panel, const Notices& notices) {
  for (const std::string& notice : notices) panel.ShowMessage(notice);
}

// The next unit starts from this unit's image with the new MAC address (and
// serial number) put in.
void PatchForNextUnit(const OpsContext& ctx) {
  Station& st = ctx.station;
  auto area = ImageArea(st.prev);
  if (IsEepromSel(st.settings.DeviceSel)) {
    PutSromMac(area, st.settings.CurrentMac);
    PutSromSerial(area, st.settings.CurrentSerial);
    return;
  }
  PutEfuseMac(area, st.values.CurrentMacValue);
  area[kEfuseMarkOffset] = kEfuseMarkFinal;
  StoreEfuseChecksum(area.first(kEfuseSize));
  ctx.panel.ShowPreview(FormatImagePreview(st.prev, st.image_size));
  st.last_save_ok =
      SaveEfuseDat(st.folders, st.prev, ctx.panel.OutputText(),
                   st.settings.CurrentMac, st.accepted, ctx.panel);
}

// A verified unit: recorded, logged, stepped, saved. The unit itself is good
// whatever happens here; a record or file that could not be written is the
// outcome, since the station cannot go on safely without them.
Outcome Succeed(const OpsContext& ctx, std::optional<std::int64_t> unit,
                std::uint64_t captured_mac, std::uint64_t captured_serial) {
  Station& st = ctx.station;
  const Outcome recorded = CloseUnit(ctx, unit, true);
  CrashPoint();
  const std::string programmed_mac = st.settings.CurrentMac;
  const bool logged =
      AppendSerialMacLog(st.folders, st.settings, ctx.clock, ctx.panel);
  CrashPoint();
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
  // With a line pool the station shows, and saves, the pool's next value.
  (void)FollowPool(ctx, false);
  ctx.panel.UpdateData(false);
  PatchForNextUnit(ctx);
  st.last_save_ok =
      SaveEepromDat(st.folders, st.settings, st.accepted, ctx.panel);
  CrashPoint();
  if (st.last_save_ok) {
    MarkUnitSettingsSaved(ctx, unit);
    CrashPoint();
  } else {
    st.unsaved_after_mac = programmed_mac;
  }
  ctx.panel.SetResultPicture(ResultPicture::kPass);
  if (recorded != Outcome::kOk) return recorded;
  return logged && st.last_save_ok ? Outcome::kOk : Outcome::kFileRejected;
}

// A unit was programmed but the settings could not be saved after it: the
// next unit waits until they are, so that the counter on disk never falls
// behind the adapters. The save is tried again first.
bool SettingsCaughtUp(const OpsContext& ctx) {
  Station& st = ctx.station;
  if (st.unsaved_after_mac.empty()) return true;
  if (SaveEepromDat(st.folders, st.settings, st.accepted, ctx.panel)) {
    st.unsaved_after_mac.clear();
    if (ctx.ledger != nullptr) {
      const auto latest = ctx.ledger->LatestUsed();
      if (latest.ok() && *latest.value) {
        MarkUnitSettingsSaved(ctx, (*latest.value)->id);
      }
    }
    return true;
  }
  ctx.panel.SetResultPicture(ResultPicture::kFail);
  ctx.panel.ShowMessage(
      "The settings were not saved after the last unit (MAC address " +
      st.unsaved_after_mac +
      "), and they still cannot be: no further unit is programmed until "
      "EEPROM.dat is saved.");
  return false;
}

Outcome VerifyEeprom(const OpsContext& ctx) {
  Station& st = ctx.station;
  const std::string text =
      ctx.Device().ReadEeprom(st.dump, st.settings.SromSize, st.image_size);
  if (text != msg::kReadSuccess ||
      !SameImage(st.prev, st.dump, st.image_size)) {
    ctx.panel.ShowMessage(msg::kEepromProgramIncomplete);
    ctx.panel.SetResultPicture(ResultPicture::kFail);
    return Outcome::kVerifyFailed;
  }
  return Outcome::kOk;
}

// Phase one: the content, rewritten up to three times while every wrong
// byte can still be fixed.
Outcome WriteEfuseContent(const OpsContext& ctx) {
  Station& st = ctx.station;
  DeviceAccess device = ctx.Device();
  device.ReadEfuse(st.dump, st.image_size);
  if (SameImage(st.prev, st.dump, kEfuseSize)) return Outcome::kOk;

  AppendRetryLog(st.folders, st.dump, 0, ctx.clock, ctx.panel);
  bool unfixable = false;
  for (int n = 1; n <= kEfuseRewrites; ++n) {
    unfixable = unfixable || EfuseUnfixable(st.prev, st.dump);
    if (unfixable) break;
    ctx.clock.SleepMs(kEfuseRetryWaitMs[n - 1]);
    if (!device.WriteImage(st.prev, st.settings.DeviceSel, st.image_size)) {
      return Fail(ctx, msg::kProgramFail, DeviceOutcome(device));
    }
    device.ReadEfuse(st.dump, st.image_size);
    AppendRetryLog(st.folders, st.dump, n, ctx.clock, ctx.panel);
    if (SameImage(st.prev, st.dump, kEfuseSize)) return Outcome::kOk;
    ctx.panel.SetOutputText(msg::kCompareFailRetry + std::to_string(n));
  }
  ImageArea(st.prev)[kEfuseMarkOffset] = kEfuseMarkFinal;
  return Fail(ctx, msg::kEfuseProgramIncomplete, Outcome::kVerifyFailed);
}

// Phase two: the final mark (image byte 63 = 0x01), written on one handle
// held for the whole phase.
Outcome WriteEfuseFinalMark(const OpsContext& ctx) {
  Station& st = ctx.station;
  ImageArea(st.prev)[kEfuseMarkOffset] = kEfuseMarkFinal;
  DeviceAccess device = ctx.Device();
  auto writer = device.HoldForEfuseWrites();
  if (!writer) return Fail(ctx, msg::kOpenDeviceFail, Outcome::kDeviceAbsent);
  for (int k = 0; k < kEfuseFinalAttempts; ++k) {
    if (!writer->Write(st.prev)) {
      writer.reset();
      return Fail(ctx, msg::kWriteEfuseFailed, Outcome::kWriteFailed);
    }
    device.ReadEfuse(st.dump, st.image_size);
    if (SameImage(st.prev, st.dump, kEfuseSize)) return Outcome::kOk;
    if ((ImageArea(st.dump)[kEfuseMarkOffset] & 0x01) == 0) break;
    if (k < kEfuseFinalAttempts - 1) ctx.clock.SleepMs(kEfuseRetryWaitMs[k]);
    AppendRetryLog(st.folders, st.dump, k, ctx.clock, ctx.panel);
  }
  writer.reset();
  return Fail(ctx, msg::kFinalCheckFail, Outcome::kVerifyFailed);
}

// The content checks of the built image, and a blank eFuse; kOk when the
// unit may be written.
Outcome ContentAccepted(const OpsContext& ctx) {
  Station& st = ctx.station;
  if (IsEfuseSel(st.settings.DeviceSel)) {
    if (FirstInvalidEfuseByte(ImageArea(st.prev).first(kEfuseSize)) >= 0) {
      return Fail(ctx, msg::kEfuseFormatError, Outcome::kSettingsRejected);
    }
    DeviceAccess device = ctx.Device();
    if (!device.ReadEfuse(st.dump, st.image_size)) {
      return DeviceOutcome(device);
    }
    if (!IsImageAreaBlank(st.dump, kEfuseSize)) {
      return Fail(ctx, msg::kEfuseProgrammed, Outcome::kWriteFailed);
    }
    return Outcome::kOk;
  }
  if (FirstInvalidSromByte(st.prev, st.image_size) >= 0) {
    ctx.panel.ShowMessage(msg::kEepromDataWrong);
    return Outcome::kSettingsRejected;
  }
  return Outcome::kOk;
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

// Writes the unit and checks what it holds; the sequence after the busy
// mark is set.
Outcome WriteAndVerify(const OpsContext& ctx) {
  Station& st = ctx.station;
  if (const Outcome refused = ContentAccepted(ctx); refused != Outcome::kOk) {
    return refused;
  }
  if (const auto refusal = RangeGuard(st.settings)) {
    return Fail(ctx, *refusal, Outcome::kSettingsRejected);
  }
  // Settings the settings file cannot hold would be programmed and logged,
  // and then the stepped counter could not be saved.
  if (const auto refusal = EepromDatRefusal(st.settings)) {
    return Fail(ctx, *refusal, Outcome::kSettingsRejected);
  }
  if (st.settings.Reload &&
      !ctx.panel.AskOkCancel(msg::kReloadCaption, msg::kReloadWarning)) {
    return Outcome::kNotConfirmed;
  }

  // The MAC address is reserved in a committed record before the adapter
  // holds it: no crash from here on can give it to a second unit.
  std::optional<std::int64_t> unit;
  if (const Outcome refused = ReserveUnit(ctx, unit); refused != Outcome::kOk) {
    ctx.panel.SetResultPicture(ResultPicture::kFail);
    return refused;
  }
  CrashPoint();

  DeviceAccess device = ctx.Device();
  const bool written =
      device.WriteImage(st.prev, st.settings.DeviceSel, st.image_size);
  CrashPoint();
  const std::uint64_t captured_mac = st.values.CurrentMacValue;
  const std::uint64_t captured_serial = st.values.CurrentSerialValue;
  Outcome outcome = Outcome::kOk;
  if (!written) {
    outcome = Fail(ctx, msg::kProgramFail, DeviceOutcome(device));
    outcome = FirstFailure(outcome, CloseUnit(ctx, unit, false));
  } else {
    const bool efuse = IsEfuseSel(st.settings.DeviceSel);
    outcome = efuse ? WriteEfuseContent(ctx) : VerifyEeprom(ctx);
    if (efuse && outcome == Outcome::kOk) outcome = WriteEfuseFinalMark(ctx);
    CrashPoint();
    // A unit that failed its verification is not reloaded.
    if (outcome != Outcome::kOk) {
      return FirstFailure(outcome, CloseUnit(ctx, unit, false));
    }
    outcome = Succeed(ctx, unit, captured_mac, captured_serial);
  }
  if (st.settings.Reload) ctx.Device().ReloadEeprom();
  return outcome;
}

}  // namespace

Outcome RunSingleUnit(const OpsContext& ctx) {
  Station& st = ctx.station;
  ctx.panel.UpdateData(true);
  if (!ProductIdFitsChip(ctx)) return Outcome::kSettingsRejected;
  if (!ctx.Device().DetectDevice()) {
    ctx.panel.ShowMessage(msg::kDeviceNotFound);
    return Outcome::kDeviceAbsent;
  }
  // Another sequence is running (a scan while a unit is being written).
  if (st.busy) return Outcome::kFailed;
  if (!SettingsCaughtUp(ctx)) return Outcome::kFileRejected;
  if (const Outcome refused = BringIntoStepWithLedger(ctx);
      refused != Outcome::kOk) {
    ctx.panel.SetResultPicture(ResultPicture::kFail);
    return refused;
  }
  if (const Outcome refused = FollowPool(ctx); refused != Outcome::kOk) {
    ctx.panel.SetResultPicture(ResultPicture::kFail);
    return refused;
  }
  // After stepping, the current MAC address can lie past the maximum; the
  // refresh then refuses it and the old image must not be written again.
  if (!RefreshImage(ctx)) return Outcome::kSettingsRejected;

  ctx.panel.SetResultPicture(ResultPicture::kNone);
  const BusyMark busy(st.busy);
  return WriteAndVerify(ctx);
}

Outcome RunProgramJob(const OpsContext& ctx, AdapterLoop* loop) {
  RefreshImage(ctx);
  Outcome outcome = Outcome::kFailed;
  if (!ctx.station.settings.MultiEnable) {
    outcome = RunSingleUnit(ctx);
  } else {
    const AdapterLoop::Plan plan =
        loop != nullptr ? loop->PlanRun() : AdapterLoop::Plan::kNothing;
    if (plan == AdapterLoop::Plan::kNothing) {
      // Never nothing in silence: the operator is told what to do.
      ctx.panel.ShowMessage(msg::kNoAdapterTicked);
      outcome = Outcome::kDeviceAbsent;
    } else if (plan == AdapterLoop::Plan::kSingle) {
      outcome = RunSingleUnit(ctx);
    } else {
      outcome = loop->RunLoop(AdapterLoop::Kind::kProgram, ctx,
                              [&ctx] { return RunSingleUnit(ctx); });
    }
  }
  if (ctx.station.settings.AutoProgram) ctx.panel.RearmAutoProgram();
  return outcome;
}

}  // namespace srom
