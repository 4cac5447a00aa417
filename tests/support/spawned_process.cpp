#include "support/spawned_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace srom::test {
namespace {

using Clock = SpawnedProcess::Clock;

// A child that SIGKILL has not ended within this long is given up on.
constexpr auto kKillGrace = std::chrono::seconds(10);

bool Named(const std::string& entry, const std::string& name) {
  return entry.size() > name.size() &&
         entry.compare(0, name.size(), name) == 0 && entry[name.size()] == '=';
}

std::vector<std::string> Environment(const SpawnOptions& options) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool drop = false;
    for (const std::string& name : options.unset_env) {
      drop |= Named(entry, name);
    }
    for (const std::string& prefix : options.unset_env_prefixes) {
      drop |= entry.rfind(prefix, 0) == 0;
    }
    for (const std::string& set : options.set_env) {
      drop |= Named(entry, set.substr(0, set.find('=')));
    }
    if (!drop) env.push_back(entry);
  }
  env.insert(env.end(), options.set_env.begin(), options.set_env.end());
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// The pipes of one start, closed on the way out unless handed on.
struct Pipes {
  int in[2] = {-1, -1};
  int out[2] = {-1, -1};

  ~Pipes() {
    for (int fd : {in[0], in[1], out[0], out[1]}) {
      if (fd >= 0) close(fd);
    }
  }
};

// Points `fd` of the child where `stream` says.
void Direct(posix_spawn_file_actions_t* actions, int fd, Stream stream,
            const std::filesystem::path& file, int pipe_end) {
  const int write_flags = O_WRONLY | O_CREAT | O_TRUNC;
  switch (stream) {
    case Stream::kParent:
      break;
    case Stream::kNull:
      posix_spawn_file_actions_addopen(actions, fd, "/dev/null",
                                       fd == 0 ? O_RDONLY : O_WRONLY, 0);
      break;
    case Stream::kPipe:
      posix_spawn_file_actions_adddup2(actions, pipe_end, fd);
      break;
    case Stream::kFile:
      posix_spawn_file_actions_addopen(actions, fd, file.c_str(),
                                       fd == 0 ? O_RDONLY : write_flags, 0644);
      break;
  }
}

}  // namespace

std::optional<std::string> FindOnPath(const std::string& name) {
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

SpawnedProcess SpawnedProcess::Start(const std::string& program,
                                     const std::vector<std::string>& args,
                                     const SpawnOptions& options) {
  if (options.err == Stream::kPipe && options.out != Stream::kPipe) {
    throw std::invalid_argument(
        "standard error can share the output's pipe only");
  }
  Pipes pipes;
  if ((options.in == Stream::kPipe && pipe2(pipes.in, O_CLOEXEC) != 0) ||
      (options.out == Stream::kPipe && pipe2(pipes.out, O_CLOEXEC) != 0)) {
    throw std::runtime_error(std::string("pipe2 failed: ") +
                             std::strerror(errno));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  Direct(&actions, STDIN_FILENO, options.in, options.in_file, pipes.in[0]);
  Direct(&actions, STDOUT_FILENO, options.out, options.out_file, pipes.out[1]);
  Direct(&actions, STDERR_FILENO, options.err, options.err_file, pipes.out[1]);
  if (!options.cwd.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());
  }

  std::vector<std::string> argv_text = {program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv = Pointers(argv_text);
  std::vector<std::string> env_text = Environment(options);
  std::vector<char*> envp = Pointers(env_text);

  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr,
                                   argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    throw std::runtime_error("cannot start " + program + ": " +
                             std::strerror(spawned));
  }
  SpawnedProcess child;
  child.pid_ = pid;
  child.input_ = std::exchange(pipes.in[1], -1);
  child.output_ = std::exchange(pipes.out[0], -1);
  return child;
}

SpawnedProcess::SpawnedProcess(SpawnedProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      input_(std::exchange(other.input_, -1)),
      output_(std::exchange(other.output_, -1)),
      buffer_(std::move(other.buffer_)),
      eof_(other.eof_),
      end_(std::move(other.end_)) {}

SpawnedProcess::~SpawnedProcess() {
  if (pid_ > 0 && !end_) {
    kill(pid_, SIGKILL);
    WaitFor(kKillGrace);
  }
  CloseInput();
  if (output_ >= 0) close(output_);
}

std::optional<std::string> SpawnedProcess::ReadLine(
    std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t newline = buffer_.find('\n');
    if (newline != std::string::npos) {
      std::string line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (eof_ && !buffer_.empty()) {
      // A last line the child ended without a line end.
      std::string line = std::exchange(buffer_, std::string());
      if (line.back() == '\r') line.pop_back();
      return line;
    }
    if (eof_ || !Fill(deadline)) return std::nullopt;
  }
}

std::optional<std::string> SpawnedProcess::ReadAll(
    std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!eof_) {
    if (!Fill(deadline)) return std::nullopt;
  }
  return std::exchange(buffer_, std::string());
}

void SpawnedProcess::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

void SpawnedProcess::Signal(int signal) {
  if (pid_ > 0 && !end_) kill(pid_, signal);
}

bool SpawnedProcess::HasEnded() {
  if (!end_) Reap(WNOHANG);
  return end_.has_value();
}

std::optional<ChildEnd> SpawnedProcess::WaitFor(
    std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!HasEnded()) {
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return end_;
}

ChildEnd SpawnedProcess::WaitOrKill(std::chrono::milliseconds timeout,
                                    bool* hung) {
  if (const auto end = WaitFor(timeout)) {
    *hung = false;
    return *end;
  }
  *hung = true;
  return Stop(kKillGrace, SIGKILL);
}

ChildEnd SpawnedProcess::Stop(std::chrono::milliseconds grace, int signal) {
  Signal(signal);
  if (const auto end = WaitFor(grace)) return *end;
  Signal(SIGKILL);
  // SIGKILL cannot be caught: the end follows as soon as the system can,
  // which for a process stuck in the kernel may be never. The test goes on
  // then, told that the child was killed.
  if (const auto end = WaitFor(kKillGrace)) return *end;
  ChildEnd killed;
  killed.status = SIGKILL;  // the wait status of an end by that signal
  return killed;
}

bool SpawnedProcess::Fill(Clock::time_point deadline) {
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

void SpawnedProcess::Reap(int flags) {
  if (pid_ <= 0 || end_) return;
  ChildEnd end;
  pid_t got = -1;
  do {
    got = wait4(pid_, &end.status, flags, &end.usage);
  } while (got < 0 && errno == EINTR);
  if (got == pid_) end_ = end;
}

RunResult RunToEnd(const std::string& program,
                   const std::vector<std::string>& args,
                   const SpawnOptions& options,
                   std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  SpawnedProcess child = SpawnedProcess::Start(program, args, options);
  RunResult result;
  auto output = child.ReadAll(timeout);
  const auto left =
      std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                   deadline - Clock::now()),
               std::chrono::milliseconds(0));
  result.end = child.WaitOrKill(output ? left : std::chrono::milliseconds(0),
                                &result.timed_out);
  result.output = output ? std::move(*output) : std::move(child.buffer_);
  result.timed_out |= !output;
  return result;
}

}  // namespace srom::test
