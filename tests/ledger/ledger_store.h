// A fresh production ledger of either kind for a test: the station's own
// SQLite file in a new folder, or a new database on the line's PostgreSQL
// server that the test binary starts for itself (once, on first use).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <unistd.h>

#include "ledger/sqlite_ledger.h"
#include "ledger_test_support.h"
#ifdef SROM_HAVE_PG_LEDGER
#include "ledger/pg_ledger.h"
#ifdef _WIN32
#include <libpq-fe.h>

#include <cstdlib>
#include <fstream>
#else
#include "support/pg_server.h"
#endif
#endif

namespace srom::test {

enum class Backend { kSqlite, kPostgres };

// The binary of the line's tests runs the contract on the server (one server
// for all its cases); the station's binary on SQLite files.
inline constexpr Backend kBackends[] = {
#ifdef SROM_HAVE_PG_LEDGER
    Backend::kPostgres,
#else
    Backend::kSqlite,
#endif
};

inline std::string BackendName(Backend backend) {
  return backend == Backend::kSqlite ? "Sqlite" : "Postgres";
}

#if defined(SROM_HAVE_PG_LEDGER) && defined(_WIN32)
// Under wine a test cannot start Debian's server: ctest's fixture starts one
// on the Linux side (tests/support/pg_tcp_server.sh), on 127.0.0.1 over TLS
// with scram-sha-256, as a line's server is reached. The file that
// SROM_TEST_PG_CONNINFO names holds its libpq keywords; the password comes
// from the file PGPASSFILE names, never from a string a message could show.
inline std::string FreshDatabaseUrl() {
  static std::atomic<int> count{0};
  const char* file = std::getenv("SROM_TEST_PG_CONNINFO");
  std::string server;
  if (file != nullptr) {
    std::ifstream in(file);
    std::getline(in, server);
  }
  if (server.empty()) {
    ADD_FAILURE() << "no PostgreSQL server: SROM_TEST_PG_CONNINFO names no "
                     "file of pg_tcp_server.sh's";
    return {};
  }
  const std::string name =
      "t" + std::to_string(getpid()) + "_" + std::to_string(++count);
  // Bounded like every wait: the server is on this machine.
  PGconn* admin = PQconnectdb((server + " dbname=srom connect_timeout=10 "
                                        "options='-c statement_timeout=30000'")
                                  .c_str());
  PGresult* created = nullptr;
  if (PQstatus(admin) == CONNECTION_OK) {
    created = PQexec(admin, ("CREATE DATABASE " + name).c_str());
  }
  const bool ok = PQresultStatus(created) == PGRES_COMMAND_OK;
  const std::string why = PQerrorMessage(admin);
  PQclear(created);
  PQfinish(admin);
  if (!ok) {
    ADD_FAILURE() << "no database " << name << ": " << why;
    return {};
  }
  return server + " dbname=" + name;
}
#elif defined(SROM_HAVE_PG_LEDGER)
// The server of this test binary, started at its first use and stopped when
// the binary ends; null, after a test failure that says why, when it cannot
// be started.
inline PgServer* SharedPgServer() {
  static std::string why;
  static const std::unique_ptr<PgServer> server = PgServer::Start(&why);
  if (server == nullptr) ADD_FAILURE() << "no PostgreSQL server: " << why;
  return server.get();
}

// A database of its own on the shared server, for one test.
inline std::string FreshDatabaseUrl() {
  static std::atomic<int> count{0};
  PgServer* server = SharedPgServer();
  if (server == nullptr) return {};
  const std::string name = "t" + std::to_string(getpid()) + "_" +
                           std::to_string(++count);
  if (!server->CreateDatabase(name)) {
    ADD_FAILURE() << "no database " << name << ": " << server->last_error();
    return {};
  }
  return server->Url(name);
}
#endif

class LedgerStore {
 public:
  virtual ~LedgerStore() = default;
  // A new connection to the same ledger; null after a test failure.
  virtual std::unique_ptr<Ledger> Open() = 0;
  // What the ledger's refusals call it.
  virtual std::string name() const = 0;

  static std::unique_ptr<LedgerStore> Make(Backend backend);
};

class SqliteStore : public LedgerStore {
 public:
  std::unique_ptr<Ledger> Open() override { return OpenLedger(file()); }
  std::string name() const override { return file().string(); }

 private:
  fs::path file() const { return LedgerFileIn(folder_); }
  TempFolder folder_;
};

#ifdef SROM_HAVE_PG_LEDGER
class PostgresStore : public LedgerStore {
 public:
  // Drafts name their station "Line 1": the station this ledger is opened as.
  explicit PostgresStore(std::string station = "Line 1")
      : url_(FreshDatabaseUrl()), station_(std::move(station)) {}
  std::unique_ptr<Ledger> Open() override { return OpenAs(station_); }
  std::string name() const override { return "line's production ledger"; }

  std::unique_ptr<PgLedger> OpenAs(const std::string& station) {
    if (url_.empty()) return nullptr;
    auto opened = PgLedger::Open(url_, station);
    EXPECT_TRUE(opened.ok()) << opened.error;
    return opened.ok() ? std::move(*opened.value) : nullptr;
  }
  const std::string& url() const { return url_; }

 private:
  std::string url_;
  std::string station_;
};
#endif

inline std::unique_ptr<LedgerStore> LedgerStore::Make(Backend backend) {
#ifdef SROM_HAVE_PG_LEDGER
  if (backend == Backend::kPostgres) return std::make_unique<PostgresStore>();
#endif
  (void)backend;
  return std::make_unique<SqliteStore>();
}

}  // namespace srom::test
