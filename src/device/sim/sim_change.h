// What an operator changes on a simulated adapter of a station, the one way
// srom-cli sim and the simulator panel change it: the adapter's files read,
// changed and saved under the bench's lock, so that a program running on the
// station follows at its next open of the control device and `sim show`
// prints what the panel shows. For an adapter that has no station (the
// panel's own tests) the same change is made on the adapter alone.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/sim/sim_setup.h"
#include "device/sim/simulated_adapter.h"

namespace srom {

enum class SimChangeKind {
  kCreate,      // a new blank adapter of `eeprom_size` bytes, plugged, no fault
  kPlug,        // plugged in
  kUnplug,      // pulled out
  kFault,       // `fault` armed too; "clear" takes every fault away
  kDriverAway,  // the driver answers no request (the fault no-driver)
  kDriverBack,  // the fault no-driver taken away; the others stay
  kEepromSize,  // a blank EEPROM of `eeprom_size` bytes; the eFuse stays
  kBlankEeprom,
  kBlankEfuse,
};

struct SimChange {
  explicit SimChange(SimChangeKind kind) : kind(kind) {}
  SimChange(SimChangeKind kind, std::vector<std::string> fault)
      : kind(kind), fault(std::move(fault)) {}
  SimChange(SimChangeKind kind, int eeprom_size, bool replace = false)
      : kind(kind), eeprom_size(eeprom_size), replace(replace) {}

  SimChangeKind kind;
  std::vector<std::string> fault;           // kFault: its words
  int eeprom_size = kSimDefaultEepromSize;  // kCreate, kEepromSize
  bool replace = false;  // kCreate: over an adapter that has its files
};

// Adapter `number` of a station's bench as its files hold it.
struct SimAdapterFiles {
  int number = 1;
  SimBenchEntry entry;
  SimSetup setup;
  SimMemories memories;
};

enum class SimFilesStatus {
  kDone,
  kRefused,     // not a change this adapter takes, or no such adapter
  kBusy,        // another program kept the bench's lock
  kFileFailed,  // a file cannot be read or written
};

struct SimFilesResult {
  SimFilesStatus status = SimFilesStatus::kDone;
  std::string message;      // why not, for the operator
  SimAdapterFiles adapter;  // kDone: as its files hold it now
};

// Adapter `number` (1..6) of the station in `folder`, read without the lock:
// every file of the bench is replaced whole, so each one read is whole.
SimFilesResult ReadStationSimAdapter(const std::filesystem::path& folder,
                                     int number);

// Carries out `change` on adapter `number`'s files in `folder`, holding the
// bench's lock from reading them to saving them: the setup file for the plug,
// the driver and the faults, the state file for the memories, both for a new
// adapter. Nothing is saved when it is refused or a file cannot be read.
SimFilesResult ChangeStationSimAdapter(const std::filesystem::path& folder,
                                       int number, const SimChange& change);

// Puts a blank adapter of `eeprom_size` bytes on the bench in `folder`, as
// its next adapter, under the bench's lock: its own files first, the bench
// file last, so that an adapter is on the bench once its files are. A running
// program reads the bench file when it starts only: hold the station.
SimFilesResult AddStationSimAdapter(const std::filesystem::path& folder,
                                    const SimBenchEntry& entry,
                                    int eeprom_size);

// Makes `change` on `adapter` alone, in memory: what ChangeStationSimAdapter
// and the running bench's next open make of it, for an adapter without a
// station. Its refusal, and nothing changed, when it cannot be made.
std::optional<std::string> ApplySimChange(const SimChange& change,
                                          SimulatedAdapter& adapter);

}  // namespace srom
