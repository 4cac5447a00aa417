// Where a station keeps its production ledger: its own SQLite file, or the
// line's PostgreSQL server.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace srom {

struct LedgerPlace {
  // The station folder: its own ledger file lives there.
  std::filesystem::path folder;
  // Empty or "sqlite": the station's own file. A postgresql:// address or
  // a libpq keyword/value string ("service=line1"): the line's server. It
  // may hold a password: show it through RedactedLedgerAddress only.
  std::string url;
  // The station as the ledger names it.
  std::string station;
  // This computer's name: on the line's server a station holds its name
  // while it is open, and a second one under it is told where the first
  // runs.
  std::string computer = {};
  // Asked while the ledger waits for its server: true ends the wait
  // (Ctrl-C in srom-cli). May be empty.
  std::function<bool()> stop_requested = {};
  // No unit while no synchronous standby of the line's server acknowledges
  // its commits (require_standby=yes in station.ini).
  bool require_standby = false;
};

// True for a ledger address that names a PostgreSQL server: a libpq URI
// ("postgresql://..." or "postgres://...") or a libpq keyword/value string
// ("service=line1", "host=db1 dbname=srom"), which libpq checks when the
// ledger opens.
inline bool IsServerLedgerUrl(const std::string& url) {
  if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) {
    return true;
  }
  return url.find("://") == std::string::npos &&
         url.find('=') != std::string::npos;
}

// True for the station's own file.
inline bool IsLocalLedgerUrl(const std::string& url) {
  return url.empty() || url == "sqlite";
}

}  // namespace srom
