#include "device/sim/sim_setup.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <sstream>
#include <utility>

#include "ports/clock.h"
#include "ports/file_kind.h"
#include "ports/safe_replace.h"

namespace srom {
namespace {

constexpr std::string_view kSetupFirstLine =
    "srom-cli simulated adapter setup 1";
constexpr std::string_view kBenchFirstLine = "srom-cli simulated bench 1";

// The lines of `text` without their line ends.
std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return lines;
}

std::optional<SimSetup> ParseSimSetup(const std::string& text) {
  const std::vector<std::string> lines = LinesOf(text);
  if (lines.empty() || lines[0] != kSetupFirstLine) return std::nullopt;
  SimSetup setup;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::istringstream words_in(lines[i]);
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
  return setup;
}

// A text of the bench file: not empty, no tab and no line break.
bool IsBenchText(const std::string& text) {
  return !text.empty() && text.find_first_of("\t\r\n") == std::string::npos;
}

// The setup of `file` and its text as read ("" for no file); nothing when
// the file is there but cannot be read or is not a setup, and `why` (when
// given) says which.
std::optional<std::pair<SimSetup, std::string>> ReadSetupFile(
    const std::filesystem::path& file, std::string* why = nullptr) {
  if (EntryKindOf(file) == FileKind::kMissing) {
    return std::pair{SimSetup{}, std::string()};
  }
  auto text = ReadSimText(file, why);
  if (!text) return std::nullopt;
  auto setup = ParseSimSetup(*text);
  if (!setup) {
    if (why != nullptr) *why = "it does not hold a simulated adapter's setup";
    return std::nullopt;
  }
  return std::pair{std::move(*setup), std::move(*text)};
}

std::string CannotRead(const std::filesystem::path& file,
                       const std::string& why) {
  return "The simulated adapter's file \"" + file.string() +
         "\" cannot be read" + (why.empty() ? "" : ": " + why) + ".";
}

// Opens adapter `number`'s files on `adapter`: its memories from the state
// file, kept there from now on under the bench's lock, and its setup
// applied. The setup's text, as read, or nothing with `error` set.
std::optional<std::string> OpenAdapterFiles(const std::filesystem::path& folder,
                                            int number,
                                            SimulatedAdapter& adapter,
                                            std::string& error) {
  adapter.set_logging(false);
  const std::filesystem::path state = folder / SimStateFileName(number);
  std::string why;
  if (!adapter.UseStateFile(
          state, [folder] { return LockSimBench(folder); }, &why)) {
    error = CannotRead(state, why);
    return std::nullopt;
  }
  const std::filesystem::path setup_file = folder / SimSetupFileName(number);
  auto setup = ReadSetupFile(setup_file, &why);
  if (!setup) {
    error = CannotRead(setup_file, why);
    return std::nullopt;
  }
  ApplySimSetup(setup->first, adapter);
  return std::move(setup->second);
}

// Keeps a running bench's adapters in step with their files: each open of
// the control device reads them again. An adapter whose setup file changed
// since it was last read is plugged in or out and armed as the file now
// says; one whose state file another program replaced takes its memories.
// A file that cannot be read or parsed just now (being replaced on a system
// whose renames are not atomic) is read again at the next open.
class FileFollower {
 public:
  struct Watched {
    std::filesystem::path setup_file;
    SimulatedAdapter* adapter;
    std::string last_text;  // "" for no file
  };
  explicit FileFollower(std::vector<Watched> watched)
      : watched_(std::move(watched)) {}

  void Follow() {
    std::lock_guard lock(mutex_);
    for (Watched& w : watched_) {
      w.adapter->FollowStateFile();
      auto setup = ReadSetupFile(w.setup_file);
      if (!setup || setup->second == w.last_text) continue;
      w.last_text = std::move(setup->second);
      ApplySimSetup(setup->first, *w.adapter);
    }
  }

 private:
  std::mutex mutex_;
  std::vector<Watched> watched_;
};

}  // namespace

std::string JoinWords(const std::vector<std::string>& words) {
  std::string joined;
  for (const std::string& word : words) {
    if (!joined.empty()) joined += ' ';
    joined += word;
  }
  return joined;
}

void ApplySimSetup(const SimSetup& setup, SimulatedAdapter& adapter) {
  ArmSimFault({"clear"}, adapter);
  adapter.set_plugged(setup.plugged);
  for (const auto& fault : setup.faults) ArmSimFault(fault, adapter);
}

std::optional<SimSetup> LoadSimSetup(const std::filesystem::path& file,
                                     std::string* why) {
  auto setup = ReadSetupFile(file, why);
  if (!setup) return std::nullopt;
  return std::move(setup->first);
}

bool SaveSimSetup(const std::filesystem::path& file, const SimSetup& setup,
                  std::string* error) {
  std::string text(kSetupFirstLine);
  text += "\n";
  text += setup.plugged ? "plugged 1\n" : "plugged 0\n";
  for (const auto& fault : setup.faults)
    text += "fault " + JoinWords(fault) + "\n";
  return ReplaceFileSafely(file, text, error);
}

std::optional<StationLock> LockSimBench(const std::filesystem::path& folder,
                                        std::string* refusal,
                                        bool* held_elsewhere) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(5);
  SystemClock clock;
  for (;;) {
    bool elsewhere = false;
    auto lock =
        StationLock::AcquireFile(folder, kSimLockFile, refusal, &elsewhere);
    if (held_elsewhere != nullptr) *held_elsewhere = elsewhere;
    if (lock || !elsewhere || std::chrono::steady_clock::now() >= deadline) {
      return lock;
    }
    clock.SleepMs(20);
  }
}

bool IsSimFileName(const std::string& name) {
  if (name == kSimBenchFile || name == kSimLockFile) return true;
  for (int number = 1; number <= SimulatedBench::kMaxAdapters; ++number) {
    if (name == SimStateFileName(number) || name == SimSetupFileName(number)) {
      return true;
    }
  }
  return false;
}

std::optional<std::string> CheckSimBenchEntry(
    const std::vector<SimBenchEntry>& bench, const SimBenchEntry& entry) {
  if (static_cast<int>(bench.size()) >= SimulatedBench::kMaxAdapters) {
    return "The bench holds " + std::to_string(SimulatedBench::kMaxAdapters) +
           " adapters already.";
  }
  if (!IsBenchText(entry.connection_name)) {
    return "A connection name is needed, without a tab or a line break.";
  }
  if (!IsBenchText(entry.description)) {
    return "A description is needed, without a tab or a line break.";
  }
  for (const SimBenchEntry& other : bench) {
    if (other.connection_name == entry.connection_name) {
      return "The bench has an adapter on the connection \"" +
             entry.connection_name + "\" already.";
    }
  }
  return std::nullopt;
}

std::optional<std::vector<SimBenchEntry>> LoadSimBench(
    const std::filesystem::path& file, std::string* why) {
  if (EntryKindOf(file) == FileKind::kMissing) {
    return std::vector<SimBenchEntry>{
        {kSimDefaultConnection, kSimDefaultDescription}};
  }
  const auto text = ReadSimText(file, why);
  if (!text) return std::nullopt;
  const auto not_a_bench =
      [why]() -> std::optional<std::vector<SimBenchEntry>> {
    if (why != nullptr) *why = "it does not list a simulated bench";
    return std::nullopt;
  };
  const std::vector<std::string> lines = LinesOf(*text);
  if (lines.empty() || lines[0] != kBenchFirstLine) return not_a_bench();
  std::vector<SimBenchEntry> bench;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    const std::size_t tab = lines[i].find('\t');
    if (tab == std::string::npos) return not_a_bench();
    SimBenchEntry entry{lines[i].substr(0, tab), lines[i].substr(tab + 1)};
    if (CheckSimBenchEntry(bench, entry)) return not_a_bench();
    bench.push_back(std::move(entry));
  }
  if (bench.empty()) return not_a_bench();
  return bench;
}

bool SaveSimBench(const std::filesystem::path& file,
                  const std::vector<SimBenchEntry>& bench, std::string* error) {
  std::string text(kBenchFirstLine);
  text += "\n";
  for (const SimBenchEntry& entry : bench) {
    text += entry.connection_name + "\t" + entry.description + "\n";
  }
  return ReplaceFileSafely(file, text, error);
}

std::unique_ptr<SimulatedAdapter> OpenStationSimAdapter(
    const std::filesystem::path& folder, std::string& error) {
  auto adapter = std::make_unique<SimulatedAdapter>(kSimDefaultEepromSize);
  if (!OpenAdapterFiles(folder, 1, *adapter, error)) return nullptr;
  return adapter;
}

std::unique_ptr<SimulatedBench> OpenStationSimBench(
    const std::filesystem::path& folder, std::string& error) {
  const std::filesystem::path bench_file = folder / kSimBenchFile;
  std::string why;
  const auto entries = LoadSimBench(bench_file, &why);
  if (!entries) {
    error = "The simulated bench's file \"" + bench_file.string() +
            "\" cannot be read: " + why + ".";
    return nullptr;
  }
  auto bench = std::make_unique<SimulatedBench>();
  std::vector<FileFollower::Watched> watched;
  for (std::size_t i = 0; i < entries->size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    SimulatedAdapter* adapter =
        bench->AddAdapter((*entries)[i].description,
                          (*entries)[i].connection_name, kSimDefaultEepromSize);
    auto text = OpenAdapterFiles(folder, number, *adapter, error);
    if (!text) return nullptr;
    watched.push_back(
        {folder / SimSetupFileName(number), adapter, std::move(*text)});
  }
  auto follower = std::make_shared<FileFollower>(std::move(watched));
  bench->set_before_open([follower] { follower->Follow(); });
  return bench;
}

}  // namespace srom
