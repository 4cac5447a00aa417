// The rules every production ledger holds its calls to, whichever store is
// behind it: what a well-formed MAC address, serial number, time and pool
// look like. Each returns what is wrong, worded to follow "refuses ", or
// nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ledger/ledger.h"

namespace srom::ledger_rules {

// 12 or 14 digits of 0-9 and A-F.
bool IsUpperHex(std::string_view text, std::size_t digits);

std::optional<std::string> TimeFault(const std::string& time);
std::optional<std::string> MacFault(const std::string& mac);
std::optional<std::string> DraftFault(const UnitDraft& draft);

// A pool's name: 1 to 32 letters, digits, '.', '-' or '_'.
std::optional<std::string> PoolNameFault(const std::string& name);
// A new pool: its name, first <= last, both 12 hex digits, an increment
// from 1 to 65535.
std::optional<std::string> PoolFault(const PoolState& pool);

// A MAC address as a number, and back as 12 upper-case hex digits (more
// when past FFFFFFFFFFFF, as a used-up pool's next value can be).
std::uint64_t MacValue(const std::string& mac);
std::string MacText(std::uint64_t value);

}  // namespace srom::ledger_rules
