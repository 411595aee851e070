#include "app/Signals.h"

#include <signal.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <thread>

namespace Signals {
namespace {
sigset_t Set() {
  sigset_t s;
  sigemptyset(&s);
  sigaddset(&s, SIGTERM);
  sigaddset(&s, SIGINT);
  sigaddset(&s, SIGHUP);
  return s;
}
}  // namespace

void Block() {
  const sigset_t s = Set();
  pthread_sigmask(SIG_BLOCK, &s, nullptr);
}

void Install(std::function<void(int)> onSignal) {
  Block();
  std::thread([onSignal = std::move(onSignal)] {
    const sigset_t s = Set();
    for (;;) {
      int sig = 0;
      if (sigwait(&s, &sig) != 0) continue;
      // Whatever the main thread is doing (a run that pumps messages, a message box), its event loop
      // picks this up within moments.
      QMetaObject::invokeMethod(
          QCoreApplication::instance(), [onSignal, sig] { onSignal(sig); }, Qt::QueuedConnection);
    }
  }).detach();
}

}  // namespace Signals
