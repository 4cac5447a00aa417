// Real station processes on one ledger file: several writing at once, and
// one killed with SIGKILL wherever it happens to be in a write.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ledger/sqlite_ledger.h"
#include "ledger_test_support.h"
#include "support/spawned_process.h"

namespace srom {
namespace {

namespace fs = std::filesystem;
using test::DraftOf;
using test::OpenLedger;
using test::ReadBytes;
using test::SpawnedProcess;
using test::TempFolder;

// A helper or a mount that has not ended within this long hangs.
constexpr auto kRunLimit = std::chrono::minutes(5);

// Starts `args` (found on PATH) with stderr going to `errors`; nothing when
// it cannot be started.
std::optional<SpawnedProcess> Spawn(const std::vector<std::string>& args,
                                    const fs::path& errors) {
  test::SpawnOptions options;
  options.out = test::Stream::kParent;
  options.err = test::Stream::kFile;
  options.err_file = errors;
  try {
    return SpawnedProcess::Start(
        args[0], std::vector<std::string>(args.begin() + 1, args.end()),
        options);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

// A running ledger_helper; its stderr goes to a file for the failure text.
struct Helper {
  std::optional<SpawnedProcess> process;
  fs::path progress;
  fs::path errors;
};

Helper Start(const TempFolder& folder, const std::string& name,
             std::vector<std::string> args) {
  const fs::path progress = folder / (name + ".progress");
  const fs::path errors = folder / (name + ".errors");
  args.insert(args.begin(), SROM_LEDGER_HELPER);
  args.push_back(progress.string());
  Helper helper{Spawn(args, errors), progress, errors};
  EXPECT_TRUE(helper.process) << "cannot start " << SROM_LEDGER_HELPER;
  return helper;
}

void ExpectSuccess(Helper& helper) {
  ASSERT_TRUE(helper.process);
  const auto end = helper.process->WaitFor(kRunLimit);
  ASSERT_TRUE(end) << "still running: " << ReadBytes(helper.errors);
  EXPECT_TRUE(end->exited_normally() && end->exit_code() == 0)
      << "status " << end->status << ": " << ReadBytes(helper.errors);
}

// The whole lines of a progress file, split into words; a last line cut
// short by a kill is left out.
std::vector<std::vector<std::string>> ProgressLines(const fs::path& file) {
  const std::string text = ReadBytes(file);
  std::vector<std::vector<std::string>> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    std::istringstream words(text.substr(start, end - start));
    std::vector<std::string> line;
    for (std::string word; words >> word;) line.push_back(word);
    lines.push_back(line);
  }
  return lines;
}

std::map<std::int64_t, UnitRecord> UnitsById(SqliteLedger& ledger) {
  const auto units = ledger.Units();
  EXPECT_TRUE(units.ok()) << units.error;
  std::map<std::int64_t, UnitRecord> by_id;
  for (const UnitRecord& r : units.value.value_or(std::vector<UnitRecord>{})) {
    by_id[r.id] = r;
  }
  return by_id;
}

constexpr int kProcesses = 4;
constexpr int kUnitsEach = 40;

TEST(LedgerProcesses, WritingAtOnceLoseNothingAndShareNoId) {
  // The file does not exist yet: the processes also race to create it.
  TempFolder folder;
  std::vector<Helper> helpers;
  for (int p = 0; p < kProcesses; ++p) {
    helpers.push_back(
        Start(folder, "p" + std::to_string(p),
              {"units", LedgerFileIn(folder).string(), std::to_string(p * 1000),
               std::to_string(kUnitsEach)}));
  }
  for (Helper& helper : helpers) ExpectSuccess(helper);

  auto ledger = OpenLedger(LedgerFileIn(folder));
  ASSERT_NE(ledger, nullptr);
  const auto units = UnitsById(*ledger);
  std::set<std::int64_t> reported;
  for (int p = 0; p < kProcesses; ++p) {
    int reserved = 0;
    for (const auto& line : ProgressLines(helpers[p].progress)) {
      if (line[0] != "R") continue;
      const std::int64_t id = std::stoll(line[1]);
      EXPECT_TRUE(reported.insert(id).second) << "id " << id << " given twice";
      ASSERT_EQ(units.count(id), 1u) << "unit " << id << " lost";
      EXPECT_EQ(units.at(id).mac, line[2]);
      EXPECT_EQ(units.at(id).state, UnitState::kProgrammed);
      EXPECT_TRUE(units.at(id).settings_saved);
      ++reserved;
    }
    EXPECT_EQ(reserved, kUnitsEach) << "process " << p;
  }
  EXPECT_EQ(units.size(), reported.size());
}

TEST(LedgerProcesses, CompetingForTheSameAddressesGiveEachToOneUnit) {
  TempFolder folder;
  ASSERT_NE(OpenLedger(LedgerFileIn(folder)), nullptr);
  std::vector<Helper> helpers;
  for (int p = 0; p < kProcesses; ++p) {
    helpers.push_back(Start(
        folder, "c" + std::to_string(p),
        {"claim", LedgerFileIn(folder).string(), std::to_string(kUnitsEach)}));
  }
  for (Helper& helper : helpers) ExpectSuccess(helper);

  std::map<std::string, int> winners;
  for (const Helper& helper : helpers) {
    for (const auto& line : ProgressLines(helper.progress)) ++winners[line[2]];
  }
  auto ledger = OpenLedger(LedgerFileIn(folder));
  const auto units = UnitsById(*ledger);
  EXPECT_EQ(units.size(), static_cast<std::size_t>(kUnitsEach));
  for (int n = 0; n < kUnitsEach; ++n) {
    const std::string mac = DraftOf(n).mac;
    EXPECT_EQ(winners[mac], 1) << mac;
    const auto used = ledger->FindUsed(mac);
    ASSERT_TRUE(used.ok()) << used.error;
    EXPECT_TRUE(used.value->has_value()) << mac;
  }
}

TEST(LedgerProcesses,
     AKilledWriterLeavesEveryReturnedCallAndAtMostOneOpenUnit) {
  TempFolder folder;
  // Each round kills the writer after a different number of calls, so that
  // the kill lands at varied points of the Reserve, MarkProgrammed and
  // MarkSettingsSaved transactions.
  std::set<std::int64_t> earlier_rounds;
  for (int round = 0; round < 6; ++round) {
    Helper helper = Start(folder, "k" + std::to_string(round),
                          {"units", LedgerFileIn(folder).string(),
                           std::to_string(100000 * (round + 1)), "0"});
    const std::size_t wanted = 10 + 7 * static_cast<std::size_t>(round);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ProgressLines(helper.progress).size() < wanted &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(helper.process);
    helper.process->Kill();
    const auto end = helper.process->WaitFor(kRunLimit);
    ASSERT_TRUE(end) << "SIGKILL did not end the helper";
    ASSERT_TRUE(end->killed_by_signal()) << ReadBytes(helper.errors);

    // Opens only an intact file.
    auto ledger = OpenLedger(LedgerFileIn(folder));
    ASSERT_NE(ledger, nullptr);
    const auto units = UnitsById(*ledger);
    std::map<std::int64_t, std::string> reported;  // id -> the last call
    for (const auto& line : ProgressLines(helper.progress)) {
      const std::int64_t id = std::stoll(line[1]);
      reported[id] = line[0];
      ASSERT_EQ(units.count(id), 1u) << "unit " << id << " lost";
      const UnitRecord& r = units.at(id);
      if (line[0] == "R") {
        EXPECT_EQ(r.mac, line[2]);
      } else if (line[0] == "P") {
        EXPECT_EQ(r.state, UnitState::kProgrammed);
      } else {
        EXPECT_TRUE(r.settings_saved);
      }
    }
    ASSERT_GE(reported.size(), 1u);
    // Every unit of this round but the last one is complete.
    std::vector<std::int64_t> this_round;
    for (const auto& [id, r] : units) {
      if (!earlier_rounds.count(id)) this_round.push_back(id);
    }
    ASSERT_FALSE(this_round.empty());
    for (std::size_t i = 0; i + 1 < this_round.size(); ++i) {
      const UnitRecord& r = units.at(this_round[i]);
      EXPECT_EQ(r.state, UnitState::kProgrammed) << "unit " << r.id;
      EXPECT_TRUE(r.settings_saved) << "unit " << r.id;
    }
    // The unit in progress, if its Reserve had committed: reserved until
    // recovery makes it interrupted, and LatestUsed leads the station to it.
    const UnitRecord& last = units.at(this_round.back());
    const auto recovered = ledger->RecoverInterrupted(test::kLaterTime);
    ASSERT_TRUE(recovered.ok()) << recovered.error;
    if (last.state == UnitState::kReserved) {
      ASSERT_EQ(recovered.value->size(), 1u);
      EXPECT_EQ((*recovered.value)[0].id, last.id);
    } else {
      EXPECT_TRUE(recovered.value->empty());
    }
    const auto latest = ledger->LatestUsed();
    ASSERT_TRUE(latest.ok()) << latest.error;
    ASSERT_TRUE(latest.value->has_value());
    EXPECT_EQ((*latest.value)->id, last.id);
    earlier_rounds.insert(this_round.begin(), this_round.end());
  }
}

// The exit status of `process`, or -1 when it did not start or exit by
// itself in time.
int ExitStatus(std::optional<SpawnedProcess> process) {
  if (!process) return -1;
  const auto end = process->WaitFor(kRunLimit);
  return end && end->exited_normally() ? end->exit_code() : -1;
}

TEST(LedgerProcesses, AFullDiskCostsOnlyTheCallThatMetIt) {
  // A disk that really fills up: a small tmpfs mounted in a mount namespace
  // of the helper's own, which needs no privileges where user namespaces are
  // allowed.
  TempFolder folder;
  const fs::path disk = folder / "disk";
  fs::create_directory(disk);
  if (ExitStatus(Spawn({"unshare", "-rm", "mount", "-t", "tmpfs", "-o",
                        "size=256k", "srom-ledger-disk", disk.string()},
                       folder / "probe.errors")) != 0) {
    GTEST_SKIP() << "no mount namespace for a small disk: "
                 << ReadBytes(folder / "probe.errors");
  }
  const fs::path progress = folder / "fill.progress";
  std::optional<SpawnedProcess> fill =
      Spawn({"unshare", "-rm", "sh", "-c",
             "mount -t tmpfs -o size=256k srom-ledger-disk \"$0\" && "
             "exec \"$1\" fill \"$0/production-ledger.sqlite\" \"$2\"",
             disk.string(), SROM_LEDGER_HELPER, progress.string()},
            folder / "fill.errors");
  ASSERT_EQ(ExitStatus(std::move(fill)), 0)
      << ReadBytes(folder / "fill.errors");

  std::set<std::int64_t> reserved, programmed;
  std::map<std::int64_t, std::string> listed;
  std::vector<std::string> failures;
  std::int64_t after_room = 0;
  for (const auto& line : ProgressLines(progress)) {
    if (line[0] == "R") reserved.insert(std::stoll(line[1]));
    if (line[0] == "P") programmed.insert(std::stoll(line[1]));
    if (line[0] == "A") after_room = std::stoll(line[1]);
    if (line[0] == "U") listed[std::stoll(line[1])] = line[2];
    if (line[0] == "E") {
      std::string text;
      for (std::size_t i = 1; i < line.size(); ++i) text += line[i] + " ";
      failures.push_back(text);
    }
  }
  // One call failed, as a storage fault naming the cause; the one after the
  // room came back did not.
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(
      failures[0].rfind(
          std::to_string(static_cast<int>(LedgerFault::kStorage)) + " ", 0),
      0u)
      << failures[0];
  EXPECT_NE(failures[0].find("cannot be written: the disk is full."),
            std::string::npos)
      << failures[0];
  EXPECT_FALSE(programmed.empty());
  ASSERT_NE(after_room, 0);
  // Every call that returned is in the ledger opened afresh.
  for (std::int64_t id : reserved) EXPECT_EQ(listed.count(id), 1u) << id;
  for (std::int64_t id : programmed) EXPECT_EQ(listed[id], "programmed") << id;
  EXPECT_EQ(listed[after_room], "reserved");
}

}  // namespace
}  // namespace srom
#endif
