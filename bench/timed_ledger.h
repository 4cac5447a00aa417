// A station's ledger with a stopwatch on the reservation: every call goes
// through to the ledger the station opened, and from the first call of a
// unit to its reservation committed (every read of the pool and every try
// again included) is the unit's reservation time, what a station waits for
// before it may write the adapter.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ledger/ledger.h"

namespace srom {

class TimedLedger : public Ledger {
 public:
  using Clock = std::chrono::steady_clock;

  explicit TimedLedger(Ledger& ledger) : ledger_(ledger) {}

  // The next unit starts: its first ledger call starts the stopwatch.
  void StartUnit() {
    started_.reset();
    reserved_.reset();
    moved_this_unit_ = 0;
  }
  // The unit's reservation time, once it reserved.
  std::optional<Clock::duration> reservation() const {
    if (!started_ || !reserved_) return std::nullopt;
    return *reserved_ - *started_;
  }
  // Reservations refused because another station took the pool's value:
  // in all, and the most for one unit.
  int pool_moved() const { return pool_moved_; }
  int most_pool_moved() const { return most_pool_moved_; }
  // The first call the server did not answer in time, or empty.
  const std::string& first_unanswered() const { return first_unanswered_; }

  LedgerResult<std::int64_t> Reserve(const UnitDraft& draft) override {
    Touch();
    auto reserved = Seen("Reserve", ledger_.Reserve(draft));
    if (reserved.ok()) {
      reserved_ = Clock::now();
    } else if (reserved.fault == LedgerFault::kPoolMoved) {
      ++pool_moved_;
      most_pool_moved_ = std::max(most_pool_moved_, ++moved_this_unit_);
    }
    return reserved;
  }
  LedgerStatus MarkProgrammed(std::int64_t id,
                              const std::string& time) override {
    Touch();
    return Seen("MarkProgrammed", ledger_.MarkProgrammed(id, time));
  }
  LedgerStatus Release(std::int64_t id, const std::string& time) override {
    Touch();
    return Seen("Release", ledger_.Release(id, time));
  }
  LedgerStatus MarkFailed(std::int64_t id, const std::string& time) override {
    Touch();
    return Seen("MarkFailed", ledger_.MarkFailed(id, time));
  }
  LedgerStatus SetAside(std::int64_t id, const std::string& time) override {
    Touch();
    return Seen("SetAside", ledger_.SetAside(id, time));
  }
  LedgerStatus MarkSettingsSaved(std::int64_t id) override {
    Touch();
    return Seen("MarkSettingsSaved", ledger_.MarkSettingsSaved(id));
  }
  LedgerResult<std::vector<UnitRecord>> RecoverInterrupted(
      const std::string& time) override {
    Touch();
    return Seen("RecoverInterrupted", ledger_.RecoverInterrupted(time));
  }
  LedgerResult<std::optional<UnitRecord>> FindUsed(
      const std::string& mac) override {
    Touch();
    return Seen("FindUsed", ledger_.FindUsed(mac));
  }
  LedgerResult<std::optional<UnitRecord>> LatestUsed() override {
    Touch();
    return Seen("LatestUsed", ledger_.LatestUsed());
  }
  LedgerResult<std::vector<UnitRecord>> Units() override {
    Touch();
    return Seen("Units", ledger_.Units());
  }
  LedgerResult<std::optional<UnitRecord>> Unit(std::int64_t id) override {
    Touch();
    return Seen("Unit", ledger_.Unit(id));
  }
  std::string LedgerIdentity() const override {
    return ledger_.LedgerIdentity();
  }
  bool LineWide() const override { return ledger_.LineWide(); }
  LedgerResult<PoolState> Pool(const std::string& name) override {
    Touch();
    return Seen("Pool", ledger_.Pool(name));
  }
  LedgerResult<std::vector<PoolState>> Pools() override {
    Touch();
    return Seen("Pools", ledger_.Pools());
  }
  LedgerStatus CreatePool(const PoolState& pool) override {
    Touch();
    return Seen("CreatePool", ledger_.CreatePool(pool));
  }

 private:
  // The first call of a unit starts its stopwatch; calls after its
  // reservation (the close, the settings saved) leave it alone.
  void Touch() {
    if (!started_) started_ = Clock::now();
  }

  // `result` of the call `name`, passed on; the first one the server did
  // not answer is remembered.
  template <class Result>
  Result Seen(const char* name, Result result) {
    if (result.fault == LedgerFault::kUnreachable &&
        first_unanswered_.empty()) {
      first_unanswered_ = name;
    }
    return result;
  }

  Ledger& ledger_;
  std::optional<Clock::time_point> started_;
  std::optional<Clock::time_point> reserved_;
  int pool_moved_ = 0;
  int moved_this_unit_ = 0;
  int most_pool_moved_ = 0;
  std::string first_unanswered_;
};

}  // namespace srom
