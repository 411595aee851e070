#pragma once
#include <QList>
#include <QString>
#include <functional>
#include <memory>

class QDialog;
class QWidget;

// Every message of the program goes through here, so that tests can answer in advance.

namespace MsgBox {

// YesNoResume: "Yes", "No", "Skip Complete Tables" (answered Resume) and "Bring Up To Date" (answered
// Sync), for the first Overwrite?.
enum Buttons { OKOnly = 0, YesNo = 4, YesNoResume = 104 };
enum Icon { NoIcon = 0, Exclamation = 48 };
enum Answer { OK = 1, Yes = 6, No = 7, Resume = 100, Sync = 101 };

// Shows a modal message; an empty title means the application title. Returns the button pressed.
int Show(QWidget* owner, const QString& text, int buttons = OKOnly, const QString& title = {}, int icon = NoIcon);

// The "Application Error" message of the error trap.
void ApplicationError(QWidget* owner, const QString& text);

// The run's summary: a window with the whole text, readable and copyable, and "Close".
void Summary(QWidget* owner, const QString& text);
// The "Conversion Summary" window Summary shows: the text read-only, "Copy To Clipboard" and "Close",
// which is the default button (Enter closes it, as Escape does).
std::unique_ptr<QDialog> SummaryDialog(QWidget* owner, const QString& text);

QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// Called before any message waits on the user (pending database work is made durable there).
void SetBeforeWait(std::function<void()> hook);

struct Shown {
  QString text, title;
  int buttons = 0, icon = 0;
};
// Test mode: nothing is shown; answers come from the queue (else OK, or No for Yes/No questions)
// and every message is recorded.
void BeginTest();
void EndTest();
void QueueAnswer(int answer);
QList<Shown>& Log();

}  // namespace MsgBox
