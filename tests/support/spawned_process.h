// Whole programs started as child processes, for the tests and benchmarks
// that need real ones: srom-cli stations side by side, helpers killed in the
// middle of a write, PostgreSQL's tools, an X server, the window itself. The
// child's streams go to pipes, files or nowhere; what it writes comes back
// through a pipe read with a deadline, every wait for its end has one, and a
// child still running when its owner goes is killed with SIGKILL. Its end is
// collected with its resource usage (peak memory). POSIX only.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace srom::test {

// Where one of the child's standard streams goes, or comes from.
enum class Stream {
  kParent,  // this process's own
  kNull,    // /dev/null
  kPipe,    // a pipe to this process (standard error: the output's pipe)
  kFile,    // the file named in the options (a written one is truncated)
};

struct SpawnOptions {
  // "NAME=value" entries put over the parent's environment.
  std::vector<std::string> set_env;
  // Names taken out of the parent's environment.
  std::vector<std::string> unset_env;
  // Every name starting with one of these taken out too ("PG": PGHOST ...).
  std::vector<std::string> unset_env_prefixes;

  // Standard input; kPipe is closed by CloseInput().
  Stream in = Stream::kParent;
  // Standard output; kPipe is read by ReadLine and ReadAll.
  Stream out = Stream::kPipe;
  // Standard error; kPipe shares the output's pipe, which `out` must be.
  Stream err = Stream::kParent;
  std::filesystem::path in_file;
  std::filesystem::path out_file;
  std::filesystem::path err_file;

  // The folder the child starts in; the parent's when empty. Files named
  // above are opened before the child enters it.
  std::filesystem::path cwd;
};

// How a child ended: its wait status and what it used.
struct ChildEnd {
  int status = 0;
  rusage usage{};

  bool exited_normally() const { return WIFEXITED(status) != 0; }
  bool killed_by_signal() const { return WIFSIGNALED(status) != 0; }
  // The exit code, or 128 + the signal that ended it.
  int exit_code() const {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // The peak resident memory in KiB.
  long peak_rss_kib() const { return usage.ru_maxrss; }
};

// The first executable file called `name` in PATH.
std::optional<std::string> FindOnPath(const std::string& name);

class SpawnedProcess;

// What a program run to its end wrote to its output, and how it ended.
struct RunResult {
  std::string output;
  ChildEnd end;
  // It had not ended by its deadline: it was killed, and `output` holds what
  // it wrote until then.
  bool timed_out = false;
};

// Runs `program` to its end, waiting at most `timeout` for it to close its
// output and end. Throws std::runtime_error when it cannot be started.
RunResult RunToEnd(const std::string& program,
                   const std::vector<std::string>& args,
                   const SpawnOptions& options,
                   std::chrono::milliseconds timeout);

class SpawnedProcess {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts `program` (a path, or a name looked up in PATH) with `args`.
  // Throws std::runtime_error when it cannot be started.
  static SpawnedProcess Start(const std::string& program,
                              const std::vector<std::string>& args,
                              const SpawnOptions& options = {});

  SpawnedProcess(SpawnedProcess&& other) noexcept;
  SpawnedProcess& operator=(SpawnedProcess&&) = delete;
  SpawnedProcess(const SpawnedProcess&) = delete;
  SpawnedProcess& operator=(const SpawnedProcess&) = delete;

  // A child still running when its owner goes is killed and collected.
  ~SpawnedProcess();

  pid_t pid() const { return pid_; }

  // The next line of the child's output without its line end (the last one
  // may have none), waiting at most `timeout`. Nothing at the end of the
  // output or when time runs out.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);

  // Everything the child writes until it closes its output; nothing when
  // that takes longer than `timeout` (what came so far stays to be read).
  std::optional<std::string> ReadAll(std::chrono::milliseconds timeout);

  // Closes the child's standard input, so that it reads its end.
  void CloseInput();

  void Signal(int signal);
  // SIGKILL: no cleanup of any kind.
  void Kill() { Signal(SIGKILL); }

  // Whether the child has ended, without waiting.
  bool HasEnded();

  // Waits at most `timeout` for the child's end.
  std::optional<ChildEnd> WaitFor(std::chrono::milliseconds timeout);

  // Waits at most `timeout` for the child's end; a child still running then
  // is killed, and `*hung` says so, so that a hang fails a test instead of
  // hanging it.
  ChildEnd WaitOrKill(std::chrono::milliseconds timeout, bool* hung);

  // Asks the child to end with `signal`; kills it when it has not ended
  // within `grace`.
  ChildEnd Stop(std::chrono::milliseconds grace, int signal = SIGTERM);

 private:
  friend RunResult RunToEnd(const std::string&, const std::vector<std::string>&,
                            const SpawnOptions&, std::chrono::milliseconds);

  SpawnedProcess() = default;

  // Reads what the child has written, waiting until `deadline` for some.
  // False when time ran out.
  bool Fill(Clock::time_point deadline);
  void Reap(int flags);

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffer_;
  bool eof_ = false;
  std::optional<ChildEnd> end_;
};

}  // namespace srom::test
