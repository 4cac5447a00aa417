#include "ops/ledger_outbox.h"

#include <sstream>

#include "files/file_io.h"
#include "ports/system_error_text.h"

namespace srom {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMacKey = "mac=";
constexpr std::string_view kLedgerKey = "ledger=";

fs::path OutboxFile(const fs::path& folder) {
  return folder / std::string(kLedgerOutboxFileName);
}

std::string OutboxName() { return std::string(kLedgerOutboxFileName); }

// "<id> <state> <YYYY-MM-DD HH:MM:SS> mac=<MAC> ledger=<identity>"
std::string CloseLine(std::int64_t id, UnitState to, const std::string& time,
                      const std::string& mac, const std::string& ledger) {
  std::string line =
      std::to_string(id) + " " + std::string(UnitStateName(to)) + " " + time;
  if (!mac.empty()) line += " " + std::string(kMacKey) + mac;
  if (!ledger.empty()) line += " " + std::string(kLedgerKey) + ledger;
  return line + "\r\n";
}

struct KeptClose {
  std::int64_t id = 0;
  UnitState to = UnitState::kProgrammed;
  std::string time;
  std::string mac;     // empty on a line of an older srom-tool
  std::string ledger;  // likewise
};

bool ParseClose(const std::string& line, KeptClose* close) {
  std::istringstream in(line);
  std::string state, date, clock;
  if (!(in >> close->id >> state >> date >> clock)) return false;
  const auto to = UnitStateFromName(state);
  if (!to || (*to != UnitState::kProgrammed && *to != UnitState::kReleased &&
              *to != UnitState::kFailed)) {
    return false;
  }
  close->to = *to;
  close->time = date + " " + clock;
  for (std::string word; in >> word;) {
    if (word.rfind(kMacKey, 0) == 0 && close->mac.empty()) {
      close->mac = word.substr(kMacKey.size());
    } else if (word.rfind(kLedgerKey, 0) == 0 && close->ledger.empty()) {
      close->ledger = word.substr(kLedgerKey.size());
    } else {
      return false;
    }
  }
  return true;
}

// Why the close may not be sent to `ledger`, where its unit is `unit`
// (nothing when there is no such unit there), for the operator; nothing
// when it may.
std::optional<std::string> NotForThisLedger(const KeptClose& close,
                                            const Ledger& ledger,
                                            const std::string& station,
                                            const UnitRecord* unit) {
  const std::string which = "The close of unit " + std::to_string(close.id) +
                            (close.mac.empty() ? "" : " (MAC address " +
                                                          close.mac + ")") +
                            " kept in " + OutboxName();
  const std::string stays =
      " It stays in the file and is not sent here: send it on a station of "
      "that ledger, or remove the line once that unit has been checked.";
  if (!close.ledger.empty() && close.ledger != ledger.LedgerIdentity()) {
    const std::string here = ledger.LedgerIdentity();
    return which + " was recorded on another production ledger (" +
           close.ledger + ") than this station's (" +
           (here.empty() ? "the station's own file" : here) + ")." + stays;
  }
  if (unit == nullptr) return std::nullopt;  // refused below, and dropped
  if (!close.mac.empty()) {
    if (unit->mac == close.mac) return std::nullopt;
    return which + " names another MAC address than unit " +
           std::to_string(unit->id) + " of this ledger holds (" + unit->mac +
           ")." + stays;
  }
  // A line of an older srom-tool, or one made by hand: it names neither.
  const bool open = unit->state == UnitState::kReserved ||
                    unit->state == UnitState::kInterrupted;
  const bool as_said = unit->state == close.to && unit->closed_at == close.time;
  if (unit->station == station && (open || as_said)) return std::nullopt;
  return which + " names neither its MAC address nor its ledger, and unit " +
         std::to_string(unit->id) + " of this ledger is not this station's "
         "open unit (it is station \"" + unit->station + "\"'s, " +
         std::string(UnitStateName(unit->state)) + ")." + stays;
}

}  // namespace

LedgerStatus CloseAs(Ledger& ledger, std::int64_t id, UnitState to,
                     const std::string& time) {
  switch (to) {
    case UnitState::kProgrammed:
      return ledger.MarkProgrammed(id, time);
    case UnitState::kFailed:
      return ledger.MarkFailed(id, time);
    default:
      return ledger.Release(id, time);
  }
}

bool KeepCloseInOutbox(const fs::path& folder, std::int64_t id, UnitState to,
                       const std::string& time, const std::string& mac,
                       const std::string& ledger_identity) {
  return AppendToFile(OutboxFile(folder),
                      CloseLine(id, to, time, mac, ledger_identity));
}

LedgerStatus SendOutbox(Station& station, Ledger& ledger, Reporter& reporter) {
  const fs::path file = OutboxFile(station.folders.program_folder);
  if (!MayExist(file)) return {};
  std::string unread;
  const std::optional<std::string> read =
      ReadRegularFile(file, kOutboxFileCap, &unread);
  if (!read) {
    reporter.ShowMessage(QuotedPath(file) + " cannot be read: " + unread +
                         ". The closes kept in it wait.");
    return {};
  }
  const std::string& text = *read;
  std::string kept;  // what stays for later, in its order
  LedgerStatus stopped;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    KeptClose close;
    if (!stopped.ok() || !ParseClose(line, &close)) {
      // A line the tool did not write is kept, never lost.
      kept += line + "\r\n";
      continue;
    }
    // The unit as this ledger holds it; this reaches the ledger first, so
    // that which ledger it is is known before anything is sent.
    const auto unit = ledger.Unit(close.id);
    if (!unit.ok()) {
      stopped = unit.status();
      kept += line + "\r\n";
      continue;
    }
    const UnitRecord* found = *unit.value ? &**unit.value : nullptr;
    if (const auto refusal =
            NotForThisLedger(close, ledger, station.name, found)) {
      if (station.outbox_told.insert(line).second) {
        reporter.ShowMessage(*refusal);
      }
      kept += line + "\r\n";
      continue;
    }
    const LedgerStatus sent = CloseAs(ledger, close.id, close.to, close.time);
    if (sent.fault == LedgerFault::kRejected) {
      reporter.ShowMessage("The close of unit " + std::to_string(close.id) +
                           " kept in " + OutboxName() +
                           " is dropped: " + sent.error);
    } else if (!sent.ok()) {
      stopped = sent;
      kept += line + "\r\n";
    }
  }
  if (!text.empty() && kept == text) return stopped;
  std::string why;
  bool rewritten = false;
  if (kept.empty()) {
    std::error_code error;
    fs::remove(file, error);
    rewritten = !error;
    if (error) why = DescribeSystemError(error);
  } else {
    rewritten = SaveFile(file, kept, &why);
  }
  if (!rewritten) {
    // The closes sent stay in the file too: sending one again is harmless.
    reporter.ShowMessage(QuotedPath(file) + " cannot be rewritten" +
                         (why.empty() ? "." : ": " + why));
  }
  return stopped;
}

}  // namespace srom
