// What an operation came to, as a class a line controller can act on. The
// operations decide it where the failure happens; no front end works it out
// from the messages shown on the way.
#pragma once

namespace srom {

enum class Outcome {
  kOk,
  kFailed,            // for a reason outside the classes below
  kSettingsRejected,  // a check refused the settings or the image built
  kDeviceAbsent,      // the adapter's control device did not open
  kWriteFailed,       // the driver refused a request, or the eFuse is used
  kVerifyFailed,      // the adapter holds other bytes than it should
  kFileRejected,      // a file was refused or could not be written
  kNotConfirmed,      // the operator answered Cancel
  kMacAlreadyUsed,    // the ledger holds the MAC address as given to a unit
  kStationBusy,       // another program holds the station folder, or
                      // another station its name on the line
  kLedgerUnreachable, // the line's ledger server does not answer
  kInterrupted,       // stopped on request between adapters of a loop
  kLedgerRejected,    // the line's ledger server refuses the settings
  kLedgerUnprotected, // no synchronous standby acknowledges the line's
                      // ledger server's commits, and the station requires one
};

// The first failure stands: later ones follow from it.
inline Outcome FirstFailure(Outcome first, Outcome then) {
  return first != Outcome::kOk ? first : then;
}

}  // namespace srom
