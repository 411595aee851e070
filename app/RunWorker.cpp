#include "app/RunWorker.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {
// Script lines go to the window in groups, not one queued call each.
constexpr size_t kScriptBatch = 256;
}  // namespace

RunWorker::RunWorker(conversion::RunHost& window, QObject* context)
    : window_(window),
      context_(context),
      sql_(window.SqlServerLogin()),
      fb_(window.FirebirdLogin()),
      preview_(window.PreviewOn()),
      perFile_(window.PreviewPerFile()),
      perTable_(window.PreviewPerTable()),
      copyKeys_(window.CopyKeys()),
      verify_(window.Verify()),
      rules_(window.Rules()),
      casts_(window.Casts()) {}

RunWorker::~RunWorker() {
  if (thread_) {
    WindUp(-1);
    delete thread_;
  }
}

void RunWorker::Start() {
  running_ = true;
  thread_ = QThread::create([this] {
    run_.Run();
    SendScript();
  });
  connect(thread_, &QThread::finished, this, [this] {
    running_ = false;
    emit finished();
  });
  thread_->start();
}

bool RunWorker::WindUp(int milliseconds) {
  RequestStop();
  AnswerAlone();
  if (!thread_) return true;
  // A question abandoned by AnswerAlone lets the run go on; one the window is answering is waited for
  // only by the destructor, whose window has no question open.
  if (asking_ && milliseconds >= 0) return false;
  return thread_->wait(milliseconds < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(milliseconds));
}

void RunWorker::Post(std::function<void()> f) {
  if (alone_ || !context_) return;
  QMetaObject::invokeMethod(context_, std::move(f), Qt::QueuedConnection);
}

void RunWorker::Ask(const std::function<void()>& f) {
  SendScript();
  if (alone_ || !context_) return;
  // The window answers when its loop gets to it. A question it has not begun to answer is given up
  // once the window stops answering (AnswerAlone), so that a window going away never waits on a run that
  // waits on it; one it has begun is waited for.
  struct State {
    std::mutex m;
    std::condition_variable cv;
    bool begun = false, done = false, abandoned = false;
  };
  auto state = std::make_shared<State>();
  asking_ = true;
  QMetaObject::invokeMethod(
      context_,
      [state, &f] {
        {
          std::lock_guard<std::mutex> lock(state->m);
          if (state->abandoned) return;
          state->begun = true;
        }
        f();
        std::lock_guard<std::mutex> lock(state->m);
        state->done = true;
        state->cv.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(state->m);
  while (!state->done) {
    if (alone_ && !state->begun) {
      state->abandoned = true;
      break;
    }
    state->cv.wait_for(lock, std::chrono::milliseconds(50));
  }
  asking_ = false;
}

void RunWorker::SendScript() {
  if (script_.empty()) return;
  Post([this, lines = std::move(script_)] {
    for (const auto& line : lines) window_.AppendScript(line);
  });
  script_.clear();
}

void RunWorker::FilterTables(std::vector<std::string>& tables, std::vector<std::string>& notes) {
  for (const auto& t : leftOut_) {
    const auto at = std::find(tables.begin(), tables.end(), t);
    if (at != tables.end()) tables.erase(at);
    else notes.push_back("The table " + t + ", left out with \"Tables...\", is no longer in the SQL Server database.");
  }
}

void RunWorker::SetHourglass(bool on) {
  Post([this, on] { window_.SetHourglass(on); });
}

void RunWorker::SetProgress(int value) {
  Post([this, value] { window_.SetProgress(value); });
}

void RunWorker::SetProgressText(const std::string& text) {
  Post([this, text] { window_.SetProgressText(text); });
}

void RunWorker::RunProgress(int table, int tables, long long rowsDone, long long rowsTotal) {
  const auto now = std::chrono::steady_clock::now();
  if (table == shownTable_ && now - shownAt_ < std::chrono::milliseconds(200)) return;
  shownTable_ = table;
  shownAt_ = now;
  Post([this, table, tables, rowsDone, rowsTotal] { window_.RunProgress(table, tables, rowsDone, rowsTotal); });
}

int RunWorker::AskYesNo(const std::string& text, const std::string& title) {
  int answer = conversion::kNo;
  Ask([&] { answer = window_.AskYesNo(text, title); });
  return answer;
}

int RunWorker::AskOverwrite(const std::string& text, bool first) {
  int answer = conversion::kNo;
  Ask([&] { answer = window_.AskOverwrite(text, first); });
  return answer;
}

void RunWorker::ShowMessage(const std::string& text) {
  Ask([&] { window_.ShowMessage(text); });
}

void RunWorker::ShowSummary(const std::string& text) {
  Ask([&] { window_.ShowSummary(text); });
}

void RunWorker::ReportError(const std::string& text) {
  Ask([&] { window_.ReportError(text); });
}

void RunWorker::ClearScript() {
  script_.clear();
  Post([this] { window_.ClearScript(); });
}

void RunWorker::AppendScript(const std::string& statement) {
  script_.push_back(statement);
  if (script_.size() >= kScriptBatch) SendScript();
}

conversion::PreviewOutcome RunWorker::ShowPreviewModal() {
  // Without the window, the preview is left as "Skip Table" would leave it: nothing more is done.
  conversion::PreviewOutcome outcome;
  outcome.SQLTableOK = true;
  Ask([&] { outcome = window_.ShowPreviewModal(); });
  return outcome;
}

void RunWorker::RequestStop() {
  stop_ = true;
  run_.CancelSource();
}

void RunWorker::AppendRow(const std::string& table, const std::string& column) {
  Post([this, table, column] { window_.Datatypes().AppendRow(table, column); });
}

void RunWorker::SetLastRowTypes(const std::string& keyword, const std::string& firebirdType) {
  Post([this, keyword, firebirdType] { window_.Datatypes().SetLastRowTypes(keyword, firebirdType); });
}

void RunWorker::Clear() {
  Post([this] { window_.Datatypes().Clear(); });
}
