#include "device/win32/win32_network_port.h"

// Winsock's IP definitions, then windows.h, before the IP helper: iphlpapi.h
// relies on their types, and declares the interface table (GetIfTable2)
// only when it has seen ws2ipdef.h.
#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

namespace srom {
namespace {

// The adapter list is read into a buffer of this size and never more: a
// list that does not fit counts as no list.
constexpr ULONG kAdapterListBytes = 10368;

// Where the system keeps, per adapter, what it shows of its connection.
constexpr char kConnectionsKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\"
    "{4D36E972-E325-11CE-BFC1-08002BE10318}\\";

// A connection name is read into this many bytes, its terminating zero
// included; a longer one does not read.
constexpr DWORD kConnectionNameBytes = 255;

// A fixed-size character field up to its first zero, or all of it.
template <std::size_t N>
std::string FromField(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// Starts `command_line` as CreateProcessA does with no application name.
// Returns the process and thread handles, or nothing when it did not start.
std::optional<PROCESS_INFORMATION> Start(const std::string& command_line,
                                         DWORD creation_flags) {
  // CreateProcessA may write into the command line it is given.
  std::string writable = command_line;
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessA(nullptr, writable.data(), nullptr, nullptr,
                     /*bInheritHandles=*/FALSE, creation_flags, nullptr,
                     nullptr, &startup, &process);
  if (!started) return std::nullopt;
  return process;
}

// A connection name as the registry gave it (the ANSI code page), as the
// interface table spells it.
std::wstring WideOfAnsi(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(),
                                         static_cast<int>(text.size()),
                                         nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                        wide.data(), length);
  }
  return wide;
}

void CloseProcess(const PROCESS_INFORMATION& process) {
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// `wait` in the milliseconds WaitForSingleObject takes, short of INFINITE.
DWORD WaitMilliseconds(std::chrono::milliseconds wait) {
  constexpr auto kLongest = std::chrono::milliseconds(INFINITE - 1);
  if (wait <= std::chrono::milliseconds::zero()) return 0;
  if (wait >= kLongest) return INFINITE - 1;
  return static_cast<DWORD>(wait.count());
}

}  // namespace

std::optional<std::vector<NetworkAdapter>> Win32NetworkPort::ListAdapters() {
  // Heap storage of at least the alignment of IP_ADAPTER_INFO; the entries
  // and the strings they point to all live in it.
  auto buffer = std::make_unique_for_overwrite<std::byte[]>(kAdapterListBytes);
  auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get());
  ULONG size = kAdapterListBytes;
  if (GetAdaptersInfo(first, &size) != ERROR_SUCCESS) return std::nullopt;

  std::vector<NetworkAdapter> adapters;
  for (const IP_ADAPTER_INFO* entry = first; entry != nullptr;
       entry = entry->Next) {
    adapters.push_back({FromField(entry->AdapterName),
                        FromField(entry->Description)});
  }
  return adapters;
}

std::variant<std::string, ConnectionNameFailure>
Win32NetworkPort::ConnectionName(const std::string& adapter_name) {
  const std::string path =
      std::string(kConnectionsKey) + adapter_name + "\\Connection";
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return ConnectionNameFailure::kKeyNotOpened;
  }
  char name[kConnectionNameBytes] = {};
  DWORD size = sizeof(name);
  const LONG read = RegQueryValueExA(key, "Name", nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(name), &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS) return ConnectionNameFailure::kValueNotRead;
  // `size` counts the terminating zero when the value has one.
  return std::string(name, strnlen(name, size));
}

CommandEnd Win32NetworkPort::RunCommand(const std::string& command_line,
                                        std::chrono::milliseconds wait) {
  CommandEnd end;
  const auto process =
      Start(command_line, CREATE_NO_WINDOW | HIGH_PRIORITY_CLASS);
  if (!process) return end;
  end.started = true;
  end.ended = WaitForSingleObject(process->hProcess, WaitMilliseconds(wait)) ==
              WAIT_OBJECT_0;
  DWORD code = 0;
  if (end.ended && GetExitCodeProcess(process->hProcess, &code)) {
    end.exit_code = code;
  }
  CloseProcess(*process);
  return end;
}

std::optional<bool> Win32NetworkPort::ConnectionEnabled(
    const std::string& connection_name) {
  MIB_IF_TABLE2* table = nullptr;
  if (GetIfTable2(&table) != NO_ERROR || table == nullptr) return std::nullopt;
  const std::wstring wanted = WideOfAnsi(connection_name);
  bool enabled = false;
  for (ULONG i = 0; i < table->NumEntries; ++i) {
    const MIB_IF_ROW2& row = table->Table[i];
    if (wanted == row.Alias) {
      enabled = enabled || row.AdminStatus == NET_IF_ADMIN_STATUS_UP;
    }
  }
  FreeMibTable(table);
  return enabled;
}

void Win32NetworkPort::StartCommand(const std::string& command_line) {
  const auto process = Start(command_line, CREATE_NO_WINDOW);
  if (process) CloseProcess(*process);
}

}  // namespace srom
