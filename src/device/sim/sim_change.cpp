#include "device/sim/sim_change.h"

#include <algorithm>
#include <utility>

#include "ports/file_kind.h"
#include "ports/safe_replace.h"

namespace srom {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kNoDriver = {"no-driver"};

SimFilesResult Failed(SimFilesStatus status, std::string message) {
  SimFilesResult result;
  result.status = status;
  result.message = std::move(message);
  return result;
}

// `file` could not be read, for the reason `why` (ReadSimText's words).
SimFilesResult CannotRead(const fs::path& file, const std::string& why) {
  return Failed(SimFilesStatus::kFileFailed,
                "The simulated adapter's file \"" + file.string() +
                    "\" cannot be read" + (why.empty() ? "" : ": " + why) +
                    ".");
}

// `error` is ReplaceFileSafely's, which names the file and the cause.
SimFilesResult CannotWrite(const fs::path& folder, const std::string& error) {
  return Failed(SimFilesStatus::kFileFailed,
                "The simulated adapter's files cannot be written in \"" +
                    folder.string() + "\"" +
                    (error.empty() ? "." : ". " + error + "."));
}

std::optional<std::string> CheckEepromSize(int size) {
  if (size == 256 || size == 512) return std::nullopt;
  return "An EEPROM has 256 or 512 bytes, not " + std::to_string(size) + ".";
}

// The memories of the state file `file`: blank at the default size when there
// is none, nothing when it cannot be read or is not a state (`why` says
// which).
std::optional<SimMemories> LoadMemories(const fs::path& file,
                                        std::string* why) {
  if (EntryKindOf(file) == FileKind::kMissing) {
    return BlankSimMemories(kSimDefaultEepromSize);
  }
  const auto text = ReadSimText(file, why);
  if (!text) return std::nullopt;
  auto memories = ParseSimState(*text);
  if (!memories) *why = "it does not hold a simulated adapter's state";
  return memories;
}

// The setup and memories of adapter `number` as its files hold them, or the
// refusal naming the file that cannot be read.
std::optional<SimFilesResult> LoadAdapterFiles(const fs::path& folder,
                                               int number,
                                               SimAdapterFiles& adapter) {
  std::string why;
  const fs::path setup_file = folder / SimSetupFileName(number);
  auto setup = LoadSimSetup(setup_file, &why);
  if (!setup) return CannotRead(setup_file, why);
  const fs::path state_file = folder / SimStateFileName(number);
  auto memories = LoadMemories(state_file, &why);
  if (!memories) return CannotRead(state_file, why);
  adapter.setup = std::move(*setup);
  adapter.memories = std::move(*memories);
  return std::nullopt;
}

// The bench of `folder` and the entry of its adapter `number`, or why not.
struct BenchPlace {
  std::vector<SimBenchEntry> bench;
  std::optional<SimFilesResult> refusal;
};

BenchPlace FindOnBench(const fs::path& folder, int number) {
  BenchPlace place;
  const fs::path bench_file = folder / kSimBenchFile;
  std::string why;
  auto bench = LoadSimBench(bench_file, &why);
  if (!bench) {
    place.refusal =
        Failed(SimFilesStatus::kFileFailed,
               "The simulated bench's file \"" + bench_file.string() +
                   "\" cannot be read: " + why + ".");
    return place;
  }
  if (number < 1 || number > static_cast<int>(bench->size())) {
    place.refusal = Failed(
        SimFilesStatus::kRefused,
        "The bench has no adapter " + std::to_string(number) + " (it has " +
            std::to_string(bench->size()) + "); srom-cli sim add adds one.");
    return place;
  }
  place.bench = std::move(*bench);
  return place;
}

// Takes the bench's lock of `folder`, or says why it could not.
std::optional<StationLock> LockOrSay(const fs::path& folder,
                                     std::optional<SimFilesResult>& refusal) {
  std::string message;
  bool held_elsewhere = false;
  auto lock = LockSimBench(folder, &message, &held_elsewhere);
  if (!lock) {
    refusal = Failed(
        held_elsewhere ? SimFilesStatus::kBusy : SimFilesStatus::kFileFailed,
        std::move(message));
  }
  return lock;
}

// Makes `change` on an adapter's setup and memories as its files hold them.
// Its refusal when the change cannot be made.
std::optional<std::string> ChangeFiles(const SimChange& change, SimSetup& setup,
                                       SimMemories& memories) {
  switch (change.kind) {
    case SimChangeKind::kCreate:
      if (auto refusal = CheckEepromSize(change.eeprom_size)) return refusal;
      setup = SimSetup{};
      memories = BlankSimMemories(change.eeprom_size);
      return std::nullopt;
    case SimChangeKind::kPlug:
    case SimChangeKind::kUnplug:
      setup.plugged = change.kind == SimChangeKind::kPlug;
      return std::nullopt;
    case SimChangeKind::kFault:
      if (change.fault.size() == 1 && change.fault[0] == "clear") {
        setup.faults.clear();
        return std::nullopt;
      }
      if (auto refusal = CheckSimFault(change.fault)) return refusal;
      setup.faults.push_back(change.fault);
      return std::nullopt;
    case SimChangeKind::kDriverAway:
      if (std::ranges::find(setup.faults, kNoDriver) == setup.faults.end()) {
        setup.faults.push_back(kNoDriver);
      }
      return std::nullopt;
    case SimChangeKind::kDriverBack:
      std::erase(setup.faults, kNoDriver);
      return std::nullopt;
    case SimChangeKind::kEepromSize:
      if (auto refusal = CheckEepromSize(change.eeprom_size)) return refusal;
      memories.eeprom.assign(static_cast<std::size_t>(change.eeprom_size),
                             0xFF);
      return std::nullopt;
    case SimChangeKind::kBlankEeprom:
      std::ranges::fill(memories.eeprom, 0xFF);
      return std::nullopt;
    case SimChangeKind::kBlankEfuse:
      memories.efuse.fill(0xFF);
      return std::nullopt;
  }
  return std::nullopt;
}

bool ChangesSetup(SimChangeKind kind) {
  return kind != SimChangeKind::kEepromSize &&
         kind != SimChangeKind::kBlankEeprom &&
         kind != SimChangeKind::kBlankEfuse;
}

bool ChangesMemories(SimChangeKind kind) {
  return kind == SimChangeKind::kCreate || !ChangesSetup(kind);
}

}  // namespace

SimFilesResult ReadStationSimAdapter(const fs::path& folder, int number) {
  BenchPlace place = FindOnBench(folder, number);
  if (place.refusal) return std::move(*place.refusal);
  SimFilesResult result;
  result.adapter.number = number;
  result.adapter.entry = place.bench[static_cast<std::size_t>(number - 1)];
  if (auto refusal = LoadAdapterFiles(folder, number, result.adapter)) {
    return std::move(*refusal);
  }
  return result;
}

SimFilesResult ChangeStationSimAdapter(const fs::path& folder, int number,
                                       const SimChange& change) {
  std::optional<SimFilesResult> refusal;
  const auto lock = LockOrSay(folder, refusal);
  if (!lock) return std::move(*refusal);
  BenchPlace place = FindOnBench(folder, number);
  if (place.refusal) return std::move(*place.refusal);

  const fs::path state_file = folder / SimStateFileName(number);
  const fs::path setup_file = folder / SimSetupFileName(number);
  SimAdapterFiles adapter;
  adapter.number = number;
  adapter.entry = place.bench[static_cast<std::size_t>(number - 1)];
  if (change.kind == SimChangeKind::kCreate) {
    if (EntryKindOf(state_file) != FileKind::kMissing && !change.replace) {
      return Failed(SimFilesStatus::kRefused,
                    "The folder already has a simulated adapter " +
                        std::to_string(number) +
                        "; give --force to replace it with a blank one.");
    }
  } else if (auto refusal = LoadAdapterFiles(folder, number, adapter)) {
    return std::move(*refusal);
  }
  if (auto why = ChangeFiles(change, adapter.setup, adapter.memories)) {
    return Failed(SimFilesStatus::kRefused, std::move(*why));
  }
  // A new adapter's state file first, then its setup, as `sim add` does.
  std::string error;
  if (ChangesMemories(change.kind) &&
      !ReplaceFileSafely(state_file, FormatSimState(adapter.memories),
                         &error)) {
    return CannotWrite(folder, error);
  }
  if (ChangesSetup(change.kind) &&
      !SaveSimSetup(setup_file, adapter.setup, &error)) {
    return CannotWrite(folder, error);
  }
  SimFilesResult result;
  result.adapter = std::move(adapter);
  return result;
}

SimFilesResult AddStationSimAdapter(const fs::path& folder,
                                    const SimBenchEntry& entry,
                                    int eeprom_size) {
  std::optional<SimFilesResult> refusal;
  const auto lock = LockOrSay(folder, refusal);
  if (!lock) return std::move(*refusal);
  const fs::path bench_file = folder / kSimBenchFile;
  std::string why;
  auto bench = LoadSimBench(bench_file, &why);
  if (!bench) {
    return Failed(SimFilesStatus::kFileFailed,
                  "The simulated bench's file \"" + bench_file.string() +
                      "\" cannot be read: " + why + ".");
  }
  if (auto why = CheckSimBenchEntry(*bench, entry)) {
    return Failed(SimFilesStatus::kRefused, std::move(*why));
  }
  if (auto why = CheckEepromSize(eeprom_size)) {
    return Failed(SimFilesStatus::kRefused, std::move(*why));
  }
  SimFilesResult result;
  result.adapter.number = static_cast<int>(bench->size()) + 1;
  result.adapter.entry = entry;
  result.adapter.memories = BlankSimMemories(eeprom_size);
  bench->push_back(entry);
  std::string error;
  if (!ReplaceFileSafely(folder / SimStateFileName(result.adapter.number),
                         FormatSimState(result.adapter.memories), &error) ||
      !SaveSimSetup(folder / SimSetupFileName(result.adapter.number), {},
                    &error) ||
      !SaveSimBench(bench_file, *bench, &error)) {
    return CannotWrite(folder, error);
  }
  return result;
}

std::optional<std::string> ApplySimChange(const SimChange& change,
                                          SimulatedAdapter& adapter) {
  switch (change.kind) {
    case SimChangeKind::kCreate: {
      if (auto refusal = CheckEepromSize(change.eeprom_size)) return refusal;
      adapter.set_eeprom_size(change.eeprom_size);
      adapter.set_efuse(BlankSimMemories(change.eeprom_size).efuse);
      ApplySimSetup({}, adapter);
      return std::nullopt;
    }
    case SimChangeKind::kPlug:
    case SimChangeKind::kUnplug:
      adapter.set_plugged(change.kind == SimChangeKind::kPlug);
      return std::nullopt;
    case SimChangeKind::kFault:
      return ArmSimFault(change.fault, adapter);
    case SimChangeKind::kDriverAway:
    case SimChangeKind::kDriverBack:
      adapter.set_driver_present(change.kind == SimChangeKind::kDriverBack);
      return std::nullopt;
    case SimChangeKind::kEepromSize:
      if (auto refusal = CheckEepromSize(change.eeprom_size)) return refusal;
      adapter.set_eeprom_size(change.eeprom_size);
      return std::nullopt;
    case SimChangeKind::kBlankEeprom:
      adapter.set_eeprom(
          std::vector<std::uint8_t>(adapter.eeprom().size(), 0xFF));
      return std::nullopt;
    case SimChangeKind::kBlankEfuse:
      adapter.set_efuse(BlankSimMemories(kSimDefaultEepromSize).efuse);
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace srom
