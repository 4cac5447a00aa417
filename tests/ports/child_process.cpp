// Starting the helper as a real process: locks and concurrent replacement are
// only shown between processes, never between threads of one.
#include <chrono>
#include <stdexcept>
#include <utility>

#include "ports/program_path.h"
#include "ports_test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace srom::test {

namespace {

// A helper that has not answered or ended within this long hangs.
constexpr auto kHelperLimit = std::chrono::minutes(5);

// The helper is built into the test executable's own folder.
fs::path HelperPath() {
  const auto self = RunningProgramPath();
  if (!self) throw std::runtime_error("the test cannot find itself");
#ifdef _WIN32
  return ProgramFolderOf(*self) / "ports_test_helper.exe";
#else
  return ProgramFolderOf(*self) / "ports_test_helper";
#endif
}

#ifdef _WIN32
// One argument quoted as CommandLineToArgvW splits it back: backslashes are
// doubled only before a quote.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}
#endif

}  // namespace

ChildProcess ChildProcess::StartHelper(const std::vector<std::string>& args) {
  ChildProcess child;
  const fs::path helper = HelperPath();
#ifdef _WIN32
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE in_read, in_write, out_read, out_write;
  if (!CreatePipe(&in_read, &in_write, &inherit, 0) ||
      !CreatePipe(&out_read, &out_write, &inherit, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  // Only the child's ends are inherited; ours must close for it to see EOF.
  SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);

  std::wstring command_line = Quoted(helper.native());
  for (const std::string& arg : args) {
    command_line += L" " + Quoted(PathFromUtf8(arg).native());
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_read;
  startup.hStdOutput = out_write;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  // Under wine a start can fail for a moment while the machine is busy
  // (right after many processes): try a few times before giving up.
  BOOL started = FALSE;
  for (int attempt = 0; attempt < 5 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started =
        CreateProcessW(helper.c_str(), command_line.data(), nullptr, nullptr,
                       TRUE, 0, nullptr, nullptr, &startup, &info);
  }
  CloseHandle(in_read);
  CloseHandle(out_write);
  if (!started) {
    CloseHandle(in_write);
    CloseHandle(out_read);
    throw std::runtime_error("cannot start " + Utf8(helper));
  }
  CloseHandle(info.hThread);
  child.process_ = info.hProcess;
  child.pid_ = info.dwProcessId;
  child.input_ = in_write;
  child.output_ = out_read;
#else
  SpawnOptions options;
  options.in = Stream::kPipe;
  options.out = Stream::kPipe;
  child.process_.emplace(SpawnedProcess::Start(helper.string(), args, options));
  child.pid_ = static_cast<unsigned long>(child.process_->pid());
#endif
  return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, 0)),
      exit_code_(other.exit_code_),
#ifdef _WIN32
      process_(std::exchange(other.process_, nullptr)),
      input_(std::exchange(other.input_, nullptr)),
      output_(std::exchange(other.output_, nullptr)) {
}
#else
      process_(std::move(other.process_)) {
  other.process_.reset();
}
#endif

// On POSIX the spawned process kills and collects a helper still running.
ChildProcess::~ChildProcess() {
#ifdef _WIN32
  if (pid_ != 0 && !HasExited()) {
    Kill();
    Wait();
  }
  CloseInput();
  if (output_ != nullptr) CloseHandle(output_);
  if (process_ != nullptr) CloseHandle(process_);
#endif
}

std::string ChildProcess::ReadLine() {
#ifndef _WIN32
  return process_->ReadLine(kHelperLimit).value_or(std::string());
#else
  // An anonymous pipe has no read with a timeout: it is looked into until a
  // byte is there, the child closes its end, or the helper's time is up.
  const auto deadline = std::chrono::steady_clock::now() + kHelperLimit;
  std::string line;
  char c = 0;
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr)) {
      break;
    }
    if (available == 0) {
      if (std::chrono::steady_clock::now() >= deadline) break;
      Sleep(1);
      continue;
    }
    DWORD n = 0;
    if (!ReadFile(output_, &c, 1, &n, nullptr) || n == 0) break;
    if (c == '\n') break;
    if (c != '\r') line += c;
  }
  return line;
#endif
}

void ChildProcess::CloseInput() {
#ifdef _WIN32
  if (input_ != nullptr) CloseHandle(input_);
  input_ = nullptr;
#else
  process_->CloseInput();
#endif
}

void ChildProcess::Kill() {
#ifdef _WIN32
  TerminateProcess(process_, 137);
#else
  process_->Kill();
#endif
}

bool ChildProcess::HasExited() {
  if (exit_code_) return true;
#ifdef _WIN32
  if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  exit_code_ = static_cast<int>(code);
#else
  if (!process_->HasEnded()) return false;
  exit_code_ = process_->WaitFor(std::chrono::milliseconds(0))->exit_code();
#endif
  return true;
}

int ChildProcess::Wait() {
#ifdef _WIN32
  if (!exit_code_ &&
      WaitForSingleObject(
          process_, static_cast<DWORD>(
                        std::chrono::milliseconds(kHelperLimit).count())) !=
          WAIT_OBJECT_0) {
    // Hung: ended, as on POSIX, with the code of a kill.
    Kill();
    WaitForSingleObject(process_, 10000);
  }
  if (!HasExited()) exit_code_ = 137;
#else
  if (!exit_code_) {
    bool hung = false;
    exit_code_ = process_->WaitOrKill(kHelperLimit, &hung).exit_code();
  }
#endif
  return *exit_code_;
}

}  // namespace srom::test
