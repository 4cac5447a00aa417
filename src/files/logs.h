// The production logs in ProgramFolder: Serial-MAC.log, one line per verified
// unit, and RetryLog.txt, the read-backs of failed eFuse comparisons. Both only
// ever grow. RetryLog.txt is never read; Serial-MAC.log is read, up to
// kLogReadCap, by the ledger's check and rebuild and the start-up catch-up.
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// A unit line of Serial-MAC.log as read back: the fields as they stand.
// `device_sel` is -1 when the device column names none of the four
// selections; `time` is "YYYY-MM-DD HH:MM:SS" when the line has its date
// and time (otherwise whatever the fields give).
struct LoggedUnit {
  std::size_t line = 0;  // counted from 1
  int device_sel = -1;
  std::string serial;
  std::string mac;
  std::string time;
};

// The unit lines of a log's bytes, in order: every line whose first field
// names an EEPROM or eFuse device ("058/EEPROM", "057D/EFUSE") and that has
// a serial number and a MAC address after it, tab-separated. The header and
// any other line are left out.
std::vector<LoggedUnit> LoggedUnits(std::string_view log);

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
