// The files a station folder holds, by name, and how large each may grow
// before the tool refuses to read it. Every layer that reads or writes a
// station's files takes their names from here, so that the output guards
// and everything that looks over a station's files know the same list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace srom {

namespace station_file {

inline constexpr std::string_view kSettings = "EEPROM.dat";
inline constexpr std::string_view kSrom = "SROM.dat";
inline constexpr std::string_view kEfuse = "EFUSE.dat";
inline constexpr std::string_view kSromBin = "SROM.bin";
inline constexpr std::string_view kSerialMacLog = "Serial-MAC.log";
inline constexpr std::string_view kRetryLog = "RetryLog.txt";
inline constexpr std::string_view kLedger = "production-ledger.sqlite";
inline constexpr std::string_view kStationConfig = "station.ini";
inline constexpr std::string_view kStationLock = "station.lock";
inline constexpr std::string_view kLedgerOutbox = "ledger-outbox.txt";
// The simulated bench: adapter 1's files keep the names a station with one
// adapter has always had; adapters 2 to 6 are numbered.
inline constexpr std::string_view kSimState = "simulated-adapter.txt";
inline constexpr std::string_view kSimSetup = "simulated-adapter-setup.txt";
inline constexpr std::string_view kSimBench = "simulated-bench.txt";
inline constexpr std::string_view kSimLock = "simulated-bench.lock";
inline constexpr int kSimAdapters = 6;
// What SQLite keeps beside the ledger while it is open, or after a crash.
inline constexpr std::string_view kLedgerCompanions[] = {"-wal", "-shm",
                                                         "-journal"};

}  // namespace station_file

// How large a station file may be before it is refused unread: a pipe or a
// giant file under a station file's name must never hang a command or fill
// the memory. A file past its cap is left exactly as it is, and the message
// names it, its size and the cap.
//
// EEPROM.dat: the settings file's reading buffer; the tool writes about
// 1.3 KB, and no longer file has ever been a settings file.
inline constexpr std::uintmax_t kSettingsFileCap = 10000;
// SROM.dat, EFUSE.dat and every image file a command reads: 512 bytes as
// hex text take 1598 characters; 64 KiB leaves room for any notes after.
inline constexpr std::uintmax_t kImageFileCap = 64 * 1024;
// station.ini: a handful of lines, a ledger address the longest of them.
inline constexpr std::uintmax_t kStationConfigCap = 64 * 1024;
// The simulator's state, setup and bench files: a state file is 2.4 KB, a
// setup a few fault lines, a bench six lines.
inline constexpr std::uintmax_t kSimFileCap = 64 * 1024;
// Serial-MAC.log, read by the ledger's check, the start-up catch-up and the
// ledger's rebuild: 256 MiB hold over four million unit lines (years of a
// line) and are read in seconds.
inline constexpr std::uintmax_t kLogReadCap = 256 * 1024 * 1024;
// ledger-outbox.txt: one 40-byte line per close kept while the line's
// server is away; 16 MiB hold 400,000 of them.
inline constexpr std::uintmax_t kOutboxFileCap = 16 * 1024 * 1024;

// The state and setup file names of simulated adapter `number` (1..6):
// adapter 1's as above, "simulated-adapter-<n>.txt" and
// "simulated-adapter-<n>-setup.txt" for the others.
std::string SimStateFileName(int number);
std::string SimSetupFileName(int number);

// Every file a station folder may hold, by name: the settings, images and
// logs, the ledger and its companions, station.ini, the locks, the outbox
// and every file of a full simulated bench.
const std::vector<std::string>& StationFileNames();

// True when `name` (a bare file name) is one of StationFileNames(), letter
// case ignored as Windows ignores it: "eeprom.dat" is EEPROM.dat there.
bool IsStationFileName(std::string_view name);

}  // namespace srom
