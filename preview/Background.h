#pragma once
#include <QObject>
#include <QPointer>
#include <QThread>
#include <utility>

// Work away from the window's thread, then a call back on it.
//
// Runs `work` on a thread of its own; once it has ended, `done` runs on the thread of `context` (a
// window), unless `context` has been destroyed by then: a window that is gone is never called back.
// The thread deletes itself after that. The pointer returned is for waiting on the work (it is null
// once the thread is gone).
template <class Work, class Done>
QPointer<QThread> RunThenCallback(QObject* context, Work work, Done done) {
  QThread* thread = QThread::create(std::move(work));
  QObject::connect(thread, &QThread::finished, context, std::move(done));
  QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
  thread->start();
  return thread;
}
