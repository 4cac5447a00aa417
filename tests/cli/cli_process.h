// A real srom-cli process on a station folder, for the tests that need
// processes side by side: started without waiting, its streams in files,
// signalled and waited for like any other program. POSIX only.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/spawned_process.h"
#include "support/temp_folder.h"

namespace srom::test {

struct Exit {
  int code = -1;  // the exit code, or 128 + the signal that ended it
  std::string err;
};

// The code of a process WaitWithin had to kill: it hung.
inline constexpr int kHung = -2;

class CliProcess {
 public:
  // `crash_at` sets the crash seam (0: none). The output stream goes to
  // `out_file`, or nowhere when it is empty. `cwd`, when given, is the
  // folder the process starts in (`station` may then be relative to it).
  CliProcess(const fs::path& station, const std::vector<std::string>& args,
             const fs::path& err_file, int crash_at = 0,
             const fs::path& out_file = {}, const fs::path& cwd = {})
      : err_file_(err_file) {
    std::vector<std::string> cli_args = {"--dir", station.string()};
    cli_args.insert(cli_args.end(), args.begin(), args.end());
    SpawnOptions options;
    options.unset_env = {"SROM_CRASH_AT"};
    if (crash_at > 0) {
      options.set_env = {"SROM_CRASH_AT=" + std::to_string(crash_at)};
    }
    options.out = out_file.empty() ? Stream::kNull : Stream::kFile;
    options.out_file = out_file;
    options.err = Stream::kFile;
    options.err_file = err_file;
    options.cwd = cwd;
    try {
      process_.emplace(SpawnedProcess::Start(SROM_CLI_PATH, cli_args, options));
    } catch (const std::runtime_error&) {
      // started() says so; a wait then finds no exit.
    }
  }

  bool started() const { return process_.has_value(); }
  pid_t pid() const { return process_ ? process_->pid() : -1; }
  void Signal(int signal) {
    if (process_) process_->Signal(signal);
  }

  // Waits at most `deadline`; a process still running then is killed, and
  // its exit says kHung, so that a hang fails the test instead of hanging it.
  Exit WaitWithin(std::chrono::milliseconds deadline) {
    Exit exit;
    exit.code = kHung;
    if (process_) {
      bool hung = false;
      const ChildEnd end = process_->WaitOrKill(deadline, &hung);
      if (!hung) exit.code = end.exit_code();
      process_.reset();
    }
    exit.err = ReadBytes(err_file_);
    return exit;
  }

  // Waits for a run that is meant to end by itself; one that has not ended
  // within five minutes hangs, and is killed (kHung).
  Exit Wait() {
    if (!process_) {
      Exit exit;
      exit.err = ReadBytes(err_file_);
      return exit;
    }
    return WaitWithin(std::chrono::minutes(5));
  }

 private:
  fs::path err_file_;
  // Killed, if still running, when the object goes: no test leaves one
  // behind.
  std::optional<SpawnedProcess> process_;
};

}  // namespace srom::test
