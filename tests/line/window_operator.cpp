// An operator at srom-tool.exe, as a program: starts it with the arguments
// given, answers every message box it shows with OK, presses Program once
// the window is up and idle, waits for the unit's verdict line below the
// result picture, closes the window and waits for the program to end. It
// prints every box it answered and then the verdict line; it exits 0 when
// the unit passed and the program ended by itself with 0.
//
//   window_operator.exe srom-tool.exe --dir <station> --device sim
//
// Every wait has its deadline; past one, srom-tool.exe is ended and what
// was open is said.
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ui/control_id.h"
#include "ui/win32/win32_controls.h"
#include "ui/win32/win32_text.h"
#include "ui/win32/windows_api.h"

namespace {

using namespace std::chrono_literals;
using srom::ControlId;

// The static control that holds a message box's text.
constexpr int kMessageBoxTextItem = 0xFFFF;

constexpr auto kStartLimit = 120s;  // a fresh prefix: wine sets up the fonts
constexpr auto kUnitLimit = 60s;
constexpr auto kEndLimit = 30s;

std::vector<HWND> VisibleWindowsOf(DWORD process) {
  struct Search {
    DWORD process;
    std::vector<HWND> found;
  } search{process, {}};
  EnumWindows(
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == s->process && IsWindowVisible(hwnd)) {
          s->found.push_back(hwnd);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

class Operator {
 public:
  explicit Operator(const PROCESS_INFORMATION& program) : program_(program) {}

  bool Ended() const {
    return WaitForSingleObject(program_.hProcess, 0) == WAIT_OBJECT_0;
  }

  // Answers the open boxes; the main window once it is shown. False when
  // a box was open.
  bool Look() {
    bool quiet = true;
    for (HWND window : VisibleWindowsOf(program_.dwProcessId)) {
      if (GetDlgItem(window, srom::ItemIdOf(ControlId::kProgram)) != nullptr) {
        main_ = window;
        continue;
      }
      quiet = false;
      HWND text = GetDlgItem(window, kMessageBoxTextItem);
      if (text == nullptr || !answered_.insert(window).second) continue;
      std::printf("box \"%s\": %s\n", srom::WindowText(window).c_str(),
                  srom::WindowText(text).c_str());
      std::fflush(stdout);
      PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return quiet;
  }

  // Looks every 20 ms until `done` holds; false once `limit` has passed or
  // the program has ended first.
  template <typename Done>
  bool WaitFor(Done done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      const bool quiet = Look();
      if (done(quiet)) return true;
      if (Ended()) return false;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  HWND Item(ControlId id) const {
    return GetDlgItem(main_, srom::ItemIdOf(id));
  }
  std::string Verdict() const {
    return main_ == nullptr ? ""
                            : srom::WindowText(Item(ControlId::kVerdictLabel));
  }
  HWND main() const { return main_; }

  // What srom-tool.exe shows, for a failure's message.
  std::string OpenWindows() const {
    std::string list;
    for (HWND window : VisibleWindowsOf(program_.dwProcessId)) {
      list += " \"" + srom::WindowText(window) + "\"";
    }
    return list.empty() ? " none" : list;
  }

 private:
  PROCESS_INFORMATION program_;
  HWND main_ = nullptr;
  std::set<HWND> answered_;
};

std::wstring CommandLine(int argc, wchar_t** argv) {
  std::wstring line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += L' ';
    line += L'"' + std::wstring(argv[i]) + L'"';
  }
  return line;
}

int Fail(const PROCESS_INFORMATION& program, const Operator& op,
         const std::string& what) {
  std::printf("FAILED: %s; windows open:%s\n", what.c_str(),
              op.OpenWindows().c_str());
  TerminateProcess(program.hProcess, 1);
  WaitForSingleObject(program.hProcess, 10000);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: window_operator srom-tool.exe [arguments...]\n");
    return 2;
  }
  std::wstring line = CommandLine(argc, argv);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION program{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &program)) {
    std::printf("FAILED: %s does not start (error %lu)\n",
                srom::Utf8(argv[1]).c_str(), GetLastError());
    return 1;
  }
  Operator op(program);

  // The window up, Program enabled and no box open.
  if (!op.WaitFor(
          [&op](bool quiet) {
            return quiet && op.main() != nullptr &&
                   IsWindowEnabled(op.Item(ControlId::kProgram));
          },
          kStartLimit)) {
    return Fail(program, op, "the window never came up idle");
  }
  const std::string before = op.Verdict();
  PostMessageW(op.Item(ControlId::kProgram), BM_CLICK, 0, 0);
  if (!op.WaitFor(
          [&op, &before](bool) {
            const std::string verdict = op.Verdict();
            return verdict != before && (verdict.starts_with("PASS ") ||
                                         verdict.starts_with("FAIL"));
          },
          kUnitLimit)) {
    return Fail(program, op, "no verdict after Program");
  }
  const std::string verdict = op.Verdict();

  PostMessageW(op.main(), WM_CLOSE, 0, 0);
  if (!op.WaitFor([&op](bool) { return op.Ended(); }, kEndLimit)) {
    return Fail(program, op, "the window did not close");
  }
  DWORD code = 1;
  GetExitCodeProcess(program.hProcess, &code);
  CloseHandle(program.hThread);
  CloseHandle(program.hProcess);
  std::printf("verdict: %s\nexit: %lu\n", verdict.c_str(), code);
  return verdict.starts_with("PASS ") && code == 0 ? 0 : 1;
}
