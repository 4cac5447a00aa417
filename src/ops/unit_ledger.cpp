#include "ops/unit_ledger.h"

#include <cstdio>
#include <string>

#include "files/eeprom_dat.h"
#include "files/file_io.h"
#include "files/logs.h"
#include "ledger/image_digest.h"
#include "ledger/ledger_health.h"
#include "ledger/ledger_rules.h"
#include "model/hex_text.h"
#include "model/messages.h"
#include "model/stepping.h"
#include "ops/ledger_outbox.h"
#include "ops/ledger_rebuild.h"
#include "ops/refresh.h"
#include "ports/file_kind.h"

namespace srom {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// When and where a unit took its MAC address, for the operator.
std::string UsedText(const UnitRecord& unit) {
  const std::string where = " at station " + Quoted(unit.station) + " (unit " +
                            std::to_string(unit.id) +
                            " of the production ledger)";
  if (unit.state == UnitState::kFailed) {
    return "written on " + unit.closed_at + where +
           " to a unit that failed and may hold it";
  }
  if (unit.state == UnitState::kInterrupted) {
    return "set aside on " + unit.closed_at + where +
           ", because its unit was interrupted while being written and may "
           "hold it";
  }
  return "programmed on " + unit.closed_at + where;
}

}  // namespace

void StepPastUnit(Station& st, const UnitRecord& unit) {
  SromSettings& s = st.settings;
  NumericValues& v = st.values;
  v.CurrentMacValue = MacValue(unit.mac);
  v.MaximumMacValue = MacValue(s.MaximumMac);
  const int mac_step = s.MacIncrement;
  StepMacAddress(s, v, {mac_step, mac_step, v.CurrentMacValue});
  if (IsEepromSel(s.DeviceSel) && HasHexDigits(unit.serial, kSerialDigits) &&
      HasHexDigits(s.MaximumSerial, kSerialDigits)) {
    v.CurrentSerialValue = HexTextValue(unit.serial, kSerialDigits);
    v.MaximumSerialValue = HexTextValue(s.MaximumSerial, kSerialDigits);
    const int serial_step = s.SerialIncrement;
    StepSerialNumber(s, v, {serial_step, serial_step, v.CurrentSerialValue});
  }
}

namespace {

// "YYYY-MM-DD HH:MM:SS" back into its parts; nothing for another text.
std::optional<LocalTime> ParseLocalTime(const std::string& text) {
  LocalTime t;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &t.year, &t.month,
                  &t.day, &t.hour, &t.minute, &t.second) != 6) {
    return std::nullopt;
  }
  return t;
}

// A programmed unit whose log line was lost with the crash that lost its
// settings save gets its line now, with the time it was programmed: the log
// lists every unit the adapters hold.
void LogUnitIfMissing(const Station& st, const UnitRecord& unit,
                      Reporter& reporter) {
  if (unit.state != UnitState::kProgrammed) return;
  const std::filesystem::path log =
      st.folders.program_folder / station_file::kSerialMacLog;
  // A log that cannot be read (past kLogReadCap, a pipe) gets no line: the
  // unit stays in the ledger, which ledger --check holds against the log.
  std::string why;
  const auto read = ReadRegularFile(log, kLogReadCap, &why);
  if (!read && EntryKindOf(log) != FileKind::kMissing) {
    reporter.ShowMessage(ReadFailureText(log, why));
    return;
  }
  const std::string text = read.value_or(std::string());
  const std::size_t last_line =
      text.rfind('\n', text.size() < 2 ? 0 : text.size() - 2);
  const std::string tail =
      last_line == std::string::npos ? text : text.substr(last_line);
  if (tail.find('\t' + unit.mac + '\t') != std::string::npos) return;
  SromSettings logged = st.settings;
  logged.DeviceSel = unit.device_sel;
  logged.CurrentMac = unit.mac;
  logged.CurrentSerial = unit.serial;
  logged.FixedSerial = unit.serial != "00" + unit.mac;
  const LocalTime when = ParseLocalTime(unit.closed_at).value_or(LocalTime{});
  std::string line = text.empty() ? SerialMacLogHeader() : std::string();
  line += SerialMacLogLine(logged, when);
  if (!AppendToFile(log, line, &why)) {
    reporter.ShowMessage(msg::kSerialMacLogFailed);
    reporter.ShowMessage(why);
  }
}

Outcome Unwritten(const OpsContext& ctx, const LedgerStatus& status) {
  ctx.panel.ShowMessage("The unit was not written: " + status.error);
  return LedgerOutcome(status.fault);
}

// How often a unit follows its pool anew when other stations keep taking
// the pool's next value first: far more than six stations ever need.
constexpr int kPoolAttempts = 50;

// The unit about to be written, as the ledger keeps it.
UnitDraft DraftOf(const OpsContext& ctx, bool reissue) {
  const Station& st = ctx.station;
  UnitDraft draft;
  draft.mac = st.settings.CurrentMac;
  draft.serial = LoggedSerial(st.settings);
  draft.device_sel = NormalizeDeviceSel(st.settings.DeviceSel);
  draft.image_digest = ImageDigest(
      ImageArea(st.prev).first(static_cast<std::size_t>(st.image_size)));
  draft.station = st.name;
  draft.time = FormatLocalTime(ctx.clock.Now());
  draft.reissue = reissue;
  draft.pool = st.pool;
  return draft;
}

// A failed unit's address goes again only to its own adapter: the one on
// the bench now is that adapter when its EEPROM holds the address (the write
// that failed got that far). An eFuse keeps what was burnt: never again.
bool SameAdapterAsFailed(const OpsContext& ctx, const UnitRecord& failed) {
  if (!IsEepromSel(ctx.station.settings.DeviceSel)) return false;
  const auto held = ctx.Device().ReadEepromMac();
  if (!held) return false;
  std::uint64_t value = 0;
  for (const std::uint8_t byte : *held) value = (value << 8) | byte;
  return value == MacValue(failed.mac);
}

// The failed unit's address is set aside for good, since its own adapter
// may hold it, and the station moves on to the next address, saved at once.
Outcome SetFailedAddressAside(const OpsContext& ctx, const UnitRecord& failed) {
  Station& st = ctx.station;
  const LedgerStatus set_aside =
      ctx.ledger->SetAside(failed.id, FormatLocalTime(ctx.clock.Now()));
  if (!set_aside.ok()) return Unwritten(ctx, set_aside);
  StepPastUnit(st, failed);
  if (!SaveEepromDat(st.folders, st.settings, st.accepted, ctx.panel)) {
    return Outcome::kFileRejected;
  }
  ctx.panel.UpdateData(false);
  const bool efuse = IsEfuseSel(st.settings.DeviceSel);
  ctx.panel.ShowMessage(
      "MAC address " + failed.mac + " was written to a unit that failed (unit " +
      std::to_string(failed.id) + " of the production ledger, on " +
      failed.closed_at + "), " +
      (efuse ? std::string("and an eFuse keeps what was burnt")
             : std::string("and the adapter now attached does not hold it: "
                           "the failed adapter may")) +
      ". " + failed.mac +
      " is set aside and never given again; this unit takes the next MAC "
      "address, " +
      st.settings.CurrentMac + ".");
  return Outcome::kOk;
}

// Refused, or confirmed as a rework: whether the MAC address may be written
// again. kOk with `reissue` telling which; `moved_on` when the address was a
// failed unit's and the station moved on to the next one instead (the image
// must then be built anew and looked at again).
Outcome CheckNotGivenBefore(const OpsContext& ctx, bool& reissue,
                            bool& moved_on) {
  Station& st = ctx.station;
  const std::string& mac = st.settings.CurrentMac;
  reissue = false;
  moved_on = false;
  const auto used = ctx.ledger->FindUsed(mac);
  if (!used.ok()) return Unwritten(ctx, used.status());
  if (!*used.value) return Outcome::kOk;
  const UnitRecord& unit = **used.value;
  if (unit.state == UnitState::kFailed && unit.station == st.name) {
    // A retry of the adapter that failed needs no question; any other
    // adapter gets the next address. A scanned label names its address, so
    // a label of the failed address on another adapter is refused below.
    if (SameAdapterAsFailed(ctx, unit)) {
      reissue = true;
      return Outcome::kOk;
    }
    if (!ctx.scanned) {
      const Outcome set_aside = SetFailedAddressAside(ctx, unit);
      moved_on = set_aside == Outcome::kOk;
      return set_aside;
    }
  }
  const std::string text =
      "MAC address " + mac + " was given to a unit before: " + UsedText(unit) +
      ".";
  if (ctx.ledger->LineWide() && unit.station != st.name) {
    ctx.panel.ShowMessage(text +
                          " A MAC address another station gave is never "
                          "given again here: the unit was not written.");
    return Outcome::kMacAlreadyUsed;
  }
  if (ctx.scanned) {
    // Nobody stands at the keyboard, and the scanner's next Enter would
    // answer a question: the refusal goes where the operator reads it
    // without a box to close, and the next scan finds the box ready.
    ctx.panel.SetOutputText(text +
                            "\r\nA scanned MAC address is never given again: "
                            "the unit was not written. Scan the next "
                            "label.\r\n");
    return Outcome::kMacAlreadyUsed;
  }
  if (!ctx.panel.ConfirmReissue(text)) return Outcome::kMacAlreadyUsed;
  reissue = true;
  return Outcome::kOk;
}

}  // namespace

Outcome LedgerOutcome(LedgerFault fault) {
  switch (fault) {
    case LedgerFault::kMacInUse:
      return Outcome::kMacAlreadyUsed;
    case LedgerFault::kUnreachable:
      return Outcome::kLedgerUnreachable;
    case LedgerFault::kSettingsRejected:
      return Outcome::kLedgerRejected;
    case LedgerFault::kStationInUse:
      return Outcome::kStationBusy;
    case LedgerFault::kUnprotected:
      return Outcome::kLedgerUnprotected;
    default:
      return Outcome::kFileRejected;
  }
}

Outcome FollowPool(const OpsContext& ctx, bool say_failures) {
  Station& st = ctx.station;
  if (st.pool.empty() || ctx.ledger == nullptr) return Outcome::kOk;
  // After a unit whose close the server did not take: the stepped values
  // stand, and the pool is read before the next unit, once the server
  // answers.
  if (!say_failures && st.ledger_out_of_step) return Outcome::kOk;
  const auto pool = ctx.ledger->Pool(st.pool);
  if (!pool.ok()) {
    if (!say_failures) return LedgerOutcome(pool.fault);
    return Unwritten(ctx, pool.status());
  }
  const PoolState& p = *pool.value;
  if (ledger_rules::PoolUsedUp(p)) {
    if (!say_failures) return Outcome::kSettingsRejected;
    ctx.panel.ShowMessage("The line pool \"" + p.name +
                          "\" is used up: its last MAC address, " + p.last +
                          ", was given. No unit is written until the station "
                          "takes a new pool.");
    return Outcome::kSettingsRejected;
  }
  SromSettings& s = st.settings;
  s.CurrentMac = p.next;
  s.MaximumMac = p.last;
  st.values.CurrentMacValue = MacValue(p.next);
  st.values.MaximumMacValue = MacValue(p.last);
  // The serial number follows its own rules, "Based On Mac Address" too.
  if (s.BasedOnMac) ApplyBasedOnMac(s, true);
  ctx.panel.UpdateData(false);
  return Outcome::kOk;
}

Outcome ReserveUnit(const OpsContext& ctx, std::optional<std::int64_t>& id) {
  id.reset();
  if (ctx.ledger == nullptr) return Outcome::kOk;
  Station& st = ctx.station;
  // Closes kept while the server was away go first, in their order; a
  // server that takes none now takes no reservation either.
  if (const LedgerStatus sent = SendOutbox(st, *ctx.ledger, ctx.panel);
      !sent.ok()) {
    return Unwritten(ctx, sent);
  }

  for (int attempt = 1;; ++attempt) {
    // A pool's value is never a rework: when it is held already (another
    // station took it since the pool was read, or took it by hand), the
    // reservation moves the pool on and the unit follows it.
    bool reissue = false;
    if (st.pool.empty()) {
      bool moved_on = false;
      if (const Outcome refused = CheckNotGivenBefore(ctx, reissue, moved_on);
          refused != Outcome::kOk) {
        return refused;
      }
      if (moved_on) {
        if (attempt == kPoolAttempts) return Outcome::kSettingsRejected;
        if (!RefreshImage(ctx)) return Outcome::kSettingsRejected;
        if (const auto refusal = RangeGuard(st.settings)) {
          ctx.panel.ShowMessage(*refusal);
          return Outcome::kSettingsRejected;
        }
        continue;
      }
    }
    const auto reserved = ctx.ledger->Reserve(DraftOf(ctx, reissue));
    if (reserved.ok()) {
      id = *reserved.value;
      return Outcome::kOk;
    }
    if (reserved.fault != LedgerFault::kPoolMoved ||
        attempt == kPoolAttempts) {
      return Unwritten(ctx, reserved.status());
    }
    // Another station took the pool's value first: the unit takes the next
    // one, its image built anew.
    if (const Outcome refused = FollowPool(ctx); refused != Outcome::kOk) {
      return refused;
    }
    if (!RefreshImage(ctx)) return Outcome::kSettingsRejected;
    if (const auto refusal = RangeGuard(st.settings)) {
      ctx.panel.ShowMessage(*refusal);
      return Outcome::kSettingsRejected;
    }
  }
}

Outcome CloseUnit(const OpsContext& ctx, std::optional<std::int64_t> id,
                  UnitState to) {
  if (ctx.ledger == nullptr || !id) return Outcome::kOk;
  const std::string now = FormatLocalTime(ctx.clock.Now());
  const LedgerStatus closed = CloseAs(*ctx.ledger, *id, to, now);
  if (closed.ok()) return Outcome::kOk;
  const bool programmed = to == UnitState::kProgrammed;
  Station& st = ctx.station;
  // Before stepping, the settings still hold the unit's MAC address.
  if (closed.fault == LedgerFault::kUnreachable &&
      KeepCloseInOutbox(st.folders.program_folder, *id, to, now,
                        st.settings.CurrentMac, ctx.ledger->LedgerIdentity())) {
    ctx.panel.ShowMessage(
        closed.error + "\r\nUnit " + std::to_string(*id) + " is recorded as " +
        std::string(UnitStateName(to)) + " in " +
        std::string(kLedgerOutboxFileName) +
        " and sent when the server answers; its MAC address stays reserved "
        "meanwhile.");
    // The rest of this unit's ledger calls wait for the next unit, which
    // brings the station into step with the server first.
    st.ledger_out_of_step = true;
    return Outcome::kOk;
  }
  ctx.panel.ShowMessage(
      "The production ledger could not record unit " + std::to_string(*id) +
      (programmed ? " as programmed: " : " as failed: ") + closed.error +
      "\r\nIts MAC address stays reserved; the next start sets it aside.");
  return Outcome::kFileRejected;
}

void MarkUnitSettingsSaved(const OpsContext& ctx,
                           std::optional<std::int64_t> id) {
  if (ctx.ledger == nullptr || !id) return;
  // Not fatal: the next start (or the next unit, after a close the server
  // did not take) finds the flag missing and, the settings file being ahead
  // already, only sets it.
  if (ctx.station.ledger_out_of_step) return;
  const LedgerStatus saved = ctx.ledger->MarkSettingsSaved(*id);
  (void)saved;
}

Outcome ReconcileWithLedger(Station& st, Ledger& ledger, Clock& clock,
                            Reporter& reporter) {
  const auto recovered =
      ledger.RecoverInterrupted(FormatLocalTime(clock.Now()));
  if (!recovered.ok()) {
    reporter.ShowMessage(recovered.error);
    return LedgerOutcome(recovered.fault);
  }
  for (const UnitRecord& unit : *recovered.value) {
    reporter.ShowMessage("A unit was interrupted while MAC address " +
                         unit.mac + " was being written (reserved on " +
                         unit.reserved_at + ", unit " +
                         std::to_string(unit.id) +
                         " of the production ledger). Its adapter may hold "
                         "that address: it is set aside and never given "
                         "again. Check that adapter before you ship it.");
  }

  const auto latest = ledger.LatestUsed();
  if (!latest.ok()) {
    reporter.ShowMessage(latest.error);
    return LedgerOutcome(latest.fault);
  }
  if (!*latest.value || (*latest.value)->settings_saved) return Outcome::kOk;
  const UnitRecord& unit = **latest.value;
  const bool behind = HasHexDigits(st.settings.CurrentMac, kMacDigits) &&
                      MacValue(st.settings.CurrentMac) <= MacValue(unit.mac);
  if (behind) {
    LogUnitIfMissing(st, unit, reporter);
    StepPastUnit(st, unit);
    if (!SaveEepromDat(st.folders, st.settings, st.accepted, reporter)) {
      reporter.ShowMessage(
          "EEPROM.dat is behind the production ledger and cannot be "
          "brought up to date, so no unit can be programmed: the last unit "
          "had MAC address " +
          unit.mac + ". Free the disk or the folder, then start again.");
      return Outcome::kFileRejected;
    }
    reporter.ShowMessage(
        "EEPROM.dat was not saved after the last unit (MAC "
        "address " +
        unit.mac + ", unit " + std::to_string(unit.id) +
        " of the production ledger). The counters are "
        "brought up to date: the next MAC address is " +
        st.settings.CurrentMac + ".");
  }
  (void)ledger.MarkSettingsSaved(unit.id);
  return Outcome::kOk;
}

Outcome BringIntoStepWithLedger(const OpsContext& ctx) {
  Station& st = ctx.station;
  if (!st.ledger_gap.empty()) {
    ctx.panel.ShowMessage(LedgerGapRefusal());
    return Outcome::kFileRejected;
  }
  if (ctx.ledger == nullptr) return Outcome::kOk;
  // Before anything is sent: a commit waits for a synchronous standby that
  // is away until the call's time runs out, and the operator would be told
  // the server does not answer.
  if (const Outcome unprotected = CheckStandby(st, *ctx.ledger, ctx.panel);
      unprotected != Outcome::kOk) {
    return unprotected;
  }
  if (!st.ledger_out_of_step) return Outcome::kOk;
  if (const LedgerStatus sent = SendOutbox(st, *ctx.ledger, ctx.panel);
      !sent.ok()) {
    ctx.panel.ShowMessage(sent.error);
    return LedgerOutcome(sent.fault);
  }
  const Outcome reconciled =
      ReconcileWithLedger(st, *ctx.ledger, ctx.clock, ctx.panel);
  if (reconciled != Outcome::kOk) return reconciled;
  st.ledger_out_of_step = false;
  ctx.panel.UpdateData(false);
  return Outcome::kOk;
}

Outcome CheckStandby(const Station& station, Ledger& ledger,
                     Reporter& reporter) {
  if (!station.require_standby) return Outcome::kOk;
  const auto health = ledger.Health();
  if (!health.ok()) {
    reporter.ShowMessage(health.error);
    return LedgerOutcome(health.fault);
  }
  if (const auto reason = UnprotectedReason(*health.value)) {
    reporter.ShowMessage(UnprotectedText(*health.value, *reason));
    return Outcome::kLedgerUnprotected;
  }
  return Outcome::kOk;
}

}  // namespace srom
