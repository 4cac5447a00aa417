// The rules every production ledger holds its calls to, whichever store is
// behind it: what a well-formed MAC address, serial number, time and pool
// look like, and when a MAC address may be given again. Each fault returns
// what is wrong, worded to follow "refuses ", or nothing.
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

// Whether `draft` may take a MAC address that `holder` holds: a unit of the
// ledger that was not released, the one being written with the address when
// there is one. Only a rework the operator asked for takes it again, never
// while a unit is being written with it; and where the line's stations share
// the ledger (`line_wide`, Ledger::LineWide()), only at the station that gave
// it, since another station's adapter may hold it.
bool MayReissue(const UnitDraft& draft, const UnitRecord& holder,
                bool line_wide);

// Every MAC address of the pool was given: its next value lies past its
// last one (and past FFFFFFFFFFFF when the pool ends there: a thirteenth
// digit).
bool PoolUsedUp(const PoolState& pool);

}  // namespace srom::ledger_rules
