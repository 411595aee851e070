#pragma once
#include <QObject>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conversion/ConversionRun.h"

#include <QThread>

// A conversion run on a thread of its own. It starts with the window's options (the run owns its two
// connections), and reaches the window only through calls queued to the window's thread: progress and
// script lines without waiting, questions (Overwrite?, a preview, a message) waiting for the answer. The
// window's thread makes no driver call for it, apart from the preview's own "Execute SQL", which runs on
// the connection the run lends while it waits for the preview to close.
class RunWorker : public QObject, public conversion::RunEvents, public conversion::DatatypeSink {
  Q_OBJECT

 public:
  // `window` answers on the thread of `context` (the window itself).
  RunWorker(conversion::RunOptions options, conversion::RunEvents& window, QObject* context);
  ~RunWorker() override;

  // Starts the run; `finished` is emitted on the window's thread once it has ended.
  void Start();
  bool Running() const { return running_; }
  // Asks the run to end after the statement in progress; a statement either database is working on is
  // cancelled, so that the run need not wait for it.
  void RequestStop();
  // From now on every question is answered at once without the window (No, or the preview's "leave"),
  // so that the run can wind up while the program ends.
  void AnswerAlone() { alone_ = true; }
  // Stop, every question answered alone, and a wait of up to `milliseconds` (-1: until it ends) for the
  // run to wind up. While the run waits for an answer, what succeeded was committed before the question,
  // and it is not waited for. False when it did not end in time.
  bool WindUp(int milliseconds);
  // What the run leaves behind, for the window to keep once it has finished.
  std::unique_ptr<ado::Connection> TakeMssql() { return run_.TakeMssql(); }
  std::unique_ptr<ado::Connection> TakeFirebird() { return run_.TakeFirebird(); }
  // What the run listed and the table it took up last, once it has finished.
  const std::string& CurrentTable() const { return run_.CurrentTable(); }
  const std::vector<std::string>& SourceTables() const { return run_.SourceTables(); }
  const std::vector<std::string>& TargetTables() const { return run_.TargetTables(); }
  // The run's Firebird connection for the preview's "Execute SQL" while the worker waits.
  conversion::Session::Lease LendFirebird() { return run_.LendFirebird(); }

  // RunEvents, called on the worker's thread.
  void Progress(const conversion::RunProgress& progress) override;
  int AskOverwrite(const std::string& text, bool first) override;
  void Tell(conversion::MessageKind kind, const std::string& text) override;
  void NewScript() override;
  void ScriptStatement(const std::string& statement) override;
  conversion::DatatypeSink& Datatypes() override { return *this; }
  conversion::PreviewOutcome ShowPreview() override;

  // DatatypeSink, called on the worker's thread.
  void AppendRow(const std::string& table, const std::string& column) override;
  void SetLastRowTypes(const std::string& keyword, const std::string& firebirdType) override;
  void Clear() override;

 signals:
  void finished();

 private:
  // Runs `f` on the window's thread without waiting; calls keep their order.
  void Post(std::function<void()> f);
  // Runs `f` on the window's thread and waits for it; script lines not sent yet go first.
  void Ask(const std::function<void()>& f);
  void SendScript();

  conversion::RunOptions options_;
  conversion::RunEvents& window_;
  QPointer<QObject> context_;
  std::vector<std::string> script_;  // lines not yet sent to the window
  int shownTable_ = -1;              // the whole run's progress goes to the window a few times a second
  std::chrono::steady_clock::time_point shownAt_;
  std::atomic<bool> stop_{false}, alone_{false}, asking_{false}, running_{false};
  conversion::ConversionRun run_{*this};
  QPointer<QThread> thread_;
};
