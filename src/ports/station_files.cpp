#include "ports/station_files.h"

namespace srom {
namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::vector<std::string> AllNames() {
  namespace f = station_file;
  std::vector<std::string> names;
  for (const std::string_view name :
       {f::kSettings, f::kSrom, f::kEfuse, f::kSromBin, f::kSerialMacLog,
        f::kRetryLog, f::kLedger, f::kStationConfig, f::kStationLock,
        f::kLedgerOutbox, f::kSimBench, f::kSimLock}) {
    names.emplace_back(name);
  }
  for (const std::string_view companion : f::kLedgerCompanions) {
    names.push_back(std::string(f::kLedger) + std::string(companion));
  }
  for (int number = 1; number <= f::kSimAdapters; ++number) {
    names.push_back(SimStateFileName(number));
    names.push_back(SimSetupFileName(number));
  }
  return names;
}

}  // namespace

std::string SimStateFileName(int number) {
  if (number <= 1) return std::string(station_file::kSimState);
  return "simulated-adapter-" + std::to_string(number) + ".txt";
}

std::string SimSetupFileName(int number) {
  if (number <= 1) return std::string(station_file::kSimSetup);
  return "simulated-adapter-" + std::to_string(number) + "-setup.txt";
}

const std::vector<std::string>& StationFileNames() {
  static const std::vector<std::string> names = AllNames();
  return names;
}

bool IsStationFileName(std::string_view name) {
  for (const std::string& own : StationFileNames()) {
    if (SameIgnoringCase(name, own)) return true;
  }
  return false;
}

}  // namespace srom
