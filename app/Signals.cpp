#include "app/Signals.h"

#include <signal.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
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

void Watch(std::function<void(int)> onSignal) {
  Block();
  std::thread([onSignal = std::move(onSignal)] {
    const sigset_t s = Set();
    for (;;) {
      int sig = 0;
      if (sigwait(&s, &sig) == 0) onSignal(sig);
    }
  }).detach();
}

void Install(std::function<void(int)> onSignal) {
  // The application object is taken here, on the main thread; the waiting thread only posts to it.
  QPointer<QCoreApplication> app = QCoreApplication::instance();
  Watch([app, onSignal = std::move(onSignal)](int sig) {
    // Whatever the main thread is doing (a message box, a run's question), its event loop picks this up
    // within moments.
    if (app) QMetaObject::invokeMethod(app, [onSignal, sig] { onSignal(sig); }, Qt::QueuedConnection);
  });
}

}  // namespace Signals
