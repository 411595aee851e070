#pragma once
#include <functional>

namespace ui {

// The windows install what "let pending messages be processed" means; the engine calls Yield() as
// often as it likes and the handler runs only when some milliseconds have passed since the last run.
void SetYieldHandler(std::function<void()> handler);
void Yield();
// True when a handler is installed (a window is there to keep answering).
bool HasYieldHandler();
// Runs the handler now, whatever the time.
void YieldNow();
// How many times the handler ran (for measurements).
long YieldCount();

// Holds a "busy" flag up for the life of a scope: every way out, a throw included, lowers it.
class BusyScope {
 public:
  explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~BusyScope() { flag_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace ui
