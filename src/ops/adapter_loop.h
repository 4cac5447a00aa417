// Where programming several adapters slots into Program and Dump: with
// "MultiEnable" checked the job asks the loop what to run.
#pragma once

#include <functional>

#include "ops/ops_context.h"
#include "ops/outcome.h"

namespace srom {

class AdapterLoop {
 public:
  enum class Plan {
    kNothing,  // no adapter box checked
    kSingle,   // one box checked and one adapter found: one plain run
    kLoop,     // every checked adapter in turn
  };
  enum class Kind { kProgram, kDump };
  virtual ~AdapterLoop() = default;
  virtual Plan PlanRun() = 0;
  // Runs `unit` once for every chosen adapter, with its connection the only
  // one enabled, showing each adapter's picture, the progress and the loop's
  // log. The unit works with the context it is given, whose panel names the
  // adapter in every message. The first failure of the units, or kOk.
  using Unit = std::function<Outcome(const OpsContext&)>;
  virtual Outcome RunLoop(Kind kind, const OpsContext& ctx,
                          const Unit& unit) = 0;
};

}  // namespace srom
