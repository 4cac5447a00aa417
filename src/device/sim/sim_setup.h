// The station's simulated adapters between runs: each adapter's memories in
// its own state file, and beside it what the memories cannot say: plugged in
// or not, and the faults it has been told to show. A bench file lists the
// adapters of a station that has more than one, each with its network
// connection and what the system calls it.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/sim/sim_faults.h"
#include "device/sim/simulated_adapter.h"
#include "device/sim/simulated_bench.h"
#include "ports/station_files.h"
#include "ports/station_lock.h"

namespace srom {

// Adapter 1's files: the names a station with one adapter has always had.
inline constexpr char kSimStateFile[] = "simulated-adapter.txt";
inline constexpr char kSimSetupFile[] = "simulated-adapter-setup.txt";
// The bench's adapters; without it the bench is adapter 1 alone, called
// kSimDefaultDescription on the connection kSimDefaultConnection.
inline constexpr char kSimBenchFile[] = "simulated-bench.txt";
// Held by whatever changes the bench's files (the sim commands, the simulator
// panel, a running adapter saving its memories) while it changes them, so
// that none of them loses another's change. It is not the station's lock:
// the cable of an adapter can be pulled while a program works on the station.
inline constexpr char kSimLockFile[] = "simulated-bench.lock";
// The names are the station's file list's own (ports/station_files.h).
static_assert(std::string_view(kSimStateFile) == station_file::kSimState);
static_assert(std::string_view(kSimSetupFile) == station_file::kSimSetup);
static_assert(std::string_view(kSimBenchFile) == station_file::kSimBench);
static_assert(std::string_view(kSimLockFile) == station_file::kSimLock);
static_assert(SimulatedBench::kMaxAdapters == station_file::kSimAdapters);
inline constexpr char kSimDefaultDescription[] =
    "VELK KM62058 USB 3.0 to Gigabit Ethernet Adapter";
inline constexpr char kSimDefaultConnection[] = "Ethernet";

// SimStateFileName(number) and SimSetupFileName(number) name adapter
// `number`'s files (ports/station_files.h).
// True for the name of any file of a simulated bench, its lock included.
bool IsSimFileName(const std::string& name);

// The bench's lock of the station in `folder`. Its holders keep it for a
// moment only, so this waits for it up to five seconds. Nothing when it
// cannot be had, with an operator message in `refusal` and `held_elsewhere`
// telling a lock still held from a folder that cannot be used.
std::optional<StationLock> LockSimBench(const std::filesystem::path& folder,
                                        std::string* refusal = nullptr,
                                        bool* held_elsewhere = nullptr);

// A new simulated adapter's EEPROM, as the window's training adapter has.
inline constexpr int kSimDefaultEepromSize = 512;

struct SimSetup {
  bool plugged = true;
  // Each fault as its words: a kind and its numbers or request name.
  std::vector<std::vector<std::string>> faults;

  bool operator==(const SimSetup&) const = default;
};

// Plugs the adapter in or out and arms exactly the setup's faults: those
// armed before are taken away first and the driver given back. Request
// numbers count from this call: on a new adapter, before its first request,
// from the run's start.
void ApplySimSetup(const SimSetup& setup, SimulatedAdapter& adapter);

// The setup of `file`; the default (plugged, no fault) when there is no file.
// Nothing when the file is there but cannot be read or is not a setup; `why`
// (when given) then says which, in words that follow "...: ".
std::optional<SimSetup> LoadSimSetup(const std::filesystem::path& file,
                                     std::string* why = nullptr);
// False, with ReplaceFileSafely's reason in `error` (when given), when the
// file cannot be written.
bool SaveSimSetup(const std::filesystem::path& file, const SimSetup& setup,
                  std::string* error = nullptr);

// One adapter of the bench file.
struct SimBenchEntry {
  std::string connection_name;
  std::string description;

  bool operator==(const SimBenchEntry&) const = default;
};

// Why `entry` cannot join `bench` as its next adapter (a full bench, a
// connection name already taken, an empty text or one holding a tab or a
// line break); nothing when it can.
std::optional<std::string> CheckSimBenchEntry(
    const std::vector<SimBenchEntry>& bench, const SimBenchEntry& entry);

// The adapters the bench file `file` lists: a first line naming the format,
// then one line per adapter, its connection name and its description with a
// tab between. Adapter 1 alone, with the default description and connection,
// when there is no file. Nothing when the file is there but cannot be read or
// is not a bench; `why` (when given) then says which.
std::optional<std::vector<SimBenchEntry>> LoadSimBench(
    const std::filesystem::path& file, std::string* why = nullptr);
bool SaveSimBench(const std::filesystem::path& file,
                  const std::vector<SimBenchEntry>& bench,
                  std::string* error = nullptr);

// The simulated adapter of the station in `folder`, as every front end opens
// it: its memories kept in the folder's state file under the bench's lock,
// plugged in or out and with its faults armed as the setup file says.
// Nothing, with `error` saying which file, when one of them cannot be read.
std::unique_ptr<SimulatedAdapter> OpenStationSimAdapter(
    const std::filesystem::path& folder, std::string& error);

// The simulated bench of the station in `folder`: the adapters its bench file
// lists (adapter 1 alone without one), each opened as OpenStationSimAdapter
// opens adapter 1, every connection enabled. While the bench is in use, each
// open of the control device (and SimulatedBench::CatchUp) first looks at
// the adapters' files again: an adapter whose setup file another program
// changed (`srom-cli sim plug`, `sim fault`, the simulator panel) is plugged
// in or out as it now says and its faults are armed again from it, their
// request numbers counted from then; an adapter whose state file another
// program replaced (`sim create --force`, the panel's new size or blank
// memory) takes its memories from it. A file that cannot be read just then
// is read again at the next open. The bench file itself is read once: an
// adapter added meanwhile joins at the next start. Nothing, with `error`
// saying which file, when one cannot be read.
std::unique_ptr<SimulatedBench> OpenStationSimBench(
    const std::filesystem::path& folder, std::string& error);

// A fault's words joined by spaces, as `sim show` and the setup file write it.
std::string JoinWords(const std::vector<std::string>& words);

}  // namespace srom
