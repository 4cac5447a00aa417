// Everything an operation reads and writes besides the adapter: the settings
// and their numbers, the two image buffers, the image size, the busy mark and
// the folders. The main window owns one for its whole life; srom-cli builds
// one per run from the station's folder.
#pragma once

#include <set>
#include <string>

#include "files/file_io.h"
#include "model/image_buffer.h"
#include "model/settings.h"

namespace srom {

struct Station {
  SromSettings settings;
  LastAccepted accepted;
  NumericValues values;
  ImageBuffer prev = BlankBuffer();  // the image to write
  ImageBuffer dump = BlankBuffer();  // what was read back
  int image_size = kSromSize512;
  // Set while a single-unit sequence is past its start checks; a second
  // sequence that finds it set returns at once.
  bool busy = false;
  bool last_save_ok = false;
  FileFolders folders;
  // The station as the production ledger names it (station.ini's "station",
  // else its folder as the system resolves it, on the line's server with
  // the computer's name before).
  std::string name;
  // The line pool the station takes its MAC addresses from, or empty.
  std::string pool;
  // No unit while no synchronous standby acknowledges the line's server's
  // commits (require_standby=yes in station.ini).
  bool require_standby = false;
  // The line's ledger server was away when the station opened: the station
  // is brought into step with it before its first unit.
  bool ledger_out_of_step = false;
  // A unit was programmed but the settings file could not be saved after
  // it: the next unit waits until it is (its MAC address, for the message).
  std::string unsaved_after_mac;
  // The outbox's lines the operator has been told stay unsent (meant for
  // another ledger): each is said once.
  std::set<std::string> outbox_told;
  // The station's own ledger lost its units while its log or settings show
  // some (LedgerGap): no unit is programmed until the ledger is rebuilt.
  // The message opening showed; empty while the ledger is whole.
  std::string ledger_gap;
};

}  // namespace srom
