#include "support/pg_server.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "support/spawned_process.h"

namespace srom::test {
namespace {

namespace fs = std::filesystem;
// pg_ctl gives up on a start or a stop after this long; a command that runs
// longer than kCommandTimeout is killed.
constexpr int kPgCtlSeconds = 120;
constexpr auto kCommandTimeout = std::chrono::seconds(kPgCtlSeconds + 60);

constexpr char kUser[] = "srom";

std::string ExitText(const std::string& program, const ChildEnd& end) {
  if (end.exited_normally()) {
    return program + " exited with status " + std::to_string(end.exit_code());
  }
  if (end.killed_by_signal()) {
    return program + " was killed by signal " +
           std::to_string(WTERMSIG(end.status));
  }
  return program + " ended abnormally";
}

// Runs `args` (a path, or a name on PATH) to its end in the folder `cwd`,
// with no input; its standard output and error both go to `*output`. True
// when it exited with status 0; otherwise `*output` ends with how it ended.
bool Run(const std::vector<std::string>& args, const fs::path& cwd,
         std::string* output) {
  output->clear();
  SpawnOptions options;
  // The PG* variables (PGHOST, PGPORT, PGDATA, PGUSER ...) would steer the
  // tools elsewhere; the C locale keeps initdb from tripping over a locale
  // the machine lacks.
  options.unset_env_prefixes = {"PG"};
  options.set_env = {"LC_ALL=C"};
  options.in = Stream::kNull;
  options.out = Stream::kPipe;
  options.err = Stream::kPipe;
  // The server's user may not enter the test's own working folder.
  options.cwd = cwd;
  RunResult run;
  try {
    // Read until the program and whatever it left running close the pipe.
    run = RunToEnd(args[0],
                   std::vector<std::string>(args.begin() + 1, args.end()),
                   options, kCommandTimeout);
  } catch (const std::runtime_error& e) {
    *output = e.what();
    return false;
  }
  *output = std::move(run.output);
  if (run.timed_out) {
    *output += "\n" + args[0] + " did not end within " +
               std::to_string(kCommandTimeout.count()) + " s and was killed";
    return false;
  }
  if (run.end.exited_normally() && run.end.exit_code() == 0) return true;
  *output += "\n" + ExitText(args[0], run.end);
  return false;
}

bool HasServerPrograms(const fs::path& dir) {
  return access((dir / "initdb").c_str(), X_OK) == 0 &&
         access((dir / "pg_ctl").c_str(), X_OK) == 0 &&
         access((dir / "psql").c_str(), X_OK) == 0 &&
         access((dir / "createdb").c_str(), X_OK) == 0;
}

// The folder of initdb, pg_ctl and psql: what pg_config names (libpq-dev's
// pg_config names the server's folder on Debian), or else the newest
// /usr/lib/postgresql/<version>/bin.
std::optional<fs::path> FindBindir(std::string* why) {
  std::string output;
  if (Run({"pg_config", "--bindir"}, "/", &output)) {
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) {
      output.pop_back();
    }
    if (HasServerPrograms(output)) return fs::path(output);
  }
  std::error_code ec;
  std::optional<fs::path> best;
  double best_version = -1;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    const fs::path bin = entry.path() / "bin";
    const double version =
        std::strtod(entry.path().filename().c_str(), nullptr);
    if (HasServerPrograms(bin) && version > best_version) {
      best = bin;
      best_version = version;
    }
  }
  if (!best) {
    *why =
        "No PostgreSQL server programs (initdb, pg_ctl) were found through "
        "pg_config or in /usr/lib/postgresql/*/bin: install them with "
        "./scripts/bootstrap.sh postgresql";
  }
  return best;
}

// Whether a user other than the owners may pass through every folder of
// `path` (the server's user, when the tests run as root).
bool OthersCanEnter(const fs::path& path) {
  for (fs::path dir = path; !dir.empty(); dir = dir.parent_path()) {
    struct stat info {};
    if (stat(dir.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0) {
      return false;
    }
    if (dir == dir.root_path()) break;
  }
  return true;
}

// Where the servers' folders go: the system's temporary folder, unless its
// path is long or odd, or the server's user could not reach it. The socket's
// path must stay short (the system allows about 100 bytes), and pg_ctl hands
// the folder to the server through a shell and a comma-separated setting.
fs::path TempBase(bool for_other_user) {
  std::error_code ec;
  const fs::path base = fs::absolute(fs::temp_directory_path(ec), ec);
  const std::string text = base.string();
  const bool plain = !ec && !text.empty() && text.size() <= 64 &&
                     std::all_of(text.begin(), text.end(), [](char c) {
                       return std::isalnum(static_cast<unsigned char>(c)) ||
                              c == '/' || c == '.' || c == '_' || c == '-';
                     });
  const bool reachable = !for_other_user || OthersCanEnter(base);
  return plain && reachable ? base : fs::path("/tmp");
}

// The port only names the socket file in the server's own folder, so any
// value works; taken from the pid, so that the servers of test binaries run
// side by side differ in their logs too.
int NextPort() {
  static std::atomic<int> made{0};
  const long n = static_cast<long>(getpid()) * 16 + made.fetch_add(1);
  return 20000 + static_cast<int>(n % 40000);
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Percent-encoding for a libpq URL: everything but the unreserved
// characters and '/', which a query value may hold as it is.
std::string UrlEncoded(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~' ||
        c == '/') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0xF];
    }
  }
  return encoded;
}

struct UnprivilegedUser {
  uid_t uid;
  gid_t gid;
};

std::optional<UnprivilegedUser> FindUser(const char* name) {
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwnam_r(name, &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr) {
    return std::nullopt;
  }
  return UnprivilegedUser{entry.pw_uid, entry.pw_gid};
}

}  // namespace

PgServer::PgServer(fs::path bindir, fs::path folder, int port,
                   PgServerOptions options)
    : bindir_(std::move(bindir)),
      folder_(std::move(folder)),
      port_(port),
      options_(options) {}

std::unique_ptr<PgServer> PgServer::Make(std::string* why,
                                         PgServerOptions options) {
  std::optional<fs::path> bindir = FindBindir(why);
  if (!bindir) return nullptr;

  std::string folder =
      (TempBase(/*for_other_user=*/geteuid() == 0) / "srom-pg-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    *why = "Cannot make a folder " + folder + ": " + std::strerror(errno);
    return nullptr;
  }
  // From here on the server's destructor removes the folder.
  std::unique_ptr<PgServer> server(
      new PgServer(*bindir, folder, NextPort(), options));

  // initdb and the server refuse to run as root: as root they run as the
  // user the postgresql package made, in a folder that user owns.
  if (geteuid() == 0) {
    std::optional<UnprivilegedUser> user = FindUser("postgres");
    if (!user) user = FindUser("nobody");
    if (!user) {
      *why =
          "Running as root, and there is neither a user postgres nor a "
          "user nobody to run the PostgreSQL server as.";
      return nullptr;
    }
    if (chown(folder.c_str(), user->uid, user->gid) != 0) {
      *why = "Cannot give " + folder +
             " to the server's user: " + std::strerror(errno);
      return nullptr;
    }
    server->uid_ = user->uid;
    server->gid_ = user->gid;
  }
  return server;
}

std::unique_ptr<PgServer> PgServer::Start(std::string* why,
                                          PgServerOptions options) {
  std::unique_ptr<PgServer> server = Make(why, options);
  if (server == nullptr) return nullptr;
  std::string output;
  if (!Run(server->AsServerUser({(server->bindir_ / "initdb").string(), "-D",
                                 (server->folder_ / "data").string(), "-U",
                                 kUser, "--auth=trust", "-E", "UTF8",
                                 "--no-locale", "--no-sync"}),
           server->folder_, &output)) {
    *why = "initdb failed:\n" + output;
    return nullptr;
  }
  if (!server->StartServer() || !server->CreateDatabase(kUser)) {
    *why = server->last_error();
    return nullptr;
  }
  return server;
}

std::unique_ptr<PgServer> PgServer::StartStandby(bool synchronous,
                                                 std::string* why) {
  // One standby a server: its slot and the name the server waits for.
  constexpr char kStandby[] = "standby";
  std::string output;
  if (!Psql("SELECT pg_create_physical_replication_slot('" +
                std::string(kStandby) + "')",
            &output, "postgres")) {
    *why = last_error();
    return nullptr;
  }
  std::unique_ptr<PgServer> standby = Make(why, options_);
  if (standby == nullptr) return nullptr;
  const fs::path data = standby->folder_ / "data";
  if (!Run(standby->AsServerUser({(bindir_ / "pg_basebackup").string(), "-h",
                                  folder_.string(), "-p", std::to_string(port_),
                                  "-U", kUser, "-D", data.string(), "-X",
                                  "stream", "-S", kStandby, "--checkpoint=fast",
                                  "--no-sync"}),
           standby->folder_, &output)) {
    *why = "pg_basebackup failed:\n" + output + "\n" + LogTail();
    return nullptr;
  }
  {
    std::ofstream marker(data / "standby.signal");
    std::ofstream settings(data / "postgresql.conf", std::ios::app);
    settings << "\nprimary_conninfo = 'host=" << folder_.string()
             << " port=" << port_ << " user=" << kUser
             << " application_name=" << kStandby << "'\n"
             << "primary_slot_name = '" << kStandby << "'\n";
    if (!marker || !settings) {
      *why = "Cannot write the standby's settings in " + data.string();
      return nullptr;
    }
  }
  if (standby->uid_ >= 0 && chown((data / "standby.signal").c_str(),
                                  static_cast<uid_t>(standby->uid_),
                                  static_cast<gid_t>(standby->gid_)) != 0) {
    *why = std::string("Cannot give standby.signal to the server's user: ") +
           std::strerror(errno);
    return nullptr;
  }
  if (!standby->StartServer()) {
    *why = standby->last_error();
    return nullptr;
  }
  // Set after the copy was made, so that the standby, promoted, waits for
  // no standby of its own.
  if (synchronous && (!Psql("ALTER SYSTEM SET synchronous_standby_names = '" +
                                std::string(kStandby) + "'",
                            &output, "postgres") ||
                      !Psql("SELECT pg_reload_conf()", &output, "postgres"))) {
    *why = last_error();
    return nullptr;
  }
  // Following: streaming, and in the part the server gives it.
  const std::string wanted = synchronous ? "sync" : "async";
  const auto give_up = std::chrono::steady_clock::now() + kCommandTimeout;
  for (;;) {
    if (!Psql("SELECT sync_state FROM pg_stat_replication "
              "WHERE application_name = '" +
                  std::string(kStandby) + "' AND state = 'streaming'",
              &output, "postgres")) {
      *why = last_error();
      return nullptr;
    }
    if (output.rfind(wanted, 0) == 0) break;
    if (std::chrono::steady_clock::now() > give_up) {
      *why = "The standby does not follow the server (" + output + "):\n" +
             standby->LogTail();
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return standby;
}

bool PgServer::Promote() {
  std::string output;
  if (!Run(AsServerUser({(bindir_ / "pg_ctl").string(), "-D",
                         (folder_ / "data").string(), "-w", "-t",
                         std::to_string(kPgCtlSeconds), "promote"}),
           folder_, &output)) {
    return Fail("pg_ctl promote", output);
  }
  return Psql("ALTER SYSTEM SET synchronous_standby_names = ''", &output,
              "postgres") &&
         Psql("SELECT pg_reload_conf()", &output, "postgres");
}

bool PgServer::Kill() {
  const std::vector<long> processes = ServerProcesses();
  if (processes.empty()) return Fail("Kill", "no postmaster.pid");
  for (long pid : processes) {
    if (kill(static_cast<pid_t>(pid), SIGKILL) != 0 && errno != ESRCH) {
      return Fail("Kill", std::string("kill SIGKILL ") + std::to_string(pid) +
                              ": " + std::strerror(errno));
    }
  }
  // Gone once the postmaster is: it is not this process's child, so its end
  // is seen in /proc.
  const auto give_up = std::chrono::steady_clock::now() + kCommandTimeout;
  const fs::path postmaster = "/proc/" + std::to_string(processes.front());
  std::error_code ec;
  while (fs::exists(postmaster, ec)) {
    if (std::chrono::steady_clock::now() > give_up) {
      return Fail("Kill", "the postmaster did not end");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Its number may be another process's soon: no later stop may signal it.
  fs::remove(folder_ / "data" / "postmaster.pid", ec);
  running_ = false;
  frozen_ = false;
  return true;
}

PgServer::~PgServer() {
  // A stopped server would not hear pg_ctl's stop.
  if (frozen_) (void)Thaw();
  std::error_code ec;
  // A start that timed out may have left a server running all the same.
  if (running_ || fs::exists(folder_ / "data" / "postmaster.pid", ec)) {
    (void)Stop(true);
  }
  fs::remove_all(folder_, ec);
}

std::vector<std::string> PgServer::AsServerUser(
    std::vector<std::string> args) const {
  if (uid_ < 0) return args;
  std::vector<std::string> wrapped = {
      "setpriv", "--reuid=" + std::to_string(uid_),
      "--regid=" + std::to_string(gid_), "--clear-groups", "--"};
  wrapped.insert(wrapped.end(), args.begin(), args.end());
  return wrapped;
}

bool PgServer::StartServer() {
  const std::string options =
      "-k " + ShellQuoted(folder_.string()) + " -c listen_addresses='' -p " +
      std::to_string(port_) +
      (options_.durable ? " -c fsync=on -c full_page_writes=on"
                        : " -c fsync=off -c full_page_writes=off") +
      " -c synchronous_commit=on" +
      (options_.max_connections > 0
           ? " -c max_connections=" + std::to_string(options_.max_connections)
           : std::string());
  std::string output;
  if (!Run(
          AsServerUser(
              {(bindir_ / "pg_ctl").string(), "-D", (folder_ / "data").string(),
               "-w", "-t", std::to_string(kPgCtlSeconds), "-l",
               (folder_ / "server.log").string(), "-o", options, "start"}),
          folder_, &output)) {
    return Fail("pg_ctl start", output);
  }
  running_ = true;
  return true;
}

bool PgServer::StartAgain() {
  if (running_) return Fail("StartAgain", "the server is running already");
  return StartServer();
}

bool PgServer::Stop(bool immediate) {
  std::string output;
  if (!Run(AsServerUser({(bindir_ / "pg_ctl").string(), "-D",
                         (folder_ / "data").string(), "-m",
                         immediate ? "immediate" : "fast", "-w", "-t",
                         std::to_string(kPgCtlSeconds), "stop"}),
           folder_, &output)) {
    return Fail("pg_ctl stop", output);
  }
  running_ = false;
  return true;
}

std::vector<long> PgServer::ServerProcesses() const {
  std::vector<long> processes;
  std::ifstream pid_file(folder_ / "data" / "postmaster.pid");
  long postmaster = 0;
  if (!(pid_file >> postmaster) || postmaster <= 0) return processes;
  processes.push_back(postmaster);
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) {
          return std::isdigit(static_cast<unsigned char>(c));
        })) {
      continue;
    }
    // "<pid> (<command>) <state> <ppid> ...": the command may hold spaces
    // and parentheses, so the fields are read after its last ')'.
    std::ifstream stat_file(entry.path() / "stat");
    std::string stat;
    std::getline(stat_file, stat);
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    long parent = 0;
    if (fields >> state >> parent && parent == postmaster) {
      processes.push_back(std::strtol(name.c_str(), nullptr, 10));
    }
  }
  return processes;
}

bool PgServer::Freeze() {
  if (!running_) return Fail("Freeze", "the server is not running");
  const std::vector<long> processes = ServerProcesses();
  if (processes.empty()) return Fail("Freeze", "no postmaster.pid");
  // As root the server runs as its own user; root may signal it all the
  // same, and so may the user who started it otherwise.
  for (long pid : processes) {
    if (kill(static_cast<pid_t>(pid), SIGSTOP) != 0 && errno != ESRCH) {
      return Fail("Freeze", std::string("kill SIGSTOP ") + std::to_string(pid) +
                                ": " + std::strerror(errno));
    }
  }
  frozen_ = true;
  return true;
}

bool PgServer::Thaw() {
  // The children first: the postmaster, going on, finds them going too.
  std::vector<long> processes = ServerProcesses();
  if (processes.empty()) return Fail("Thaw", "no postmaster.pid");
  std::reverse(processes.begin(), processes.end());
  for (long pid : processes) {
    if (kill(static_cast<pid_t>(pid), SIGCONT) != 0 && errno != ESRCH) {
      return Fail("Thaw", std::string("kill SIGCONT ") + std::to_string(pid) +
                              ": " + std::strerror(errno));
    }
  }
  frozen_ = false;
  return true;
}

std::string PgServer::Url(const std::string& database) const {
  return "postgresql:///" + UrlEncoded(database) +
         "?host=" + UrlEncoded(folder_.string()) +
         "&port=" + std::to_string(port_) + "&user=" + kUser;
}

std::string PgServer::PairUrl(const PgServer& first, const PgServer& second,
                              const std::string& database) {
  return "postgresql:///" + UrlEncoded(database) +
         "?host=" + UrlEncoded(first.folder_.string()) + "," +
         UrlEncoded(second.folder_.string()) +
         "&port=" + std::to_string(first.port_) + "," +
         std::to_string(second.port_) + "&user=" + kUser +
         "&target_session_attrs=read-write";
}

bool PgServer::CreateDatabase(const std::string& name) {
  std::string output;
  if (!Run({(bindir_ / "createdb").string(), "-h", folder_.string(), "-p",
            std::to_string(port_), "-U", kUser, "--", name},
           folder_, &output)) {
    return Fail("createdb " + name, output);
  }
  return true;
}

bool PgServer::Psql(const std::string& sql, std::string* output,
                    const std::string& database) const {
  if (!Run({(bindir_ / "psql").string(), "-X", "-q", "-A", "-t", "-v",
            "ON_ERROR_STOP=1", "-d", Url(database), "-c", sql},
           folder_, output)) {
    return Fail("psql", *output);
  }
  return true;
}

bool PgServer::Fail(const std::string& what, const std::string& output) const {
  last_error_ = what + " failed:\n" + output + "\n--- end of " +
                (folder_ / "server.log").string() + ":\n" + LogTail();
  return false;
}

std::string PgServer::LogTail() const {
  std::ifstream in(folder_ / "server.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(std::move(line));
    if (lines.size() > 20) lines.erase(lines.begin());
  }
  std::string tail;
  for (const std::string& line : lines) tail += line + "\n";
  return tail;
}

}  // namespace srom::test
