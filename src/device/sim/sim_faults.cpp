#include "device/sim/sim_faults.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <span>
#include <string_view>

#include "device/driver_contract.h"

namespace srom {
namespace {

constexpr std::array<std::uint32_t, 7> kRequestCodes = {
    IOCTL_WRITE_EEPROM,   IOCTL_READ_EFUSE,    IOCTL_WRITE_EFUSE,
    IOCTL_WRITE_REGISTER, IOCTL_READ_REGISTER, IOCTL_RELOAD_EEPROM,
    IOCTL_QUERY_DRIVER};

// One argument of a fault: its name in help, and a number within
// [low, high] (decimal or 0x hexadecimal) or a request's IOCTL name.
struct Argument {
  std::string_view name;
  long low = 0;
  long high = 0;
  bool request_code = false;
};

using Values = std::array<long, 3>;

struct FaultRow {
  std::string_view name;
  std::array<Argument, 3> arguments;
  int argument_count;
  std::string_view meaning;
  void (*arm)(SimulatedAdapter&, const Values&);
};

constexpr Argument kOffset{"OFFSET", 0, 511};
constexpr Argument kRequests{"N", 1, 1000000};

constexpr std::array<FaultRow, 7> kFaults = {{
    {"stuck-cell", {kOffset}, 1, "an EEPROM cell keeps its content on writes",
     [](SimulatedAdapter& a, const Values& v) {
       a.set_eeprom_cell_stuck(static_cast<std::size_t>(v[0]));
     }},
    {"fail-request", {kRequests}, 1, "request N of every run fails",
     [](SimulatedAdapter& a, const Values& v) {
       a.FailRequest(static_cast<int>(v[0]));
     }},
    {"fail-code", {Argument{"IOCTL_NAME", 0, 0, true}}, 1,
     "every request of that code fails",
     [](SimulatedAdapter& a, const Values& v) {
       a.FailEveryRequest(static_cast<std::uint32_t>(v[0]));
     }},
    {"busy-stuck", {}, 0, "the EEPROM read's busy bit never clears",
     [](SimulatedAdapter& a, const Values&) { a.set_busy_stuck(true); }},
    {"unplug-after", {kRequests}, 1,
     "the adapter is pulled after N requests of a run",
     [](SimulatedAdapter& a, const Values& v) {
       a.UnplugAfterRequests(static_cast<int>(v[0]));
     }},
    {"weak-efuse",
     {Argument{"OFFSET", 0, 63}, Argument{"MASK", 1, 255},
      Argument{"WRITES", 1, 100}},
     3, "fuse bits of MASK at OFFSET need WRITES writes each run",
     [](SimulatedAdapter& a, const Values& v) {
       a.set_weak_efuse_bits(static_cast<std::size_t>(v[0]),
                             static_cast<std::uint8_t>(v[1]),
                             static_cast<int>(v[2]));
     }},
    {"no-driver", {}, 0, "the driver answers no request",
     [](SimulatedAdapter& a, const Values&) { a.set_driver_present(false); }},
}};

std::span<const Argument> ArgumentsOf(const FaultRow& row) {
  return std::span<const Argument>(row.arguments)
      .first(static_cast<std::size_t>(row.argument_count));
}

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

std::optional<long> ParseArgument(const Argument& argument,
                                  const std::string& text) {
  if (!argument.request_code) {
    return ParseNumber(text, argument.low, argument.high);
  }
  for (const std::uint32_t code : kRequestCodes) {
    if (IoctlName(code) == text) return static_cast<long>(code);
  }
  return std::nullopt;
}

const FaultRow* FindFault(const std::string& name) {
  for (const FaultRow& row : kFaults) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

std::string UsageOf(const FaultRow& row) {
  std::string usage(row.name);
  for (const Argument& argument : ArgumentsOf(row)) {
    usage += ' ';
    usage += argument.name;
  }
  return usage;
}

// The row and the values of a fault the words name; the refusal otherwise.
std::optional<std::string> Parse(const std::vector<std::string>& words,
                                 const FaultRow*& row, Values& values) {
  row = words.empty() ? nullptr : FindFault(words[0]);
  if (row == nullptr) {
    return "Unknown fault \"" + (words.empty() ? std::string() : words[0]) +
           "\"; see srom-cli sim fault --help.";
  }
  const std::string usage = "Usage: fault " + UsageOf(*row);
  const auto arguments = ArgumentsOf(*row);
  if (words.size() != arguments.size() + 1) return usage;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const auto value = ParseArgument(arguments[i], words[i + 1]);
    if (!value) return usage;
    values[i] = *value;
  }
  return std::nullopt;
}

}  // namespace

std::string SimFaultHelp() {
  std::string help;
  for (const FaultRow& row : kFaults) {
    std::string line = "  " + UsageOf(row);
    line.resize(34, ' ');
    help += line;
    help += row.meaning;
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

std::optional<std::string> CheckSimFault(const std::vector<std::string>& words) {
  const FaultRow* row = nullptr;
  Values values{};
  return Parse(words, row, values);
}

std::optional<std::string> ArmSimFault(const std::vector<std::string>& words,
                                       SimulatedAdapter& adapter) {
  if (words.size() == 1 && words[0] == "clear") {
    adapter.ClearFaults();
    adapter.set_driver_present(true);
    return std::nullopt;
  }
  const FaultRow* row = nullptr;
  Values values{};
  if (auto refusal = Parse(words, row, values)) return refusal;
  row->arm(adapter, values);
  return std::nullopt;
}

}  // namespace srom
