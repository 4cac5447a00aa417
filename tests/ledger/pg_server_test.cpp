// The throwaway PostgreSQL server of the line ledger's tests: what it
// commits outlives an immediate stop, it answers on its socket alone when
// started again, and it leaves nothing behind.
#include "support/pg_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace srom::test {
namespace {

TEST(PgServerTest, KeepsCommittedRowsAcrossAnImmediateStopAndCleansUp) {
  std::string why;
  std::unique_ptr<PgServer> server = PgServer::Start(&why);
  ASSERT_NE(server, nullptr) << why;
  ASSERT_TRUE(server->running());

  ASSERT_TRUE(server->CreateDatabase("station_a")) << server->last_error();
  std::string out;
  ASSERT_TRUE(
      server->Psql("create table units (mac text); "
                   "insert into units values ('00A0C9000001')",
                   &out, "station_a"))
      << out;

  ASSERT_TRUE(server->Stop(/*immediate=*/true)) << server->last_error();
  EXPECT_FALSE(server->running());
  EXPECT_FALSE(server->Psql("select 1", &out)) << "still answers: " << out;

  ASSERT_TRUE(server->StartAgain()) << server->last_error();
  ASSERT_TRUE(server->Psql("select 1", &out)) << server->last_error();
  EXPECT_EQ(out, "1\n");
  ASSERT_TRUE(server->Psql("select mac from units", &out, "station_a")) << out;
  EXPECT_EQ(out, "00A0C9000001\n");
  // The socket in its folder only: no TCP port for other programs to hit.
  ASSERT_TRUE(server->Psql("show listen_addresses", &out)) << out;
  EXPECT_EQ(out, "\n");

  const std::filesystem::path folder = server->folder();
  server.reset();
  EXPECT_FALSE(std::filesystem::exists(folder));
}

}  // namespace
}  // namespace srom::test
