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

}  // namespace ui
