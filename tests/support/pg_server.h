// A throwaway PostgreSQL server for the tests of the line's ledger: a fresh
// cluster in its own temporary folder, reached through a Unix socket in that
// folder only (no TCP), with trust authentication for the database user
// "srom". It runs Debian's initdb and pg_ctl (the postgresql package); as
// root, the server runs as the unprivileged user "postgres" (or "nobody"),
// since PostgreSQL refuses to run as root. POSIX only; no libpq.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace srom::test {

struct PgServerOptions {
  // Every commit flushed to the disk, as on a line's server. Off by default:
  // the tests crash the server but never the machine, and want it fast.
  bool durable = false;
  // How many sessions the server takes at once; 0 keeps the server's own
  // default (100), too few for a line of a few hundred stations.
  int max_connections = 0;
};

class PgServer {
 public:
  // A running server with the empty database "srom"; null with `*why` set
  // (what failed, its output and the end of the server's log) otherwise.
  static std::unique_ptr<PgServer> Start(std::string* why,
                                         PgServerOptions options = {});

  // A standby of this running server: a copy made with pg_basebackup,
  // following it through a replication slot of its own, on a socket of its
  // own, read-only until promoted. Synchronous: this server then answers a
  // commit only once the standby has it (and answers none while it is away);
  // asynchronous: at once. Null with `*why` set otherwise.
  std::unique_ptr<PgServer> StartStandby(bool synchronous, std::string* why);
  // Makes this standby a primary that takes writes (pg_ctl promote), and
  // one that waits for no standby of its own.
  bool Promote();
  // Kills every process of the server at once (SIGKILL), frozen or not: a
  // machine that dies. Its socket file stays behind, answering nothing.
  bool Kill();

  // Stops the server at once when it runs and removes its folder.
  ~PgServer();
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  // The libpq URL of `database`, as a station's "ledger=" has it:
  // postgresql:///srom?host=<folder>&port=<port>&user=srom
  std::string Url(const std::string& database = "srom") const;
  // The address of a primary and its standby, as a line's stations have it
  // to follow a failover: both hosts, the first that takes writes.
  // postgresql:///srom?host=<f1>,<f2>&port=<p1>,<p2>&user=srom&
  // target_session_attrs=read-write
  static std::string PairUrl(const PgServer& first, const PgServer& second,
                             const std::string& database = "srom");

  // A new empty database, so that each test has its own.
  bool CreateDatabase(const std::string& name);

  // Stops the server: at once (as a crash would: no checkpoint, sessions cut
  // off) or after the sessions ended and a checkpoint.
  bool Stop(bool immediate);
  // Starts the stopped server again on the same data and the same socket.
  bool StartAgain();
  bool running() const { return running_; }

  // Stops every process of the server (SIGSTOP: the postmaster first, so
  // that it starts no new one, then each of its children), as a machine that
  // hangs: its socket still takes connections and statements, and nothing
  // answers. Thaw() lets them all go on (SIGCONT), where they were.
  bool Freeze();
  bool Thaw();
  bool frozen() const { return frozen_; }

  // Runs `sql` with psql in `database`; its rows come back unaligned, one a
  // line, fields separated by '|'. False when psql fails (the server is
  // down, the SQL is wrong); `*output` then holds psql's messages.
  bool Psql(const std::string& sql, std::string* output,
            const std::string& database = "srom") const;

  // What the last failed call above says, with the end of the server's log.
  const std::string& last_error() const { return last_error_; }

  // The folder that holds the socket, the data and server.log.
  const std::filesystem::path& folder() const { return folder_; }
  int port() const { return port_; }

 private:
  PgServer(std::filesystem::path bindir, std::filesystem::path folder, int port,
           PgServerOptions options);

  // A server object on a new empty folder that its user may write, before
  // its cluster is made.
  static std::unique_ptr<PgServer> Make(std::string* why,
                                        PgServerOptions options);

  bool StartServer();
  // The postmaster and its children, by the server's pid file and /proc.
  std::vector<long> ServerProcesses() const;
  // `args` run as the server's user.
  std::vector<std::string> AsServerUser(std::vector<std::string> args) const;
  bool Fail(const std::string& what, const std::string& output) const;
  std::string LogTail() const;

  std::filesystem::path bindir_;
  std::filesystem::path folder_;
  int port_ = 0;
  PgServerOptions options_;
  bool running_ = false;
  bool frozen_ = false;
  // The user the server runs as when the tests run as root; -1 otherwise.
  long uid_ = -1;
  long gid_ = -1;
  mutable std::string last_error_;
};

}  // namespace srom::test
