#include "ops/program.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// The device as a unit's sequence uses it. A read that succeeds shows the
// pass picture, as Dump wants it; inside a unit only the unit's own end may
// show it, so a blank check or a read-back mid-unit shows none.
class UnitReporter final : public Reporter {
 public:
  explicit UnitReporter(OperatorPanel& panel) : panel_(panel) {}
  void ShowMessage(const std::string& text) override {
    panel_.ShowMessage(text);
  }
  void SetStatus(const std::string& text) override { panel_.SetStatus(text); }
  void SetResultPicture(ResultPicture picture) override {
    if (picture != ResultPicture::kPass) panel_.SetResultPicture(picture);
  }
  void ShowPreview(const std::string& listing) override {
    panel_.ShowPreview(listing);
  }

 private:
  OperatorPanel& panel_;
};

// Where the progress bar stands during an eFuse unit, which can spend many
// seconds in its rewrites: the blank check, the first write, each rewrite,
// the final mark.
constexpr int kProgressBlankChecked = 10;
constexpr int kProgressWritten = 25;
constexpr int kProgressPerRewrite = 15;
constexpr int kProgressFinalMark = 85;
constexpr int kProgressDone = 100;

// What the ledger reserved for the unit: its MAC address and the image its
// digest was taken of. Every write request of the unit and its log line must
// still carry them; anything else means the image changed under the unit.
struct Reservation {
  std::optional<std::int64_t> id;
  std::string mac;
  std::vector<std::uint8_t> image;
};

Reservation Reserved(const Station& st, std::optional<std::int64_t> id) {
  const auto area =
      ImageArea(st.prev).first(static_cast<std::size_t>(st.image_size));
  return {id, st.settings.CurrentMac, {area.begin(), area.end()}};
}

bool StillAsReserved(const Station& st, const Reservation& r) {
  if (st.settings.CurrentMac != r.mac) return false;
  if (static_cast<std::size_t>(st.image_size) != r.image.size()) return false;
  const auto area = ImageArea(st.prev);
  const bool efuse = IsEfuseSel(st.settings.DeviceSel);
  for (std::size_t i = 0; i < r.image.size(); ++i) {
    // The eFuse mark byte steps on by design: being written, then final.
    if (efuse && i == kEfuseMarkOffset) continue;
    if (area[i] != r.image[i]) return false;
  }
  return true;
}

Outcome Fail(const OpsContext& ctx, const std::string& message,
             Outcome outcome) {
  ctx.panel.SetResultPicture(ResultPicture::kFail);
  ctx.panel.ShowMessage(message);
  return outcome;
}

// The image no longer carries what was reserved: the unit stops before its
// next request, and its MAC address is set aside for good, since the adapter
// may hold it or parts of another.
Outcome StopChangedUnit(const OpsContext& ctx, const Reservation& r) {
  std::string text = "The image changed while the unit with MAC address " +
                     r.mac + " was being written";
  if (ctx.ledger != nullptr && r.id) {
    const LedgerStatus set_aside =
        ctx.ledger->SetAside(*r.id, FormatLocalTime(ctx.clock.Now()));
    text += set_aside.ok()
                ? ": the unit was stopped, and " + r.mac +
                      " is set aside and never given again (unit " +
                      std::to_string(*r.id) + " of the production ledger)."
                : ": the unit was stopped. " + set_aside.error +
                      "\r\nIts MAC address stays reserved; the next start "
                      "sets it aside.";
  } else {
    text += ": the unit was stopped.";
  }
  text += " Check that adapter before you ship it.";
  return Fail(ctx, text, Outcome::kVerifyFailed);
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
  const Outcome recorded = CloseUnit(ctx, unit, UnitState::kProgrammed);
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

// Everything of one unit past its start checks: the device it reaches
// (reporting as a unit must) and what the ledger reserved for it.
class UnitWrite {
 public:
  explicit UnitWrite(const OpsContext& ctx)
      : ctx_(ctx), st_(ctx.station), reporter_(ctx.panel),
        device_(ctx.port, reporter_) {}

  // The content checks of the built image, and a blank eFuse; kOk when the
  // unit may be written.
  Outcome ContentAccepted() {
    if (IsEfuseSel(st_.settings.DeviceSel)) {
      if (FirstInvalidEfuseByte(ImageArea(st_.prev).first(kEfuseSize)) >= 0) {
        return Fail(ctx_, msg::kEfuseFormatError, Outcome::kSettingsRejected);
      }
      if (!device_.ReadEfuse(st_.dump, st_.image_size)) {
        return DeviceOutcome(device_);
      }
      if (!IsImageAreaBlank(st_.dump, kEfuseSize)) {
        return Fail(ctx_, msg::kEfuseProgrammed, Outcome::kWriteFailed);
      }
      ctx_.panel.SetProgress(kProgressBlankChecked);
      return Outcome::kOk;
    }
    if (FirstInvalidSromByte(st_.prev, st_.image_size) >= 0) {
      ctx_.panel.ShowMessage(msg::kEepromDataWrong);
      return Outcome::kSettingsRejected;
    }
    return Outcome::kOk;
  }

  // Writes the unit and checks what it holds; the sequence after the busy
  // mark is set.
  const std::string& reserved_mac() const { return reserved_.mac; }

  Outcome Run() {
    if (const Outcome refused = ContentAccepted(); refused != Outcome::kOk) {
      return refused;
    }
    if (const auto refusal = RangeGuard(st_.settings)) {
      return Fail(ctx_, *refusal, Outcome::kSettingsRejected);
    }
    // Settings the settings file cannot hold would be programmed and
    // logged, and then the stepped counter could not be saved.
    if (const auto refusal = EepromDatRefusal(st_.settings)) {
      return Fail(ctx_, *refusal, Outcome::kSettingsRejected);
    }
    if (st_.settings.Reload &&
        !ctx_.panel.AskOkCancel(msg::kReloadCaption, msg::kReloadWarning)) {
      return Outcome::kNotConfirmed;
    }

    // The MAC address is reserved in a committed record before the adapter
    // holds it: no crash from here on can give it to a second unit.
    std::optional<std::int64_t> unit;
    if (const Outcome refused = ReserveUnit(ctx_, unit);
        refused != Outcome::kOk) {
      ctx_.panel.SetResultPicture(ResultPicture::kFail);
      return refused;
    }
    reserved_ = Reserved(st_, unit);
    CrashPoint();

    if (!StillAsReserved(st_, reserved_)) return StopChangedUnit(ctx_, reserved_);
    const bool written =
        device_.WriteImage(st_.prev, st_.settings.DeviceSel, st_.image_size);
    CrashPoint();
    const std::uint64_t captured_mac = st_.values.CurrentMacValue;
    const std::uint64_t captured_serial = st_.values.CurrentSerialValue;
    const bool efuse = IsEfuseSel(st_.settings.DeviceSel);
    Outcome outcome = Outcome::kOk;
    if (!written) {
      outcome = Fail(ctx_, msg::kProgramFail, DeviceOutcome(device_));
      // A request that went out may have left the address on the adapter;
      // only a control device that never opened reached nothing.
      const UnitState to =
          device_.last_failure() == DeviceFailure::kNotOpened
              ? UnitState::kReleased
              : UnitState::kFailed;
      outcome = FirstFailure(outcome, CloseUnit(ctx_, unit, to));
    } else {
      if (efuse) ctx_.panel.SetProgress(kProgressWritten);
      outcome = efuse ? WriteEfuseContent() : VerifyEeprom();
      if (efuse && outcome == Outcome::kOk) outcome = WriteEfuseFinalMark();
      CrashPoint();
      if (outcome == Outcome::kOk && !StillAsReserved(st_, reserved_)) {
        return StopChangedUnit(ctx_, reserved_);
      }
      // A unit that failed its verification is not reloaded.
      if (outcome != Outcome::kOk) {
        if (changed_) return outcome;  // set aside already
        return FirstFailure(outcome,
                            CloseUnit(ctx_, unit, UnitState::kFailed));
      }
      if (efuse) ctx_.panel.SetProgress(kProgressDone);
      outcome = Succeed(ctx_, unit, captured_mac, captured_serial);
    }
    if (st_.settings.Reload) ctx_.Device().ReloadEeprom();
    return outcome;
  }

 private:
  Outcome VerifyEeprom() {
    const std::string text =
        device_.ReadEeprom(st_.dump, st_.settings.SromSize, st_.image_size);
    if (text != msg::kReadSuccess ||
        !SameImage(st_.prev, st_.dump, st_.image_size)) {
      ctx_.panel.ShowMessage(msg::kEepromProgramIncomplete);
      ctx_.panel.SetResultPicture(ResultPicture::kFail);
      return Outcome::kVerifyFailed;
    }
    return Outcome::kOk;
  }

  // Before every further write request of the unit: false (and the unit
  // stopped) when the image no longer carries what was reserved.
  bool StillReserved(Outcome& stopped) {
    if (StillAsReserved(st_, reserved_)) return true;
    changed_ = true;
    stopped = StopChangedUnit(ctx_, reserved_);
    return false;
  }

  // Phase one: the content, rewritten up to three times while every wrong
  // byte can still be fixed.
  Outcome WriteEfuseContent() {
    device_.ReadEfuse(st_.dump, st_.image_size);
    if (SameImage(st_.prev, st_.dump, kEfuseSize)) return Outcome::kOk;

    AppendRetryLog(st_.folders, st_.dump, 0, ctx_.clock, ctx_.panel);
    bool unfixable = false;
    for (int n = 1; n <= kEfuseRewrites; ++n) {
      unfixable = unfixable || EfuseUnfixable(st_.prev, st_.dump);
      if (unfixable) break;
      ctx_.clock.SleepMs(kEfuseRetryWaitMs[n - 1]);
      Outcome stopped = Outcome::kOk;
      if (!StillReserved(stopped)) return stopped;
      if (!device_.WriteImage(st_.prev, st_.settings.DeviceSel,
                              st_.image_size)) {
        return Fail(ctx_, msg::kProgramFail, DeviceOutcome(device_));
      }
      ctx_.panel.SetProgress(kProgressWritten + n * kProgressPerRewrite);
      device_.ReadEfuse(st_.dump, st_.image_size);
      AppendRetryLog(st_.folders, st_.dump, n, ctx_.clock, ctx_.panel);
      if (SameImage(st_.prev, st_.dump, kEfuseSize)) return Outcome::kOk;
      ctx_.panel.SetOutputText(msg::kCompareFailRetry + std::to_string(n));
    }
    ImageArea(st_.prev)[kEfuseMarkOffset] = kEfuseMarkFinal;
    return Fail(ctx_, msg::kEfuseProgramIncomplete, Outcome::kVerifyFailed);
  }

  // Phase two: the final mark (image byte 63 = 0x01), written on one handle
  // held for the whole phase.
  Outcome WriteEfuseFinalMark() {
    ImageArea(st_.prev)[kEfuseMarkOffset] = kEfuseMarkFinal;
    ctx_.panel.SetProgress(kProgressFinalMark);
    auto writer = device_.HoldForEfuseWrites();
    if (!writer) {
      return Fail(ctx_, msg::kOpenDeviceFail, Outcome::kDeviceAbsent);
    }
    for (int k = 0; k < kEfuseFinalAttempts; ++k) {
      Outcome stopped = Outcome::kOk;
      if (!StillReserved(stopped)) return stopped;
      if (!writer->Write(st_.prev)) {
        writer.reset();
        return Fail(ctx_, msg::kWriteEfuseFailed, Outcome::kWriteFailed);
      }
      device_.ReadEfuse(st_.dump, st_.image_size);
      if (SameImage(st_.prev, st_.dump, kEfuseSize)) return Outcome::kOk;
      if ((ImageArea(st_.dump)[kEfuseMarkOffset] & 0x01) == 0) break;
      if (k < kEfuseFinalAttempts - 1) {
        ctx_.clock.SleepMs(kEfuseRetryWaitMs[k]);
      }
      AppendRetryLog(st_.folders, st_.dump, k, ctx_.clock, ctx_.panel);
    }
    writer.reset();
    return Fail(ctx_, msg::kFinalCheckFail, Outcome::kVerifyFailed);
  }

  const OpsContext& ctx_;
  Station& st_;
  UnitReporter reporter_;
  DeviceAccess device_;
  Reservation reserved_;
  bool changed_ = false;
};

// The product ID must fit the chosen chip; a mismatch is corrected and the
// unit is not programmed.
bool ProductIdFitsChip(const OpsContext& ctx) {
  const auto message = CorrectProductIdForChip(ctx.station.settings);
  if (!message) return true;
  ctx.panel.ShowMessage(*message);
  ctx.panel.UpdateData(false);
  return false;
}

// The single-unit sequence; `mac` follows the MAC address the unit is for.
Outcome RunUnit(const OpsContext& ctx, std::string& mac) {
  Station& st = ctx.station;
  ctx.panel.UpdateData(true);
  mac = st.settings.CurrentMac;
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
  mac = st.settings.CurrentMac;
  // After stepping, the current MAC address can lie past the maximum; the
  // refresh then refuses it and the old image must not be written again.
  if (!RefreshImage(ctx)) return Outcome::kSettingsRejected;

  ctx.panel.SetResultPicture(ResultPicture::kNone);
  const BusyMark busy(st.busy);
  UnitWrite unit(ctx);
  const Outcome outcome = unit.Run();
  // The MAC address the unit was for: the one reserved for it (a pool may
  // have moved it on before, and stepping past it after); before any
  // reservation, the one it was refused with.
  mac = unit.reserved_mac().empty() ? st.settings.CurrentMac
                                    : unit.reserved_mac();
  return outcome;
}

}  // namespace

std::string VerdictLine(bool passed, const std::string& mac) {
  return std::string(passed ? "PASS " : "FAIL ") + mac;
}

Outcome RunSingleUnit(const OpsContext& ctx) {
  std::string mac;
  const bool busy_before = ctx.station.busy;
  const Outcome outcome = RunUnit(ctx, mac);
  // A second sequence turned away by the busy mark, and a reload the
  // operator cancelled, settle nothing.
  if (!busy_before && outcome != Outcome::kNotConfirmed) {
    ctx.panel.ShowVerdict(VerdictLine(outcome == Outcome::kOk, mac),
                          outcome == Outcome::kOk);
  }
  return outcome;
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
      outcome = loop->RunLoop(
          AdapterLoop::Kind::kProgram, ctx,
          [](const OpsContext& unit_ctx) { return RunSingleUnit(unit_ctx); });
    }
  }
  if (ctx.station.settings.AutoProgram) ctx.panel.RearmAutoProgram();
  return outcome;
}

}  // namespace srom
