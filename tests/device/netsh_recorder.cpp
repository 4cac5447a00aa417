// A stand-in for netsh in the network port's tests: appends the command line
// it was started with, exactly as it received it (GetCommandLineA: its own
// name as the caller wrote it, then the arguments, quotes kept), as one line
// to the file named by SROM_NETSH_LOG.
//
// With SROM_NETSH_HOLD naming an event, it first waits for that event (20 s
// at most), so that a test can tell a caller that waited for it from one
// that did not. With SROM_NETSH_EXIT set it ends with that exit code, as
// netsh does when it cannot switch a connection.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string Environment(const char* name) {
  char value[MAX_PATH * 2] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
  if (length == 0 || length >= sizeof(value)) return {};
  return std::string(value, length);
}

}  // namespace

int main() {
  const std::string hold = Environment("SROM_NETSH_HOLD");
  if (!hold.empty()) {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, hold.c_str());
    if (event != nullptr) {
      WaitForSingleObject(event, 20000);
      CloseHandle(event);
    }
  }

  const std::string log = Environment("SROM_NETSH_LOG");
  if (log.empty()) return 2;
  HANDLE file = CreateFileA(log.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  // One write per line: a reader polling the log sees a line whole or not
  // at all.
  const std::string line = std::string(GetCommandLineA()) + "\n";
  DWORD written = 0;
  const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()),
                            &written, nullptr);
  CloseHandle(file);
  if (!ok || written != line.size()) return 4;
  const std::string exit_code = Environment("SROM_NETSH_EXIT");
  return exit_code.empty() ? 0 : std::atoi(exit_code.c_str());
}
