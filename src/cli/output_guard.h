// The files srom-cli writes where the operator names them (`image --out`,
// `image --bin`, `ledger --csv`) must never be one of a station's own: an
// export written over EEPROM.dat, Serial-MAC.log or the ledger would lose a
// production run's counter or its history.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace srom::cli {

// The refusal of `file` as an output that takes `what` ("the image", "the
// units"), or nothing when it may be written. A file named as a station's
// own (IsStationFileName: letter case ignored, as Windows ignores it) is
// refused wherever it points, whether it exists or not: the folder may be
// this station's, another station's, or the working folder the window loads
// EEPROM.dat from first.
std::optional<std::string> StationFileOutputRefusal(const std::string& file,
                                                    std::string_view what);

}  // namespace srom::cli
