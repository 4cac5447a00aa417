#include "cli/station_run.h"

#include "cli/stop_signal.h"
#include "files/image_files.h"
#ifdef SROM_HAVE_SQLITE_LEDGER
#include "ledger/station_ledger.h"
#endif

namespace srom::cli {
namespace {

namespace fs = std::filesystem;

// The station's production ledger: the SQLite file in its folder, or the
// line's server that station.ini (or --ledger) names. Its waits for the
// server end at a stop request (Ctrl-C in "auto").
LedgerOpener LedgerOfFolder() {
#ifdef SROM_HAVE_SQLITE_LEDGER
  return [](const LedgerPlace& place) {
    LedgerPlace stoppable = place;
    stoppable.stop_requested = StopRequested;
    return OpenStationLedger(stoppable);
  };
#else
  return nullptr;
#endif
}

}  // namespace

Run::Run(const Options& options, std::ostream& out, std::ostream& err)
    : options_(options),
      out_(out),
      err_(err),
      folder_(options.dir),
      panel_(station_.settings, err, options.yes, options.verbose,
             options.allow_reissue) {}

std::optional<ExitCode> Run::Open(LedgerCatchUp catch_up) {
  if (const auto refused = CheckFolder()) return refused;
  Outcome refusal = Outcome::kFailed;
  session_ = StationSession::Open(
      folder_, station_, panel_, clock_, LedgerOfFolder(), refusal,
      options_.station_config,
      options_.rebuild_from_log ? LostLedger::kOpenForRebuild
                                : LostLedger::kRefuseUnits,
      catch_up);
  if (!session_) return ExitCodeOf(refusal);
  return OpenDevice();
}

OpsContext Run::Context() {
  return OpsContext{station_, panel_, device_->port(), clock_,
                    session_->ledger()};
}

void Run::PrintOutputBox() {
  const std::string text = panel_.OutputText();
  out_ << text;
  if (!text.empty() && text.back() != '\n') out_ << "\r\n";
}

std::optional<ExitCode> Run::RequireEeprom(const std::string& what) {
  if (IsEepromSel(station_.settings.DeviceSel)) return std::nullopt;
  Say(what + " is for the EEPROM selections only; nothing was changed.");
  return ExitCode::kUsage;
}

std::optional<ExitCode> Run::RequireEfuse(const std::string& what) {
  if (IsEfuseSel(station_.settings.DeviceSel)) return std::nullopt;
  Say(what + " is for the eFuse selections only; nothing was changed.");
  return ExitCode::kUsage;
}

std::optional<ExitCode> Run::CheckFolder() {
  std::error_code error;
  if (fs::is_directory(folder_, error)) return std::nullopt;
  Say("The folder \"" + options_.dir + "\" does not exist.");
  return ExitCode::kUsage;
}

std::optional<ExitCode> Run::OpenDevice() {
  const auto kind = DeviceKindNamed(options_.device);
  DeviceOpening opening =
      OpenStationDevice(kind.value_or(DeviceKind::kSim), folder_);
  if (!opening.device) {
    Say(opening.message);
    return opening.fault == DeviceOpening::Fault::kNoDriver
               ? ExitCode::kNoDriver
               : ExitCode::kFileRejected;
  }
  device_ = std::move(opening.device);
  return std::nullopt;
}

std::string ResultText(Outcome outcome) {
  return outcome == Outcome::kOk
             ? std::string("PASS")
             : "FAIL: " + std::string(ExitCodeName(ExitCodeOf(outcome)));
}

// Writes `bytes` over `path`; the message the window gives for that kind of
// file when it cannot.
bool WriteResultFile(Run& run, const std::string& path, std::string_view bytes,
                     const char* failure_message) {
  std::string why;
  if (SaveFile(fs::path(path), bytes, &why)) return true;
  run.Say(failure_message);
  run.Say(why);
  return false;
}

}  // namespace srom::cli
