// The production logs in ProgramFolder: Serial-MAC.log, one line per verified
// unit, and RetryLog.txt, the read-backs of failed eFuse comparisons. Both only
// ever grow; the tool never reads them.
#pragma once

#include <string>

#include "files/file_io.h"
#include "model/image_buffer.h"
#include "model/settings.h"
#include "ports/clock.h"
#include "ports/reporter.h"

namespace srom {

// The two header lines a new Serial-MAC.log starts with.
std::string SerialMacLogHeader();

// The serial number a unit is logged with: the EEPROM's serial number, or
// for an eFuse unit "00" and its MAC address, or the fixed serial.
std::string LoggedSerial(const SromSettings& settings);

// The line of one verified unit, by device selection; empty for no valid
// selection. eFuse units have no serial string: their serial column is the
// fixed serial or "00" and the MAC address.
std::string SerialMacLogLine(const SromSettings& settings,
                             const LocalTime& time);

// One RetryLog.txt entry: with `index` 0 or below a new block with the time,
// else "Retry Times: <index>"; then the 64 eFuse bytes of `dump_data`.
std::string RetryLogEntry(const ImageBuffer& dump_data, int index,
                          const LocalTime& time);

// Logs the unit just programmed (call before stepping), writing the header
// first when the file is new. False after "Write 'Serial-MAC.log' file
// failed."; the caller goes on with stepping and saving all the same.
bool AppendSerialMacLog(const FileFolders& folders,
                        const SromSettings& settings, const Clock& clock,
                        Reporter& reporter);

// Appends a retry entry. False after msg::kRetryLogFailed; the retry goes on.
bool AppendRetryLog(const FileFolders& folders, const ImageBuffer& dump_data,
                    int index, const Clock& clock, Reporter& reporter);

}  // namespace srom
