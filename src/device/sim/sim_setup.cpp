#include "device/sim/sim_setup.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>

#include "device/driver_contract.h"
#include "ports/safe_replace.h"

namespace srom {
namespace {

constexpr std::string_view kSetupFirstLine =
    "srom-cli simulated adapter setup 1";

constexpr std::array<std::uint32_t, 7> kRequestCodes = {
    IOCTL_WRITE_EEPROM,   IOCTL_READ_EFUSE,    IOCTL_WRITE_EFUSE,
    IOCTL_WRITE_REGISTER, IOCTL_READ_REGISTER, IOCTL_RELOAD_EEPROM,
    IOCTL_QUERY_DRIVER};

struct FaultKind {
  std::string_view name;
  std::string_view arguments;
  std::string_view meaning;
};

constexpr std::array<FaultKind, 7> kFaultKinds = {{
    {"stuck-cell", "OFFSET", "an EEPROM cell keeps its content on writes"},
    {"fail-request", "N", "request N of every run fails"},
    {"fail-code", "IOCTL_NAME", "every request of that code fails"},
    {"busy-stuck", "", "the EEPROM read's busy bit never clears"},
    {"unplug-after", "N", "the adapter is pulled after N requests of a run"},
    {"weak-efuse", "OFFSET MASK WRITES",
     "fuse bits of MASK at OFFSET need WRITES writes each run"},
    {"no-driver", "", "the driver answers no request"},
}};

// A decimal or 0x-prefixed hexadecimal number within [low, high].
std::optional<long> ParseNumber(const std::string& text, long low, long high) {
  std::string_view digits = text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' &&
      (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  long value = 0;
  const auto [end, error] = std::from_chars(
      digits.data(), digits.data() + digits.size(), value, base);
  if (error != std::errc() || end != digits.data() + digits.size() ||
      digits.empty() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint32_t> RequestCodeNamed(const std::string& name) {
  for (const std::uint32_t code : kRequestCodes) {
    if (IoctlName(code) == name) return code;
  }
  return std::nullopt;
}

const FaultKind* FindKind(const std::string& name) {
  for (const FaultKind& kind : kFaultKinds) {
    if (kind.name == name) return &kind;
  }
  return nullptr;
}

std::size_t ArgumentCount(const FaultKind& kind) {
  if (kind.arguments.empty()) return 0;
  std::size_t count = 1;
  for (const char c : kind.arguments) count += c == ' ';
  return count;
}

// Arms one fault that CheckSimFault has accepted.
void ArmFault(const std::vector<std::string>& w, SimulatedAdapter& adapter) {
  const std::string& kind = w[0];
  const auto number = [&w](std::size_t i, long low, long high) {
    return *ParseNumber(w[i], low, high);
  };
  if (kind == "stuck-cell") {
    adapter.set_eeprom_cell_stuck(static_cast<std::size_t>(number(1, 0, 511)));
  } else if (kind == "fail-request") {
    adapter.FailRequest(static_cast<int>(number(1, 1, 1000000)));
  } else if (kind == "fail-code") {
    adapter.FailEveryRequest(*RequestCodeNamed(w[1]));
  } else if (kind == "busy-stuck") {
    adapter.set_busy_stuck(true);
  } else if (kind == "unplug-after") {
    adapter.UnplugAfterRequests(static_cast<int>(number(1, 1, 1000000)));
  } else if (kind == "weak-efuse") {
    adapter.set_weak_efuse_bits(static_cast<std::size_t>(number(1, 0, 63)),
                                static_cast<std::uint8_t>(number(2, 1, 255)),
                                static_cast<int>(number(3, 1, 100)));
  } else if (kind == "no-driver") {
    adapter.set_driver_present(false);
  }
}

}  // namespace

std::string JoinWords(const std::vector<std::string>& words) {
  std::string joined;
  for (const std::string& word : words) {
    if (!joined.empty()) joined += ' ';
    joined += word;
  }
  return joined;
}

std::string SimFaultHelp() {
  std::string help;
  for (const FaultKind& kind : kFaultKinds) {
    std::string line = "  ";
    line += kind.name;
    if (!kind.arguments.empty()) {
      line += ' ';
      line += kind.arguments;
    }
    line.resize(34, ' ');
    help += line;
    help += kind.meaning;
    help += '\n';
  }
  help += "  clear                           no fault any more\n";
  help += "IOCTL_NAME is one of:";
  for (const std::uint32_t code : kRequestCodes) {
    help += ' ';
    help += IoctlName(code);
  }
  help += '\n';
  return help;
}

std::optional<std::string> CheckSimFault(const std::vector<std::string>& w) {
  const FaultKind* kind = w.empty() ? nullptr : FindKind(w[0]);
  if (kind == nullptr) {
    return "Unknown fault \"" + (w.empty() ? std::string() : w[0]) +
           "\"; see srom-cli sim fault --help.";
  }
  const std::string usage = "Usage: fault " + std::string(kind->name) +
                            (kind->arguments.empty() ? "" : " ") +
                            std::string(kind->arguments);
  if (w.size() != ArgumentCount(*kind) + 1) return usage;
  bool ok = true;
  if (w[0] == "stuck-cell") {
    ok = ParseNumber(w[1], 0, 511).has_value();
  } else if (w[0] == "fail-request" || w[0] == "unplug-after") {
    ok = ParseNumber(w[1], 1, 1000000).has_value();
  } else if (w[0] == "fail-code") {
    ok = RequestCodeNamed(w[1]).has_value();
  } else if (w[0] == "weak-efuse") {
    ok = ParseNumber(w[1], 0, 63) && ParseNumber(w[2], 1, 255) &&
         ParseNumber(w[3], 1, 100);
  }
  if (!ok) return usage;
  return std::nullopt;
}

std::optional<std::string> ArmSimFault(const std::vector<std::string>& words,
                                       SimulatedAdapter& adapter) {
  if (words.size() == 1 && words[0] == "clear") {
    adapter.ClearFaults();
    adapter.set_driver_present(true);
    return std::nullopt;
  }
  if (auto refusal = CheckSimFault(words)) return refusal;
  ArmFault(words, adapter);
  return std::nullopt;
}

void ApplySimSetup(const SimSetup& setup, SimulatedAdapter& adapter) {
  adapter.set_plugged(setup.plugged);
  for (const auto& fault : setup.faults) {
    if (!CheckSimFault(fault)) ArmFault(fault, adapter);
  }
}

std::optional<SimSetup> LoadSimSetup(const std::filesystem::path& file) {
  SimSetup setup;
  if (FileKindOf(file) == FileKind::kMissing) return setup;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  const auto trim = [](std::string& text) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
  };
  trim(line);
  if (line != kSetupFirstLine) return std::nullopt;
  while (std::getline(in, line)) {
    trim(line);
    std::istringstream words_in(line);
    std::vector<std::string> words;
    for (std::string word; words_in >> word;) words.push_back(word);
    if (words.empty()) continue;
    if (words.size() == 2 && words[0] == "plugged" &&
        (words[1] == "0" || words[1] == "1")) {
      setup.plugged = words[1] == "1";
      continue;
    }
    if (words[0] != "fault") return std::nullopt;
    words.erase(words.begin());
    if (CheckSimFault(words)) return std::nullopt;
    setup.faults.push_back(std::move(words));
  }
  if (in.bad()) return std::nullopt;
  return setup;
}

bool SaveSimSetup(const std::filesystem::path& file, const SimSetup& setup) {
  std::string text(kSetupFirstLine);
  text += "\n";
  text += setup.plugged ? "plugged 1\n" : "plugged 0\n";
  for (const auto& fault : setup.faults)
    text += "fault " + JoinWords(fault) + "\n";
  return ReplaceFileSafely(file, text);
}

std::unique_ptr<SimulatedAdapter> OpenStationSimAdapter(
    const std::filesystem::path& folder, std::string& error) {
  auto adapter = std::make_unique<SimulatedAdapter>(kSimDefaultEepromSize);
  adapter->set_logging(false);
  const std::filesystem::path state = folder / kSimStateFile;
  if (!adapter->UseStateFile(state)) {
    error = "The simulated adapter's file \"" + state.string() +
            "\" cannot be read.";
    return nullptr;
  }
  const std::filesystem::path setup_file = folder / kSimSetupFile;
  const auto setup = LoadSimSetup(setup_file);
  if (!setup) {
    error = "The simulated adapter's file \"" + setup_file.string() +
            "\" cannot be read.";
    return nullptr;
  }
  ApplySimSetup(*setup, *adapter);
  return adapter;
}

}  // namespace srom
