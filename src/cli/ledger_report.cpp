#include "cli/ledger_report.h"

#include <algorithm>
#include <array>
#include <functional>
#include <iterator>
#include <map>
#include <string_view>
#include <utility>

#include "files/logs.h"

namespace srom::cli {
namespace {

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

// The MAC addresses of the log's unit lines (LoggedUnits), with how often
// each stands there.
std::map<std::string, int> LoggedMacs(std::string_view log) {
  std::map<std::string, int> macs;
  for (const LoggedUnit& unit : LoggedUnits(log)) ++macs[unit.mac];
  return macs;
}

// How many units a group holds in each state, in UnitState's order.
struct StateCounts {
  std::array<int, 5> by_state{};

  void Add(UnitState state) { ++by_state[static_cast<std::size_t>(state)]; }
  int of(UnitState state) const {
    return by_state[static_cast<std::size_t>(state)];
  }
  int total() const {
    int total = 0;
    for (const int count : by_state) total += count;
    return total;
  }
};

std::string CountsLine(const std::string& group, std::size_t group_width,
                       const StateCounts& counts) {
  return Padded(group, group_width) +
         Padded(std::to_string(counts.total()), 7) +
         Padded(std::to_string(counts.of(UnitState::kProgrammed)), 12) +
         Padded(std::to_string(counts.of(UnitState::kInterrupted)), 13) +
         Padded(std::to_string(counts.of(UnitState::kReleased)), 10) +
         Padded(std::to_string(counts.of(UnitState::kFailed)), 8) +
         std::to_string(counts.of(UnitState::kReserved)) + "\n";
}

// The units counted in the groups `group_of` puts them in, under `heading`.
std::string CountsTable(
    const std::vector<UnitRecord>& units, const std::string& heading,
    const std::function<std::string(const UnitRecord&)>& group_of) {
  if (units.empty()) return "The ledger holds no units.\n";
  std::map<std::string, StateCounts> groups;
  StateCounts all;
  for (const UnitRecord& u : units) {
    groups[group_of(u)].Add(u.state);
    all.Add(u.state);
  }
  constexpr char kTotal[] = "total";
  std::size_t width = std::max(heading.size(), sizeof kTotal - 1);
  for (const auto& [group, counts] : groups) {
    width = std::max(width, group.size());
  }
  width += 2;
  std::string table = Padded(heading, width) +
                      "units  programmed  interrupted  released  failed  "
                      "reserved\n";
  for (const auto& [group, counts] : groups) {
    table += CountsLine(group, width, counts);
  }
  return table + CountsLine(kTotal, width, all);
}

}  // namespace

std::string UnitsTable(const std::vector<UnitRecord>& units) {
  std::string table =
      "unit  MAC           serial          sel  state        reserved         "
      "    closed               saved  station\n";
  for (const UnitRecord& u : units) {
    table += Padded(std::to_string(u.id), 6) + Padded(u.mac, 14) +
             Padded(u.serial, 16) + Padded(std::to_string(u.device_sel), 5) +
             Padded(std::string(UnitStateName(u.state)), 13) +
             Padded(u.reserved_at, 21) +
             Padded(u.closed_at.empty() ? "-" : u.closed_at, 21) +
             Padded(u.settings_saved ? "yes" : "no", 7) + u.station + "\n";
  }
  return table;
}

std::string UnitsPerStation(const std::vector<UnitRecord>& units) {
  return CountsTable(units, "station",
                     [](const UnitRecord& u) { return u.station; });
}

std::string UnitsPerPool(const std::vector<UnitRecord>& units) {
  return CountsTable(units, "pool", [](const UnitRecord& u) {
    return u.pool.empty() ? std::string("(none)") : u.pool;
  });
}

std::string UnitsPerHour(const std::vector<UnitRecord>& units) {
  // "YYYY-MM-DD HH" of "YYYY-MM-DD HH:MM:SS".
  return CountsTable(units, "hour", [](const UnitRecord& u) {
    return u.reserved_at.substr(0, 13);
  });
}

std::string InterruptedUnits(const std::vector<UnitRecord>& units) {
  std::vector<UnitRecord> interrupted;
  std::copy_if(
      units.begin(), units.end(), std::back_inserter(interrupted),
      [](const UnitRecord& u) { return u.state == UnitState::kInterrupted; });
  if (interrupted.empty()) return "No unit was interrupted.\n";
  return UnitsTable(interrupted);
}

namespace {

// "Unit 7 (MAC address 00E04C000701, programmed on 2026-12-10 15:05:00)":
// a unit as the check's findings name it.
std::string UnitText(const UnitRecord& u) {
  return "Unit " + std::to_string(u.id) + " (MAC address " + u.mac + ", " +
         std::string(UnitStateName(u.state)) + " on " +
         (u.closed_at.empty() ? u.reserved_at : u.closed_at) + ")";
}

std::string TimesText(int times) {
  if (times == 1) return "once";
  if (times == 2) return "twice";
  return std::to_string(times) + " times";
}

}  // namespace

LogCheck CheckAgainstLog(const std::vector<UnitRecord>& units,
                         std::string_view log) {
  std::map<std::string, int> logged = LoggedMacs(log);
  // Each MAC address's units in id order, programmed or not.
  struct Units {
    std::vector<const UnitRecord*> programmed;
    std::vector<const UnitRecord*> other;
  };
  std::map<std::string, Units> by_mac;
  for (const UnitRecord& u : units) {
    Units& of_mac = by_mac[u.mac];
    (u.state == UnitState::kProgrammed ? of_mac.programmed : of_mac.other)
        .push_back(&u);
  }
  // Found wrong, by the unit they name.
  std::vector<std::pair<std::int64_t, std::string>> wrong;
  int known = 0;
  for (const auto& [mac, of_mac] : by_mac) {
    const auto found = logged.find(mac);
    const int lines = found == logged.end() ? 0 : found->second;
    // What stays in `logged` is what the ledger does not know.
    if (found != logged.end()) logged.erase(found);
    const int programmed = static_cast<int>(of_mac.programmed.size());
    for (int k = 0; k < programmed; ++k) {
      const UnitRecord& u = *of_mac.programmed[static_cast<std::size_t>(k)];
      if (k < lines) {
        ++known;
        continue;
      }
      wrong.emplace_back(u.id, "Unit " + std::to_string(u.id) +
                                   " (MAC address " + u.mac +
                                   ", programmed on " + u.closed_at +
                                   ") is missing from Serial-MAC.log.");
    }
    int extra = lines - programmed;
    if (extra <= 0) continue;
    if (programmed == 0) {
      // Logged, though no unit with it passed: the latest units first.
      for (auto u = of_mac.other.rbegin();
           extra > 0 && u != of_mac.other.rend(); ++u, --extra) {
        wrong.emplace_back(
            (*u)->id, UnitText(**u) +
                          " is in Serial-MAC.log, but the ledger holds it as " +
                          std::string(UnitStateName((*u)->state)) +
                          ", not programmed.");
      }
      if (extra <= 0) continue;
    }
    const UnitRecord& latest =
        programmed > 0 ? *of_mac.programmed.back() : *of_mac.other.back();
    wrong.emplace_back(
        latest.id,
        UnitText(latest) + ": Serial-MAC.log lists its MAC address " +
            TimesText(lines) + ", but the ledger programmed it " +
            (programmed == 0 ? std::string("never") : TimesText(programmed)) +
            ".");
  }
  std::stable_sort(
      wrong.begin(), wrong.end(),
      [](const auto& a, const auto& b) { return a.first < b.first; });

  LogCheck check;
  check.consistent = wrong.empty();
  for (auto& [id, text] : wrong) check.findings.push_back(std::move(text));
  int unknown = 0;
  for (const auto& [mac, count] : logged) unknown += count;
  check.findings.push_back(std::to_string(known) +
                           " programmed units are in Serial-MAC.log.");
  if (unknown > 0) {
    check.findings.push_back(
        std::to_string(unknown) +
        " lines of Serial-MAC.log have no unit in the ledger (units logged "
        "before the ledger was kept, or a log edited by hand).");
  }
  return check;
}

}  // namespace srom::cli
