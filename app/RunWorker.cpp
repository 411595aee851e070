#include "app/RunWorker.h"

#include "preview/Background.h"

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

RunWorker::RunWorker(conversion::RunOptions options, conversion::RunEvents& window, QObject* context)
    : options_(std::move(options)), window_(window), context_(context) {
  options_.stop = &stop_;
}

RunWorker::~RunWorker() {
  if (thread_) WindUp(-1);
}

void RunWorker::Start() {
  running_ = true;
  thread_ = RunThenCallback(
      this,
      [this] {
        run_.Run(options_);
        SendScript();
      },
      [this] {
        running_ = false;
        emit finished();
      });
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
    for (const auto& line : lines) window_.ScriptStatement(line);
  });
  script_.clear();
}

void RunWorker::Progress(const conversion::RunProgress& progress) {
  using Kind = conversion::RunProgress::Kind;
  if (progress.kind == Kind::Table || (progress.kind == Kind::Row && progress.percent < 0)) {
    // The whole run's progress goes a few times a second; a bar that moved always goes.
    const auto now = std::chrono::steady_clock::now();
    if (progress.tableNumber == shownTable_ && now - shownAt_ < std::chrono::milliseconds(200)) return;
    shownTable_ = progress.tableNumber;
    shownAt_ = now;
  }
  Post([this, progress] { window_.Progress(progress); });
}

int RunWorker::AskOverwrite(const std::string& text, bool first) {
  int answer = conversion::kNo;
  Ask([&] { answer = window_.AskOverwrite(text, first); });
  return answer;
}

void RunWorker::Tell(conversion::MessageKind kind, const std::string& text) {
  Ask([&] { window_.Tell(kind, text); });
}

void RunWorker::NewScript() {
  script_.clear();
  Post([this] { window_.NewScript(); });
}

void RunWorker::ScriptStatement(const std::string& statement) {
  script_.push_back(statement);
  if (script_.size() >= kScriptBatch) SendScript();
}

conversion::PreviewOutcome RunWorker::ShowPreview() {
  // Without the window, the preview is left as "Skip Table" would leave it: nothing more is done.
  conversion::PreviewOutcome outcome;
  outcome.SQLTableOK = true;
  Ask([&] { outcome = window_.ShowPreview(); });
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
