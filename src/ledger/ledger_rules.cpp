#include "ledger/ledger_rules.h"

#include <algorithm>

#include "model/hex_text.h"

namespace srom::ledger_rules {

bool IsUpperHex(std::string_view text, std::size_t digits) {
  return text.size() == digits &&
         std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
         });
}

std::optional<std::string> TimeFault(const std::string& time) {
  // "YYYY-MM-DD HH:MM:SS": digits where the pattern has 9.
  constexpr std::string_view kPattern = "9999-99-99 99:99:99";
  bool ok = time.size() == kPattern.size();
  for (std::size_t i = 0; ok && i < time.size(); ++i) {
    const bool digit = time[i] >= '0' && time[i] <= '9';
    ok = kPattern[i] == '9' ? digit : time[i] == kPattern[i];
  }
  if (ok) return std::nullopt;
  return "the time \"" + time + "\": it is not \"YYYY-MM-DD HH:MM:SS\"";
}

std::optional<std::string> MacFault(const std::string& mac) {
  if (IsUpperHex(mac, 12)) return std::nullopt;
  return "the MAC address \"" + mac + "\": it is not 12 hex digits (0-9, A-F)";
}

std::optional<std::string> DraftFault(const UnitDraft& draft) {
  if (auto fault = MacFault(draft.mac)) return fault;
  if (!IsUpperHex(draft.serial, 14)) {
    return "the serial number \"" + draft.serial +
           "\": it is not 14 hex digits (0-9, A-F)";
  }
  if (draft.device_sel < 0 || draft.device_sel > 3) {
    return "the device selection " + std::to_string(draft.device_sel) +
           ": it is not one of 0 to 3";
  }
  if (!draft.pool.empty()) {
    if (auto fault = PoolNameFault(draft.pool)) return fault;
  }
  return TimeFault(draft.time);
}

std::optional<std::string> PoolNameFault(const std::string& name) {
  const bool ok =
      !name.empty() && name.size() <= 32 &&
      std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
               (c >= 'a' && c <= 'z') || c == '.' || c == '-' || c == '_';
      });
  if (ok) return std::nullopt;
  return "the pool name \"" + name +
         "\": it is not 1 to 32 letters, digits, '.', '-' or '_'";
}

std::optional<std::string> PoolFault(const PoolState& pool) {
  if (auto fault = PoolNameFault(pool.name)) return fault;
  if (auto fault = MacFault(pool.first)) return fault;
  if (auto fault = MacFault(pool.last)) return fault;
  if (MacValue(pool.first) > MacValue(pool.last)) {
    return "the pool " + pool.name + ": its first MAC address " + pool.first +
           " lies past its last " + pool.last;
  }
  if (pool.increment < 1 || pool.increment > 65535) {
    return "the pool " + pool.name + ": its increment " +
           std::to_string(pool.increment) + " is not one of 1 to 65535";
  }
  return std::nullopt;
}

bool MayReissue(const UnitDraft& draft, const UnitRecord& holder,
                bool line_wide) {
  if (!draft.reissue || holder.state == UnitState::kReserved) return false;
  return !line_wide || holder.station == draft.station;
}

bool PoolUsedUp(const PoolState& pool) {
  return pool.next.size() > pool.last.size() ||
         MacValue(pool.next) > MacValue(pool.last);
}

}  // namespace srom::ledger_rules
