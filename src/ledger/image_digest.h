// The digest the ledger records of the image written to a unit.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace srom {

// SHA-256 (FIPS 180-4) of `bytes` as 64 lower-case hex digits: the same
// digest `sha256sum` prints for the image's raw bytes, so a record can be
// matched against an SROM.bin by hand.
std::string ImageDigest(std::span<const std::uint8_t> bytes);

}  // namespace srom
