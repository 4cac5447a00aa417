#include "ports/process_identity.h"

#include <cerrno>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace srom {

unsigned long CurrentPid() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

std::optional<std::uint64_t> ProcessStartToken(unsigned long pid) {
#ifdef _WIN32
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                     static_cast<DWORD>(pid));
  if (process == nullptr) return std::nullopt;
  FILETIME created{}, exited{}, kernel{}, user{};
  const bool known =
      GetProcessTimes(process, &created, &exited, &kernel, &user) != 0;
  CloseHandle(process);
  if (!known) return std::nullopt;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) |
         created.dwLowDateTime;
#elif defined(__linux__)
  // /proc/<pid>/stat: the 22nd field, after the command name in parentheses
  // (which may hold spaces and parentheses itself, so the last ')' ends it).
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::nullopt;
  char text[1024];
  const std::size_t n = std::fread(text, 1, sizeof text - 1, file);
  std::fclose(file);
  text[n] = '\0';
  const std::string stat(text, n);
  const std::size_t end_of_name = stat.rfind(')');
  if (end_of_name == std::string::npos) return std::nullopt;
  // Field 3 (the state) follows the name; the start is 19 fields later.
  std::size_t at = end_of_name + 1;
  for (int field = 3; field <= 22; ++field) {
    while (at < stat.size() && stat[at] == ' ') ++at;
    const std::size_t start = at;
    while (at < stat.size() && stat[at] != ' ') ++at;
    if (start == at) return std::nullopt;
    if (field == 22) {
      std::uint64_t value = 0;
      for (std::size_t i = start; i < at; ++i) {
        if (stat[i] < '0' || stat[i] > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(stat[i] - '0');
      }
      return value;
    }
  }
  return std::nullopt;
#else
  (void)pid;
  return std::nullopt;
#endif
}

std::optional<std::uint64_t> CurrentProcessStartToken() {
  static const std::optional<std::uint64_t> token =
      ProcessStartToken(CurrentPid());
  return token;
}

bool ProcessIsRunning(unsigned long pid) {
#ifdef _WIN32
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                     static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running =
      GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
#else
  if (pid == 0 || pid > static_cast<unsigned long>(INT32_MAX)) return false;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
#endif
}

bool ProcessHasEnded(unsigned long pid, std::optional<std::uint64_t> start) {
  if (!ProcessIsRunning(pid)) return true;
  if (!start) return false;
  const std::optional<std::uint64_t> now = ProcessStartToken(pid);
  return now.has_value() && *now != *start;
}

}  // namespace srom
