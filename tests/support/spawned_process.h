// Whole programs started as child processes, for the tests and benchmarks
// that need real ones: an X server, the window itself, xdotool. The child's
// standard output comes back through a pipe, read with a deadline; its end is
// collected with its resource usage (peak memory). POSIX only.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace srom::testing {

struct SpawnOptions {
  // "NAME=value" entries put over the parent's environment.
  std::vector<std::string> set_env;
  // Names taken out of the parent's environment.
  std::vector<std::string> unset_env;
  // The child's standard output into a pipe that ReadLine/ReadAll read;
  // otherwise it is the parent's.
  bool capture_stdout = true;
  // The child's standard error to /dev/null; otherwise it is the parent's.
  bool quiet_stderr = false;
};

// How a child ended: its wait status and what it used.
struct ChildEnd {
  int status = 0;
  rusage usage{};

  bool exited_normally() const { return WIFEXITED(status) != 0; }
  int exit_code() const {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // The peak resident memory in KiB.
  long peak_rss_kib() const { return usage.ru_maxrss; }
};

// The first executable file called `name` in PATH.
inline std::optional<std::string> FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  const std::string dirs = path;
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

class SpawnedProcess {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts `program` (a path, or a name looked up in PATH) with `args`.
  // Throws std::runtime_error when it cannot be started.
  static SpawnedProcess Start(const std::string& program,
                              const std::vector<std::string>& args,
                              const SpawnOptions& options = {}) {
    SpawnedProcess child;
    int out[2] = {-1, -1};
    if (options.capture_stdout && pipe2(out, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe2 failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.capture_stdout) {
      posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    }
    if (options.quiet_stderr) {
      posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    std::vector<std::string> argv_text = {program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_text = Environment(options);
    std::vector<char*> envp;
    for (std::string& entry : env_text) envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr,
                                     argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (options.capture_stdout) close(out[1]);
    if (spawned != 0) {
      if (options.capture_stdout) close(out[0]);
      throw std::runtime_error("cannot start " + program + ": " +
                               std::strerror(spawned));
    }
    child.pid_ = pid;
    child.output_ = options.capture_stdout ? out[0] : -1;
    return child;
  }

  SpawnedProcess(SpawnedProcess&& other) noexcept
      : pid_(std::exchange(other.pid_, -1)),
        output_(std::exchange(other.output_, -1)),
        buffer_(std::move(other.buffer_)),
        eof_(other.eof_),
        end_(std::move(other.end_)) {}
  SpawnedProcess& operator=(SpawnedProcess&&) = delete;
  SpawnedProcess(const SpawnedProcess&) = delete;
  SpawnedProcess& operator=(const SpawnedProcess&) = delete;

  // A child still running when its owner goes is killed and collected.
  ~SpawnedProcess() {
    if (pid_ > 0 && !end_) {
      kill(pid_, SIGKILL);
      WaitFor(std::chrono::seconds(10));
    }
    if (output_ >= 0) close(output_);
  }

  pid_t pid() const { return pid_; }

  // The next line of the child's output without its line end, waiting at
  // most `timeout`. Nothing at the end of the output or when time runs out.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      const std::size_t newline = buffer_.find('\n');
      if (newline != std::string::npos) {
        std::string line = buffer_.substr(0, newline);
        buffer_.erase(0, newline + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      }
      if (eof_ || !Fill(deadline)) return std::nullopt;
    }
  }

  // Everything the child writes until it closes its output; nothing when
  // that takes longer than `timeout`.
  std::optional<std::string> ReadAll(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!eof_) {
      if (!Fill(deadline)) return std::nullopt;
    }
    return std::exchange(buffer_, std::string());
  }

  void Signal(int signal) {
    if (pid_ > 0 && !end_) kill(pid_, signal);
  }

  // Whether the child has ended, without waiting.
  bool HasEnded() {
    if (!end_) Reap(WNOHANG);
    return end_.has_value();
  }

  // Waits at most `timeout` for the child's end.
  std::optional<ChildEnd> WaitFor(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!HasEnded()) {
      if (Clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return end_;
  }

  // Asks the child to end with `signal`; kills it when it has not ended
  // within `grace`.
  ChildEnd Stop(std::chrono::milliseconds grace, int signal = SIGTERM) {
    Signal(signal);
    if (const auto end = WaitFor(grace)) return *end;
    Signal(SIGKILL);
    Reap(0);
    return *end_;
  }

 private:
  SpawnedProcess() = default;

  static std::vector<std::string> Environment(const SpawnOptions& options) {
    const auto named = [](const std::string& entry, const std::string& name) {
      return entry.size() > name.size() &&
             entry.compare(0, name.size(), name) == 0 &&
             entry[name.size()] == '=';
    };
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      bool drop = false;
      for (const std::string& name : options.unset_env)
        drop |= named(entry, name);
      for (const std::string& set : options.set_env) {
        drop |= named(entry, set.substr(0, set.find('=')));
      }
      if (!drop) env.push_back(entry);
    }
    env.insert(env.end(), options.set_env.begin(), options.set_env.end());
    return env;
  }

  // Reads what the child has written, waiting until `deadline` for some.
  // False when time ran out.
  bool Fill(Clock::time_point deadline) {
    if (output_ < 0) {
      eof_ = true;
      return true;
    }
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - Clock::now());
      if (left.count() < 0) return false;
      pollfd fd{output_, POLLIN, 0};
      const int ready = poll(&fd, 1, static_cast<int>(left.count()) + 1);
      if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
      if (ready < 0) return false;
      char chunk[4096];
      const ssize_t n = read(output_, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        eof_ = true;
      } else {
        buffer_.append(chunk, static_cast<std::size_t>(n));
      }
      return true;
    }
  }

  void Reap(int flags) {
    if (pid_ <= 0 || end_) return;
    ChildEnd end;
    pid_t got = -1;
    do {
      got = wait4(pid_, &end.status, flags, &end.usage);
    } while (got < 0 && errno == EINTR);
    if (got == pid_) end_ = end;
  }

  pid_t pid_ = -1;
  int output_ = -1;
  std::string buffer_;
  bool eof_ = false;
  std::optional<ChildEnd> end_;
};

// The output and end of a program run to its end, or nothing when it did not
// end within `timeout` (it is killed then).
struct RunResult {
  std::string output;
  ChildEnd end;
};

inline std::optional<RunResult> RunToEnd(const std::string& program,
                                         const std::vector<std::string>& args,
                                         const SpawnOptions& options,
                                         std::chrono::milliseconds timeout) {
  const auto deadline = SpawnedProcess::Clock::now() + timeout;
  SpawnedProcess child = SpawnedProcess::Start(program, args, options);
  auto output = child.ReadAll(timeout);
  if (!output) return std::nullopt;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - SpawnedProcess::Clock::now());
  const auto end = child.WaitFor(std::max(left, std::chrono::milliseconds(0)));
  if (!end) return std::nullopt;
  return RunResult{std::move(*output), *end};
}

}  // namespace srom::testing
