// The schema of a station's ledger file, created and moved forward by the
// tool itself: PRAGMA user_version counts the steps a file has been given.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace srom::sqlite {

// PRAGMA application_id of every ledger file: "SROM" in ASCII. A database
// without it is another program's and is never touched.
inline constexpr std::int32_t kLedgerApplicationId = 0x53524F4D;

// The schema steps in order. A file at user_version N has had the first N;
// a later version of the tool appends steps here and never edits one that
// has shipped.
std::span<const std::string_view> SchemaSteps();

}  // namespace srom::sqlite
