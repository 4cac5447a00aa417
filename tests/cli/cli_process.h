// A real srom-cli process on a station folder, for the tests that need
// processes side by side: started without waiting, its streams in files,
// signalled and waited for like any other program. POSIX only.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

extern char** environ;

namespace srom::testing {

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
    std::vector<std::string> argv_text = {SROM_CLI_PATH, "--dir",
                                          station.string()};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string(*e).rfind("SROM_CRASH_AT=", 0) != 0) {
        env_text.emplace_back(*e);
      }
    }
    if (crash_at > 0) {
      env_text.push_back("SROM_CRASH_AT=" + std::to_string(crash_at));
    }
    std::vector<char*> envp;
    for (std::string& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string out = out_file.empty() ? "/dev/null" : out_file.string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(),
                    envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }

  // A process not waited for is ended: no test leaves one behind.
  ~CliProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  CliProcess(CliProcess&& other) noexcept
      : pid_(other.pid_), err_file_(std::move(other.err_file_)) {
    other.pid_ = -1;
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;
  CliProcess& operator=(CliProcess&&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  void Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
  }

  // Waits at most `deadline`; a process still running then is killed, and
  // its exit says kHung, so that a hang fails the test instead of hanging it.
  Exit WaitWithin(std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (pid_ > 0) {
      int status = 0;
      const pid_t ended = waitpid(pid_, &status, WNOHANG);
      if (ended == pid_) {
        Exit exit;
        exit.code =
            WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = -1;
        exit.err = ReadBytes(err_file_);
        return exit;
      }
      if (ended < 0 || std::chrono::steady_clock::now() >= until) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    Exit hung;
    hung.code = kHung;
    hung.err = ReadBytes(err_file_);
    return hung;
  }

  Exit Wait() {
    Exit exit;
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
      exit.code =
          WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    pid_ = -1;
    exit.err = ReadBytes(err_file_);
    return exit;
  }

 private:
  pid_t pid_ = -1;
  fs::path err_file_;
};

}  // namespace srom::testing
