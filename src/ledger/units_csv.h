// The ledger's rows as a CSV file for a spreadsheet or a customer's records.
#pragma once

#include <string>
#include <vector>

#include "ledger/ledger.h"

namespace srom {

// A header line, then one line per record in the order given. Fields holding
// a comma, a double quote, CR or LF are quoted and their quotes doubled
// (RFC 4180); every line ends in CR LF.
std::string UnitsCsv(const std::vector<UnitRecord>& records);

}  // namespace srom
