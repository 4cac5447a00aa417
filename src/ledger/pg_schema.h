// The schema of the line's ledger database, created and moved forward by the
// tool itself: the table srom_schema holds how many steps a database has had.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace srom::pg {

// The key of the advisory lock that stations starting together take while
// one of them creates or moves the schema on: "SROM" in ASCII.
inline constexpr std::int64_t kSchemaLockKey = 0x53524F4D;

// The schema steps in order. A database at version N has had the first N; a
// later version of the tool appends steps here and never edits one that has
// shipped.
std::span<const std::string_view> SchemaSteps();

}  // namespace srom::pg
