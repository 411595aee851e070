#include "app/MsgBox.h"

#include <QMessageBox>
#include <deque>

namespace MsgBox {
namespace {
QString g_title = "Tarnwick";
bool g_test = false;
std::deque<int> g_answers;
QList<Shown> g_log;
std::function<void()> g_beforeWait;
}  // namespace

QString ApplicationTitle() { return g_title; }
void SetApplicationTitle(const QString& title) { g_title = title; }
void SetBeforeWait(std::function<void()> hook) { g_beforeWait = std::move(hook); }

int Show(QWidget* owner, const QString& text, int buttons, const QString& title, int icon) {
  if (g_beforeWait) g_beforeWait();
  const QString caption = title.isEmpty() ? g_title : title;
  if (g_test) {
    g_log.append({text, caption, buttons, icon});
    if (!g_answers.empty()) {
      int a = g_answers.front();
      g_answers.pop_front();
      return a;
    }
    return buttons == YesNo ? No : OK;
  }
  QMessageBox box(owner);
  box.setWindowTitle(caption);
  box.setText(text);
  box.setIcon(icon == Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
  if (buttons == YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Yes : No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return OK;
}

void ApplicationError(QWidget* owner, const QString& text) {
  Show(owner, text, OKOnly, "Application Error", Exclamation);
}

void BeginTest() {
  g_test = true;
  g_answers.clear();
  g_log.clear();
}
void EndTest() {
  g_test = false;
  g_answers.clear();
}
void QueueAnswer(int answer) { g_answers.push_back(answer); }
QList<Shown>& Log() { return g_log; }

}  // namespace MsgBox
