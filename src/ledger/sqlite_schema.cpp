#include "ledger/sqlite_schema.h"

namespace srom::sqlite {
namespace {

// The rules the rows keep are checked by the database as well as by the
// code, so that neither a bug nor a hand-edited file slips a malformed row
// in. At most one row per MAC address is reserved at any time.
constexpr std::string_view kSteps[] = {
    R"sql(
PRAGMA application_id = 1397903181;

CREATE TABLE unit (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  mac TEXT NOT NULL
    CHECK (length(mac) = 12 AND mac NOT GLOB '*[^0-9A-F]*'),
  serial TEXT NOT NULL
    CHECK (length(serial) = 14 AND serial NOT GLOB '*[^0-9A-F]*'),
  device_sel INTEGER NOT NULL CHECK (device_sel BETWEEN 0 AND 3),
  image_digest TEXT NOT NULL,
  station TEXT NOT NULL,
  reserved_at TEXT NOT NULL CHECK (reserved_at GLOB
    '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'),
  closed_at TEXT CHECK (closed_at GLOB
    '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'),
  state TEXT NOT NULL
    CHECK (state IN ('reserved', 'programmed', 'released', 'interrupted')),
  settings_saved INTEGER NOT NULL DEFAULT 0 CHECK (settings_saved IN (0, 1)),
  CHECK ((state = 'reserved') = (closed_at IS NULL)),
  CHECK (settings_saved = 0 OR state IN ('programmed', 'interrupted'))
) STRICT;

CREATE UNIQUE INDEX unit_reserved_mac ON unit (mac) WHERE state = 'reserved';
CREATE INDEX unit_mac ON unit (mac);
)sql",
    // A unit whose write went out but did not verify is failed: it holds its
    // MAC address, which may go again only to that same adapter. SQLite
    // changes a CHECK only by building the table anew; the ids and the
    // AUTOINCREMENT counter come along, so no id is ever given twice.
    R"sql(
CREATE TABLE unit_new (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  mac TEXT NOT NULL
    CHECK (length(mac) = 12 AND mac NOT GLOB '*[^0-9A-F]*'),
  serial TEXT NOT NULL
    CHECK (length(serial) = 14 AND serial NOT GLOB '*[^0-9A-F]*'),
  device_sel INTEGER NOT NULL CHECK (device_sel BETWEEN 0 AND 3),
  image_digest TEXT NOT NULL,
  station TEXT NOT NULL,
  reserved_at TEXT NOT NULL CHECK (reserved_at GLOB
    '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'),
  closed_at TEXT CHECK (closed_at GLOB
    '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]'),
  state TEXT NOT NULL CHECK (state IN
    ('reserved', 'programmed', 'released', 'interrupted', 'failed')),
  settings_saved INTEGER NOT NULL DEFAULT 0 CHECK (settings_saved IN (0, 1)),
  CHECK ((state = 'reserved') = (closed_at IS NULL)),
  CHECK (settings_saved = 0 OR state IN ('programmed', 'interrupted'))
) STRICT;
INSERT INTO unit_new (id, mac, serial, device_sel, image_digest, station,
                      reserved_at, closed_at, state, settings_saved)
  SELECT id, mac, serial, device_sel, image_digest, station, reserved_at,
         closed_at, state, settings_saved FROM unit;
DELETE FROM sqlite_sequence WHERE name = 'unit_new';
INSERT INTO sqlite_sequence (name, seq)
  SELECT 'unit_new', seq FROM sqlite_sequence WHERE name = 'unit';
DROP TABLE unit;
ALTER TABLE unit_new RENAME TO unit;
CREATE UNIQUE INDEX unit_reserved_mac ON unit (mac) WHERE state = 'reserved';
CREATE INDEX unit_mac ON unit (mac);
)sql",
};

}  // namespace

std::span<const std::string_view> SchemaSteps() { return kSteps; }

}  // namespace srom::sqlite
