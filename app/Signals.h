#pragma once
#include <functional>

// SIGTERM, SIGINT and SIGHUP end the program cleanly at any moment. The embedded Firebird engine
// installs handlers of its own for them once it loads; here they are kept blocked in every thread and
// taken by one thread that waits for them, so the engine never sees them.
namespace Signals {

// Blocks the three signals in the calling thread; call first in main, before any thread starts, so
// that every later thread inherits the mask.
void Block();

// Starts the waiting thread; `onSignal` runs on the main (Qt) thread's event loop for each signal.
// Call on the main thread once the application object exists.
void Install(std::function<void(int)> onSignal);

// Starts the waiting thread; `onSignal` runs on that thread itself for each signal (it must only do
// what is safe from another thread: set a flag, end the process).
void Watch(std::function<void(int)> onSignal);

}  // namespace Signals
