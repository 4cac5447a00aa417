#include "ops/ledger_outbox.h"

#include <sstream>

#include "files/file_io.h"

namespace srom {
namespace {

namespace fs = std::filesystem;

fs::path OutboxFile(const fs::path& folder) {
  return folder / std::string(kLedgerOutboxFileName);
}

// "<id> <state> <YYYY-MM-DD HH:MM:SS>"
std::string CloseLine(std::int64_t id, UnitState to, const std::string& time) {
  return std::to_string(id) + " " + std::string(UnitStateName(to)) + " " +
         time + "\r\n";
}

struct KeptClose {
  std::int64_t id = 0;
  UnitState to = UnitState::kProgrammed;
  std::string time;
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
  return true;
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
                       const std::string& time) {
  return AppendToFile(OutboxFile(folder), CloseLine(id, to, time));
}

bool SendOutbox(const fs::path& folder, Ledger& ledger, Reporter& reporter) {
  const fs::path file = OutboxFile(folder);
  if (!MayExist(file)) return true;
  std::string unread;
  const std::optional<std::string> read =
      ReadRegularFile(file, kOutboxFileCap, &unread);
  if (!read) {
    reporter.ShowMessage(QuotedPath(file) + " cannot be read: " + unread +
                         ". The closes kept in it wait.");
    return false;
  }
  const std::string& text = *read;
  std::string kept;  // what stays for later, in its order
  bool stopped = false;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    KeptClose close;
    if (stopped || !ParseClose(line, &close)) {
      // A line the tool did not write is kept, never lost.
      kept += line + "\r\n";
      continue;
    }
    const LedgerStatus sent = CloseAs(ledger, close.id, close.to, close.time);
    if (sent.fault == LedgerFault::kRejected) {
      reporter.ShowMessage("The close of unit " + std::to_string(close.id) +
                           " kept in " + std::string(kLedgerOutboxFileName) +
                           " is dropped: " + sent.error);
    } else if (!sent.ok()) {
      stopped = true;
      kept += line + "\r\n";
    }
  }
  if (!text.empty() && kept == text) return false;
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
  return kept.empty() && rewritten;
}

}  // namespace srom
