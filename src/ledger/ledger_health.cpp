#include "ledger/ledger_health.h"

#include <cctype>
#include <string>

namespace srom {
namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() &&
         std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() &&
         std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

bool StartsWithWord(std::string_view text, std::string_view word) {
  if (text.size() <= word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != word[i]) {
      return false;
    }
  }
  return std::isspace(static_cast<unsigned char>(text[word.size()])) != 0;
}

// A standby that acknowledges commits now: streaming, and chosen to.
bool Acknowledges(const StandbyState& standby) {
  return standby.state == "streaming" &&
         (standby.sync_state == "sync" || standby.sync_state == "quorum");
}

bool SessionWaits(const std::string& synchronous_commit) {
  return synchronous_commit != "off" && synchronous_commit != "local";
}

std::string StandbysWord(int count) {
  return count == 1 ? "standby" : "standbys";
}

std::string StandbyLine(const StandbyState& standby) {
  std::string line = "\"" + standby.name + "\": ";
  line += standby.state.empty() ? "state not shown" : standby.state;
  if (!standby.sync_state.empty()) line += ", " + standby.sync_state;
  if (standby.bytes_behind == 0) {
    line += ", caught up";
  } else if (standby.bytes_behind > 0) {
    line += ", " + std::to_string(standby.bytes_behind) + " bytes behind";
  }
  if (standby.replay_lag_ms >= 0) {
    line += ", replay lag " + std::to_string(standby.replay_lag_ms) + " ms";
  }
  return line;
}

}  // namespace

int SyncStandbysAwaited(std::string_view names) {
  names = Trimmed(names);
  if (names.empty()) return 0;
  for (std::string_view method : {"FIRST", "ANY"}) {
    if (StartsWithWord(names, method)) {
      names = Trimmed(names.substr(method.size()));
      break;
    }
  }
  // A count only stands before a parenthesised list; "2" alone would be a
  // standby's name.
  int count = 0;
  std::size_t digits = 0;
  while (digits < names.size() &&
         std::isdigit(static_cast<unsigned char>(names[digits])) &&
         count < 1000) {
    count = count * 10 + (names[digits] - '0');
    ++digits;
  }
  if (digits > 0 && Trimmed(names.substr(digits)).starts_with('(')) {
    return count;
  }
  return 1;
}

std::optional<std::string> UnprotectedReason(const LedgerHealth& health) {
  if (!health.primary) {
    return "the server the station is on (" + health.server +
           ") is a standby itself, read-only, and takes no unit";
  }
  if (!SessionWaits(health.synchronous_commit)) {
    return "the station's commits do not wait for a standby "
           "(synchronous_commit is " +
           health.synchronous_commit + ")";
  }
  const int awaited = SyncStandbysAwaited(health.synchronous_standby_names);
  if (awaited == 0) {
    return "the server waits for no standby at a commit "
           "(its synchronous_standby_names is empty)";
  }
  if (!health.standbys_shown) {
    return "the station's role may not see the server's standbys: grant it "
           "pg_monitor on the server (GRANT pg_monitor TO <the stations' "
           "role>)";
  }
  int acknowledging = 0;
  for (const StandbyState& standby : health.standbys) {
    if (Acknowledges(standby)) ++acknowledging;
  }
  if (acknowledging >= awaited) return std::nullopt;
  if (health.standbys.empty()) {
    return "no standby is connected to the server";
  }
  if (acknowledging == 0 && health.standbys.size() == 1) {
    const StandbyState& standby = health.standbys.front();
    return "its standby " + StandbyLine(standby) +
           " does not acknowledge commits";
  }
  return std::to_string(acknowledging) + " of the " + std::to_string(awaited) +
         " synchronous " + StandbysWord(awaited) +
         " a commit waits for acknowledge commits now";
}

std::string UnprotectedText(const LedgerHealth& health,
                            const std::string& reason) {
  return "The line's production ledger " + health.where +
         " has no synchronous standby acknowledging its commits: " + reason +
         ". No unit is programmed while station.ini asks for one "
         "(require_standby=yes): a MAC address kept on one server machine "
         "alone could be given again if that machine died.";
}

std::string HealthReport(const LedgerHealth& health) {
  std::string report = "Ledger:     " + health.where + "\n";
  report += "Server:     " + health.server +
            (health.primary ? ", the primary\n"
                            : ", a standby (in recovery, read-only)\n");
  const int awaited = SyncStandbysAwaited(health.synchronous_standby_names);
  report += "Commits:    ";
  if (awaited == 0) {
    report += "wait for no standby (synchronous_standby_names is empty)";
  } else {
    report += "wait for " + std::to_string(awaited) + " synchronous " +
              StandbysWord(awaited) + " (synchronous_standby_names '" +
              health.synchronous_standby_names + "')";
  }
  report += ", synchronous_commit " + health.synchronous_commit + "\n";
  if (health.primary) {
    if (!health.standbys_shown) {
      report +=
          "Standbys:   not shown to the station's role (it needs "
          "pg_monitor)\n";
    } else if (health.standbys.empty()) {
      report += "Standbys:   none connected\n";
    }
    for (const StandbyState& standby : health.standbys) {
      if (health.standbys_shown)
        report += "Standby:    " + StandbyLine(standby) + "\n";
    }
  }
  const auto reason = UnprotectedReason(health);
  report += reason ? "Protected:  no: " + *reason + ".\n"
                   : "Protected:  yes: every commit is on a standby as well "
                     "before the station is told of it.\n";
  return report;
}

}  // namespace srom
