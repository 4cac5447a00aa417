// srom-tool.exe: the main window on Windows, on the station folder beside the
// program (or --dir), on the maker's driver (or, with --device sim, on the
// station's simulated adapter).
//
// Two environment variables serve the build's scripts, not the line:
// SROM_WINDOW_PICTURE=FILE.bmp saves a picture of the window once it is shown
// and closes it (scripts/windows-screenshot.sh); SROM_FIRST_PAINT_FILE=FILE
// writes the wall-clock time of the window's first paint, in nanoseconds
// since 1970, and closes it (scripts/windows-first-paint.sh).
#include "ui/win32/windows_api.h"
// After windows.h, which it needs.
#include <shellapi.h>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/device_option.h"
#include "device/station_device.h"
#include "ports/clock.h"
#include "ports/program_path.h"
#include "srom_version.h"
#include "ui/srom_dlg.h"
#include "ui/win32/win32_capture.h"
#include "ui/win32/win32_text.h"
#include "ui/win32/win32_view.h"
#include "ui/window_texts.h"
#ifdef SROM_HAVE_SQLITE_LEDGER
#include "ledger/sqlite_ledger.h"
#include "ledger/station_ledger.h"
#endif

namespace fs = std::filesystem;

namespace {

// A window program has no console: what it has to say goes into a box.
void Say(const std::string& text) {
  MessageBoxW(nullptr, srom::Wide(text).c_str(),
              srom::Wide(srom::kMessageBoxTitle).c_str(),
              MB_OK | MB_ICONWARNING);
}

// --version and --help started from a console (or with the output
// redirected) answer there, as a console program would; from Explorer or a
// shortcut, in a box.
void SayToConsoleOrBox(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if ((out == nullptr || out == INVALID_HANDLE_VALUE) &&
      AttachConsole(ATTACH_PARENT_PROCESS)) {
    out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
  }
  DWORD written = 0;
  if (out == nullptr || out == INVALID_HANDLE_VALUE ||
      !WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written,
                 nullptr)) {
    Say(text);
  }
}

std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(srom::Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::optional<fs::path> PathFromEnvironment(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  if (value.empty()) return std::nullopt;
  return fs::path(value);
}

std::int64_t UnixNanoseconds() {
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  const std::int64_t ticks =
      (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  constexpr std::int64_t kTicksTo1970 = 116444736000000000;
  return (ticks - kTicksTo1970) * 100;
}

}  // namespace

int main() {
  CLI::App cli{
      "srom-tool: the window that programs the configuration EEPROM or eFuse "
      "of KM62058 and KM62057D adapters, one station folder at a time."};
  std::string dir;
  std::string device = "driver";
  cli.add_option("-d,--dir", dir,
                 "The station folder: settings, images, logs and the "
                 "production ledger (default: the program's folder)");
  srom::AddDeviceOption(cli, device);
  cli.set_version_flag("--version",
                       std::string("srom-tool ") + srom::kSromVersion,
                       "Print the program's version and exit");
  const std::vector<std::string> arguments = Arguments();
  std::vector<const char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());
  try {
    cli.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& error) {
    std::ostringstream out;
    const int code = cli.exit(error, out, out);
    if (code == 0) {
      SayToConsoleOrBox(out.str());
    } else {
      Say(out.str());
    }
    return code;
  }

  fs::path folder;
  if (dir.empty()) {
    const auto program = srom::RunningProgramPath();
    if (!program) {
      Say("The program's own folder cannot be found: start it with --dir.");
      return 2;
    }
    folder = srom::ProgramFolderOf(*program);
  } else {
    folder = fs::path(srom::Wide(dir));
  }
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    Say("The folder \"" + dir + "\" does not exist.");
    return 2;
  }
  folder = fs::absolute(folder, error).lexically_normal();

  // The maker's driver and the system's own network adapters; with
  // --device sim (or --sim) the station's simulated bench and its network.
  srom::DeviceOpening opening = srom::OpenStationDevice(
      srom::DeviceKindNamed(device).value_or(srom::DeviceKind::kDriver),
      folder);
  if (!opening.device) {
    Say(opening.message);
    return 1;
  }
  const srom::StationDevice& station_device = *opening.device;

  srom::SystemClock clock;
  srom::Win32View view;
  if (view.hwnd() == nullptr) {
    Say("The window cannot be created.");
    return 1;
  }
  srom::CKM62058_SromDlg dlg(view, station_device.port(), clock,
                             srom::FileFolders{folder, folder});
  view.set_logic(&dlg);
  dlg.set_network(&station_device.network());

  if (const auto stamp_file = PathFromEnvironment(L"SROM_FIRST_PAINT_FILE")) {
    view.set_first_paint_hook([&view, &dlg, stamp_file] {
      std::ofstream(*stamp_file) << UnixNanoseconds() << "\n";
      view.PostToWindowThread([&dlg] { dlg.OnClose(); });
    });
  }
  srom::LedgerOpener open_ledger;
#ifdef SROM_HAVE_SQLITE_LEDGER
  open_ledger = srom::OpenStationLedger;
#endif
  if (!dlg.OnInitDialog(open_ledger)) return 1;
  view.Show();
  if (const auto picture = PathFromEnvironment(L"SROM_WINDOW_PICTURE")) {
    view.PostToWindowThread([&view, &dlg, picture] {
      if (!srom::SaveWindowPicture(view.hwnd(), *picture)) {
        Say("The window's picture cannot be saved.");
      }
      dlg.OnClose();
    });
  }
  view.RunMessageLoop();
  return 0;
}
