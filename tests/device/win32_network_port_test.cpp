// Win32NetworkPort against a real Win32 API under wine: connection names
// seeded into the registry, and command lines run by a recording stand-in
// for netsh.
#include "device/win32/win32_network_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "support/temp_folder.h"

namespace srom {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::ReadBytes;
using test::TempFolder;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr char kConnectionsKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Network\\"
    "{4D36E972-E325-11CE-BFC1-08002BE10318}";

// An adapter name no system has, so that the test's keys meet no real ones.
std::string UnusedAdapterName() {
  std::random_device random;
  return "{SROM-TEST-" + std::to_string(random()) + "-" +
         std::to_string(random()) + "}";
}

// An adapter's key under the connections key, created for the test with a
// "Connection" key below it (holding "Name" when given one), and deleted
// with all it holds when the object goes.
class SeededAdapterKey {
 public:
  SeededAdapterKey(const std::string& adapter_name,
                   const std::optional<std::string>& connection_name)
      : path_(std::string(kConnectionsKey) + "\\" + adapter_name) {
    HKEY key = nullptr;
    created_ = RegCreateKeyExA(HKEY_LOCAL_MACHINE,
                               (path_ + "\\Connection").c_str(), 0, nullptr,
                               REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                               &key, nullptr) == ERROR_SUCCESS;
    if (!created_) return;
    if (connection_name) {
      // With its terminating zero, as the system stores a name.
      created_ = RegSetValueExA(
                     key, "Name", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(connection_name->c_str()),
                     static_cast<DWORD>(connection_name->size() + 1)) ==
                 ERROR_SUCCESS;
    }
    RegCloseKey(key);
  }
  ~SeededAdapterKey() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, path_.c_str()); }
  SeededAdapterKey(const SeededAdapterKey&) = delete;
  SeededAdapterKey& operator=(const SeededAdapterKey&) = delete;

  bool created() const { return created_; }

 private:
  std::string path_;
  bool created_ = false;
};

struct ConnectionNameCase {
  const char* what;
  std::optional<std::string> stored;  // the value "Name"; none: no value
  std::variant<std::string, ConnectionNameFailure> expected;
};

TEST(Win32NetworkPortTest, ConnectionNamesComeFromTheRegistry) {
  // The name is read into 255 bytes, its terminating zero included.
  const std::string longest(254, 'n');
  const std::string too_long(255, 'n');
  const ConnectionNameCase cases[] = {
      {"a name with a space", "Ethernet 2", std::string("Ethernet 2")},
      {"the longest name that fits", longest, longest},
      {"one character too many", too_long,
       ConnectionNameFailure::kValueNotRead},
      {"an empty name", "", std::string()},
      {"a key without Name", std::nullopt,
       ConnectionNameFailure::kValueNotRead},
  };
  Win32NetworkPort port;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string adapter = UnusedAdapterName();
    const SeededAdapterKey key(adapter, c.stored);
    ASSERT_TRUE(key.created());
    EXPECT_EQ(port.ConnectionName(adapter), c.expected);
  }
}

TEST(Win32NetworkPortTest, AnAdapterWithoutAKeyHasNoConnectionName) {
  Win32NetworkPort port;
  EXPECT_EQ(port.ConnectionName(UnusedAdapterName()),
            (std::variant<std::string, ConnectionNameFailure>(
                ConnectionNameFailure::kKeyNotOpened)));
  // The adapter's key alone is not enough: the name is in its Connection key.
  const std::string adapter = UnusedAdapterName();
  HKEY key = nullptr;
  const std::string path = std::string(kConnectionsKey) + "\\" + adapter;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(port.ConnectionName(adapter),
            (std::variant<std::string, ConnectionNameFailure>(
                ConnectionNameFailure::kKeyNotOpened)));
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
}

TEST(Win32NetworkPortTest, TheAdapterListReadsOrIsMissing) {
  // Wine's list depends on the machine it runs on: only that reading it
  // comes back, with a list or without one.
  Win32NetworkPort port;
  const auto adapters = port.ListAdapters();
  if (adapters) {
    std::cout << adapters->size() << " adapter(s)\n";
  } else {
    std::cout << "no adapter list\n";
  }
}

std::string Environment(const char* name) {
  const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0) return {};
  std::string value(size, '\0');
  value.resize(GetEnvironmentVariableA(name, value.data(), size));
  return value;
}

// The folder of this test's executable, where the build puts
// netsh_recorder.exe as well.
fs::path ThisProgramsFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

// The lines of a file, none when it does not exist.
std::vector<std::string> Lines(const fs::path& file) {
  std::vector<std::string> lines;
  std::istringstream in(ReadBytes(file));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The recorder, as netsh.exe, in a fresh folder that is both the current
// folder and the first on PATH, its log in the same folder.
//
// CreateProcessA without an application name looks for the command line's
// first word in the application's folder, then the current folder, then
// the system folders, then PATH; wine 8 does the same. Wine's system32 has
// a netsh.exe of its own, so with the recorder only first on PATH wine's
// netsh runs and nothing is recorded: the current folder is what puts the
// recorder ahead of it. PATH gets the folder too, as the place a
// workstation's own netsh would be found.
class Win32NetworkPortCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::copy_file(ThisProgramsFolder() / "netsh_recorder.exe",
                              folder_ / "netsh.exe"));
    saved_path_ = Environment("PATH");
    saved_folder_ = fs::current_path();
    SetEnvironmentVariableA(
        "PATH", (folder_.path().string() + ";" + saved_path_).c_str());
    fs::current_path(folder_.path());
    SetEnvironmentVariableA("SROM_NETSH_LOG", log_.string().c_str());
  }

  void TearDown() override {
    if (hold_ != nullptr) Release();
    SetEnvironmentVariableA("SROM_NETSH_HOLD", nullptr);
    SetEnvironmentVariableA("SROM_NETSH_LOG", nullptr);
    SetEnvironmentVariableA("SROM_NETSH_EXIT", nullptr);
    fs::current_path(saved_folder_);
    SetEnvironmentVariableA("PATH", saved_path_.c_str());
    // Each recorder ran in the folder: until wine has let go of an ended
    // one (a moment after its end is signalled) the folder cannot go, and a
    // recorder started without waiting may still be running.
    const auto until = std::chrono::steady_clock::now() + 10s;
    std::error_code error;
    fs::remove_all(folder_.path(), error);
    while (error && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(50ms);
      fs::remove_all(folder_.path(), error);
    }
    EXPECT_FALSE(error) << "the recorders' folder stayed: " << error.message();
  }

  // Makes the recorder wait, before it records, until Release().
  void Hold() {
    const std::string name =
        "srom-netsh-hold-" + std::to_string(GetCurrentProcessId());
    hold_ = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(hold_, nullptr);
    SetEnvironmentVariableA("SROM_NETSH_HOLD", name.c_str());
  }
  void Release() {
    SetEvent(hold_);
    CloseHandle(hold_);
    hold_ = nullptr;
  }

  // The log's lines once it holds `count` of them, or after 15 s what it
  // holds then.
  std::vector<std::string> AwaitLines(std::size_t count) const {
    const auto until = std::chrono::steady_clock::now() + 15s;
    auto lines = Lines(log_);
    while (lines.size() < count && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(50ms);
      lines = Lines(log_);
    }
    return lines;
  }

  TempFolder folder_;
  fs::path log_ = folder_ / "netsh.log";
  std::string saved_path_;
  fs::path saved_folder_;
  HANDLE hold_ = nullptr;
};

// What the recorder logs is the command line as the started program gets
// it (GetCommandLineA): the port's line unchanged, the program's name as
// written, the quotes around a name with a space kept.
TEST_F(Win32NetworkPortCommandTest, RunCommandPassesTheLineAsGivenAndWaits) {
  const std::vector<std::string> lines = {
      R"(netsh interface set interface name="Ethernet 2" admin=DISABLED)",
      R"(netsh interface set interface name="Ethernet 2" admin=ENABLED)",
      R"(netsh interface set interface name="Local Area Connection 12" admin=DISABLED)",
  };
  Win32NetworkPort port;
  for (const auto& line : lines) {
    EXPECT_EQ(port.RunCommand(line, 15000ms), (CommandEnd{true, true, 0}));
  }
  // Each run was waited for: the lines are there without waiting here.
  const auto logged = Lines(log_);
  EXPECT_THAT(logged, ElementsAreArray(lines));
  ASSERT_FALSE(logged.empty());
  // What follows the program's name: netsh's own arguments.
  EXPECT_EQ(logged.front().substr(logged.front().find(' ') + 1),
            R"(interface set interface name="Ethernet 2" admin=DISABLED)");
}

TEST_F(Win32NetworkPortCommandTest, RunCommandWaitsNoLongerThanItIsTold) {
  Hold();
  const std::string line =
      R"(netsh interface set interface name="Ethernet 2" admin=DISABLED)";
  Win32NetworkPort port;
  EXPECT_EQ(port.RunCommand(line, 300ms), (CommandEnd{true, false, 0}));
  // Returned while the recorder was still held.
  EXPECT_THAT(Lines(log_), IsEmpty());
  Release();
  EXPECT_THAT(AwaitLines(1), ElementsAre(line));
}

TEST_F(Win32NetworkPortCommandTest, StartCommandReturnsAtOnceAndTheLineArrives) {
  Hold();
  const std::string line =
      R"(netsh interface set interface name="Ethernet 2" admin=ENABLED)";
  Win32NetworkPort port;
  port.StartCommand(line);
  EXPECT_THAT(Lines(log_), IsEmpty());
  Release();
  EXPECT_THAT(AwaitLines(1), ElementsAre(line));
}

// netsh ends with a code of its own when it cannot switch a connection (no
// administrator rights): the loop must see it.
TEST_F(Win32NetworkPortCommandTest, RunCommandReportsTheExitCode) {
  SetEnvironmentVariableA("SROM_NETSH_EXIT", "1");
  Win32NetworkPort port;
  const CommandEnd end = port.RunCommand(
      R"(netsh interface set interface name="Ethernet 2" admin=DISABLED)",
      15000ms);
  EXPECT_EQ(end, (CommandEnd{true, true, 1}));
  EXPECT_FALSE(end.ok());
}

// A connection the system does not list is not switched on.
TEST(Win32NetworkPortTest, AConnectionTheSystemDoesNotListIsNotEnabled) {
  Win32NetworkPort port;
  EXPECT_EQ(port.ConnectionEnabled("srom no such connection 7"),
            std::optional<bool>(false));
}

TEST_F(Win32NetworkPortCommandTest, ACommandThatIsNotFoundDoesNothing) {
  Win32NetworkPort port;
  EXPECT_FALSE(
      port.RunCommand("srom-no-such-command interface show interface", 15000ms)
          .started);
  port.StartCommand("srom-no-such-command interface show interface");
  // Nothing ran, and the port still runs what it can find.
  port.RunCommand("netsh interface show interface", 15000ms);
  EXPECT_THAT(Lines(log_), ElementsAre("netsh interface show interface"));
}

}  // namespace
}  // namespace srom
