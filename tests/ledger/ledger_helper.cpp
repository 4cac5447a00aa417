// A station process for the ledger's process tests: it opens the ledger file
// it is given and writes units to it, reporting each call that returned on a
// line of its progress file, so that the test knows what the ledger must
// hold even after this process is killed.
//
//   ledger_helper units <ledger> <first> <count> <progress>
//     Reserve, MarkProgrammed, MarkSettingsSaved for the MAC addresses
//     first .. first+count-1 (count 0: until killed). Lines: "R <id> <mac>",
//     "P <id>", "S <id>".
//   ledger_helper claim <ledger> <count> <progress>
//     Tries to reserve and program each of the MAC addresses 0 .. count-1,
//     competing with other processes for the same addresses. Lines:
//     "W <id> <mac>" for each address this process got.
//   ledger_helper fill <ledger> <progress>
//     For a ledger on a small disk: writes a 64 KiB filler file beside it,
//     then reserves and programs units until a call fails ("R <id>",
//     "P <id>", then "E <fault> <error>"); removes the filler and reserves
//     once more ("A <id>" or "E ..."); then opens the ledger afresh and lists
//     it ("U <id> <state>" for each unit).
//
// Exits 0 when done, 1 on any ledger error (printed on stderr), 2 on usage.
#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "ledger/sqlite_ledger.h"

namespace srom {
namespace {

std::string Hex(std::uint64_t value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%0*" PRIX64, digits, value);
  return text;
}

UnitDraft DraftOf(std::uint64_t number) {
  return UnitDraft{Hex(number, 12),
                   Hex(number, 14),
                   2,
                   "digest",
                   "process " + std::to_string(getpid()),
                   "2024-05-06 07:08:09"};
}

class Progress {
 public:
  explicit Progress(const char* path)
      : fd_(open(path, O_WRONLY | O_CREAT | O_APPEND, 0644)) {}
  ~Progress() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  // One write() a line: a kill leaves whole lines or a last partial one.
  void Line(const std::string& text) {
    const std::string line = text + "\n";
    if (write(fd_, line.data(), line.size()) !=
        static_cast<ssize_t>(line.size())) {
      std::perror("progress");
      std::exit(1);
    }
  }

 private:
  int fd_;
};

int Fail(const std::string& error) {
  std::cerr << error << "\n";
  return 1;
}

int Units(SqliteLedger& ledger, std::uint64_t first, std::uint64_t count,
          Progress& progress) {
  for (std::uint64_t n = first; count == 0 || n < first + count; ++n) {
    const UnitDraft draft = DraftOf(n);
    const LedgerResult<std::int64_t> id = ledger.Reserve(draft);
    if (!id.ok()) return Fail(id.error);
    progress.Line("R " + std::to_string(*id.value) + " " + draft.mac);
    LedgerStatus status = ledger.MarkProgrammed(*id.value, draft.time);
    if (!status.ok()) return Fail(status.error);
    progress.Line("P " + std::to_string(*id.value));
    status = ledger.MarkSettingsSaved(*id.value);
    if (!status.ok()) return Fail(status.error);
    progress.Line("S " + std::to_string(*id.value));
  }
  return 0;
}

int Claim(SqliteLedger& ledger, std::uint64_t count, Progress& progress) {
  for (std::uint64_t n = 0; n < count; ++n) {
    const UnitDraft draft = DraftOf(n);
    const LedgerResult<std::int64_t> id = ledger.Reserve(draft);
    if (id.fault == LedgerFault::kMacInUse) continue;
    if (!id.ok()) return Fail(id.error);
    const LedgerStatus status = ledger.MarkProgrammed(*id.value, draft.time);
    if (!status.ok()) return Fail(status.error);
    progress.Line("W " + std::to_string(*id.value) + " " + draft.mac);
  }
  return 0;
}

void Failure(Progress& progress, const LedgerStatus& status) {
  progress.Line("E " + std::to_string(static_cast<int>(status.fault)) + " " +
                status.error);
}

int Fill(const char* file, Progress& progress) {
  const std::string filler = std::string(file) + ".filler";
  {
    std::FILE* out = std::fopen(filler.c_str(), "wb");
    const std::string bytes(64 * 1024, 'x');
    if (out == nullptr ||
        std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
      return Fail("cannot write the filler file");
    }
    std::fclose(out);
  }
  auto opened = SqliteLedger::Open(file);
  if (!opened.ok()) return Fail(opened.error);
  std::unique_ptr<SqliteLedger> ledger = std::move(*opened.value);
  for (std::uint64_t n = 1;; ++n) {
    const UnitDraft draft = DraftOf(n);
    const LedgerResult<std::int64_t> id = ledger->Reserve(draft);
    if (!id.ok()) {
      Failure(progress, id.status());
      break;
    }
    progress.Line("R " + std::to_string(*id.value));
    const LedgerStatus status = ledger->MarkProgrammed(*id.value, draft.time);
    if (!status.ok()) {
      Failure(progress, status);
      break;
    }
    progress.Line("P " + std::to_string(*id.value));
  }
  std::remove(filler.c_str());
  const LedgerResult<std::int64_t> id = ledger->Reserve(DraftOf(1000000));
  if (id.ok()) {
    progress.Line("A " + std::to_string(*id.value));
  } else {
    Failure(progress, id.status());
  }
  ledger.reset();

  opened = SqliteLedger::Open(file);
  if (!opened.ok()) return Fail(opened.error);
  const auto units = (*opened.value)->Units();
  if (!units.ok()) return Fail(units.error);
  for (const UnitRecord& r : *units.value) {
    progress.Line("U " + std::to_string(r.id) + " " +
                  std::string(UnitStateName(r.state)));
  }
  return 0;
}

int Main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const bool units = command == "units" && argc == 6;
  const bool claim = command == "claim" && argc == 5;
  const bool fill = command == "fill" && argc == 4;
  if (!units && !claim && !fill) {
    std::cerr << "usage: ledger_helper units <ledger> <first> <count> "
                 "<progress> | claim <ledger> <count> <progress> | fill "
                 "<ledger> <progress>\n";
    return 2;
  }
  Progress progress(argv[argc - 1]);
  if (!progress.ok()) return Fail("cannot open the progress file");
  if (fill) return Fill(argv[2], progress);
  auto ledger = SqliteLedger::Open(argv[2]);
  if (!ledger.ok()) return Fail(ledger.error);
  if (units) {
    return Units(**ledger.value, std::strtoull(argv[3], nullptr, 10),
                 std::strtoull(argv[4], nullptr, 10), progress);
  }
  return Claim(**ledger.value, std::strtoull(argv[3], nullptr, 10), progress);
}

}  // namespace
}  // namespace srom

int main(int argc, char** argv) { return srom::Main(argc, argv); }
