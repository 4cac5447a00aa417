#include "ledger/pg_schema.h"

namespace srom::pg {
namespace {

// The database keeps the rules as well as the code, so that neither a bug
// nor a hand-made row breaks them. Above all: one MAC space for the line. At
// most one unit holds a MAC address at any time (srom_unit_mac_holder), and
// at most one is being written with it (srom_unit_mac_writing), whatever the
// stations' ranges. A deliberate rework is a unit that names the holder it
// repeats (reissue_of), and the foreign key keeps it to the same MAC address
// and the same station.
constexpr std::string_view kSteps[] = {
    R"sql(
CREATE TABLE srom_pool (
  name text PRIMARY KEY CHECK (name ~ '^[A-Za-z0-9._-]{1,32}$'),
  first_mac bigint NOT NULL CHECK (first_mac BETWEEN 0 AND 281474976710655),
  last_mac bigint NOT NULL
    CHECK (last_mac BETWEEN first_mac AND 281474976710655),
  increment integer NOT NULL CHECK (increment BETWEEN 1 AND 65535),
  next_mac bigint NOT NULL CHECK (next_mac >= first_mac)
);

CREATE TABLE srom_unit (
  id bigserial PRIMARY KEY,
  mac text NOT NULL CHECK (mac ~ '^[0-9A-F]{12}$'),
  serial text NOT NULL CHECK (serial ~ '^[0-9A-F]{14}$'),
  device_sel smallint NOT NULL CHECK (device_sel BETWEEN 0 AND 3),
  image_digest text NOT NULL,
  station text NOT NULL,
  pool text REFERENCES srom_pool (name),
  reserved_at text NOT NULL
    CHECK (reserved_at ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$'),
  closed_at text
    CHECK (closed_at ~ '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$'),
  state text NOT NULL
    CHECK (state IN ('reserved', 'programmed', 'released', 'interrupted')),
  settings_saved boolean NOT NULL DEFAULT false,
  reissue_of bigint,
  token text UNIQUE,
  CHECK ((state = 'reserved') = (closed_at IS NULL)),
  CHECK (NOT settings_saved OR state IN ('programmed', 'interrupted')),
  UNIQUE (id, mac, station),
  FOREIGN KEY (reissue_of, mac, station) REFERENCES srom_unit (id, mac, station)
);

CREATE UNIQUE INDEX srom_unit_mac_holder ON srom_unit (mac)
  WHERE state <> 'released' AND reissue_of IS NULL;
CREATE UNIQUE INDEX srom_unit_mac_writing ON srom_unit (mac)
  WHERE state = 'reserved';
CREATE INDEX srom_unit_station ON srom_unit (station, id);
)sql",
    // A unit whose write went out but did not verify is failed: it holds its
    // MAC address, which may go again only to that same adapter.
    R"sql(
ALTER TABLE srom_unit DROP CONSTRAINT srom_unit_state_check;
ALTER TABLE srom_unit ADD CONSTRAINT srom_unit_state_check CHECK
  (state IN ('reserved', 'programmed', 'released', 'interrupted', 'failed'));
)sql",
    // Which database this is, written once: a station's outbox names it in
    // each close it keeps, and sends a close only to the database it came
    // from. And the stations open now, each holding its name on the line
    // (an advisory lock on a hash of it): the row says which computer and
    // process hold it, and since when, for the refusal of a second station
    // under the same name.
    R"sql(
CREATE TABLE srom_ledger_id (
  id text PRIMARY KEY CHECK (id ~ '^[0-9a-f]{32}$'),
  single boolean NOT NULL DEFAULT true UNIQUE CHECK (single)
);
INSERT INTO srom_ledger_id (id)
  VALUES (md5(random()::text || clock_timestamp()::text ||
              pg_backend_pid()::text || current_database()));

CREATE TABLE srom_station (
  name text PRIMARY KEY,
  computer text NOT NULL,
  pid bigint NOT NULL,
  since timestamptz NOT NULL
);
)sql",
};

}  // namespace

std::span<const std::string_view> SchemaSteps() { return kSteps; }

}  // namespace srom::pg
