// Where programming several adapters slots into Program and Dump: with
// "MultiEnable" checked the job asks the loop what to run.
#pragma once

#include <functional>

namespace srom {

class AdapterLoop {
 public:
  enum class Plan {
    kNothing,  // no adapter box checked
    kSingle,   // one box checked and one adapter found: one plain run
    kLoop,     // every checked adapter in turn
  };
  virtual ~AdapterLoop() = default;
  virtual Plan PlanRun() = 0;
  // Runs `per_adapter` once for every chosen adapter, with its connection
  // the only one enabled.
  virtual void RunLoop(const std::function<void()>& per_adapter) = 0;
};

}  // namespace srom
