// Fresh folders, byte-exact file access, whole-version file contents and the
// helper processes the lock and replacement tests start.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#endif

#ifndef _WIN32
#include "support/spawned_process.h"
#endif
#include "support/temp_folder.h"

namespace srom::test {

namespace fs = std::filesystem;

inline std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline fs::path PathFromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

// The names in `folder`, not recursing.
inline std::set<std::string> EntriesOf(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(Utf8(entry.path().filename()));
  }
  return names;
}

// Version `number` of writer `tag`: a first line naming both, then enough
// bytes that a torn or short file cannot pass for a whole one.
inline std::string VersionText(char tag, int number) {
  std::string text = "writer " + std::string(1, tag) + " version " +
                     std::to_string(number) + "\n";
  for (int i = 0; text.size() < 48 * 1024; ++i) {
    text += static_cast<char>('a' + (i * 7 + number + tag) % 26);
  }
  return text + "\nend\n";
}

// True when `text` is exactly one whole version, as VersionText wrote it.
inline bool IsWholeVersion(const std::string& text) {
  char tag = 0;
  int number = -1;
  if (std::sscanf(text.c_str(), "writer %c version %d", &tag, &number) != 2) {
    return false;
  }
  return text == VersionText(tag, number);
}

#ifndef _WIN32
// A small file system of its own mounted over a fresh folder: a disk that
// really fills up, or one that is really read-only, which root (the tests'
// usual user) meets nowhere else. The mount lives in a mount namespace of
// this process's own, so nothing outside the tests sees it and it cannot
// outlive them. Needs the right to mount; `reason` says why not.
class MountedFolder {
 public:
  MountedFolder(const std::string& options, bool read_only) {
    static bool private_namespace = false;
    if (!private_namespace) {
      if (unshare(CLONE_NEWNS) != 0 ||
          mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        reason_ = std::string("no mount namespace: ") + std::strerror(errno);
        return;
      }
      private_namespace = true;
    }
    if (mount("tmpfs", folder_.path().c_str(), "tmpfs",
              read_only ? MS_RDONLY : 0, options.c_str()) != 0) {
      reason_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~MountedFolder() {
    if (mounted_) umount2(folder_.path().c_str(), MNT_DETACH);
  }
  MountedFolder(const MountedFolder&) = delete;
  MountedFolder& operator=(const MountedFolder&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& reason() const { return reason_; }
  const fs::path& path() const { return folder_.path(); }

 private:
  TempFolder folder_;
  bool mounted_ = false;
  std::string reason_;
};
#endif

// A running helper process (ports_test_helper, built beside the tests) with
// its standard input and output connected to this process. Killed on
// destruction if still running.
class ChildProcess {
 public:
  // Starts the helper with `args`, each UTF-8.
  static ChildProcess StartHelper(const std::vector<std::string>& args);

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ~ChildProcess();

  unsigned long pid() const { return pid_; }
  // The next line the helper printed, without its line end; empty at the end
  // of its output (on POSIX also when none came within minutes).
  std::string ReadLine();
  // Closes the helper's standard input; a holding helper then exits.
  void CloseInput();
  // SIGKILL on POSIX, TerminateProcess on Windows: no cleanup of any kind.
  void Kill();
  // True once the helper has ended; does not wait.
  bool HasExited();
  // Waits for the end; the exit code, or 128 + the signal that ended it (on
  // POSIX a helper still running after minutes hangs, and is killed).
  int Wait();

 private:
  ChildProcess() = default;

  unsigned long pid_ = 0;
  std::optional<int> exit_code_;
#ifdef _WIN32
  void* process_ = nullptr;
  void* input_ = nullptr;
  void* output_ = nullptr;
#else
  std::optional<SpawnedProcess> process_;
#endif
};

}  // namespace srom::test
