#pragma once
#include <QCursor>
#include <QFont>
#include <QIcon>
#include <QObject>
#include <QRect>
#include <QString>
#include <functional>
#include <optional>

#include "connectivity/core/ErrorTrap.h"

class QWidget;

// For its lifetime, mouse, wheel and key input to the window's controls is dropped, except on its push
// buttons (which know whether they may act while the window is busy). Closing the window still works.
class InputBlocker : public QObject {
 public:
  explicit InputBlocker(QWidget* window);
  ~InputBlocker() override;
  InputBlocker(const InputBlocker&) = delete;
  InputBlocker& operator=(const InputBlocker&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
};

// Pointer modes of a window.
constexpr int kDefaultPointer = 0;
constexpr int kHourglass = 11;
constexpr int kCustomPointer = 99;

// Layout is given in twips; 15 make a pixel.
inline int Twips(int t) { return t / 15; }
inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}
void PlaceTwips(QWidget* w, int left, int top, int width, int height);

QFont WindowFont();  // Arial 9 pt bold
QFont ButtonFont();  // Arial 11.25 pt bold

// Paints the window and its option buttons, check boxes, frames and labels in the button-face colour.
void ApplyFaceColor(QWidget* window);

// True when the file is there; never raises and keeps no state.
bool FileExists(const QString& path);

// The folder that holds the executable.
QString ProgramFolder();

// The application's window icon, shared by every window.
QIcon AppIcon();

// The hand cursor from "HAND-M.CUR" in the program folder, when it is there and loads.
std::optional<QCursor> LoadHandCursor();

// Pointer state of one window and the hover rule: buttons show the custom pointer, the listed
// surfaces the default one, and neither replaces the hourglass.
class PointerState : public QObject {
 public:
  explicit PointerState(QWidget* window);
  void SetCustomCursor(const QCursor& c) { custom_ = c; }
  bool HasCustomCursor() const { return custom_.has_value(); }
  int Mode() const { return mode_; }
  void SetMode(int mode);
  void HoverButton(QWidget* w);
  void HoverPlain(QWidget* w);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
  std::optional<QCursor> custom_;
  int mode_ = kDefaultPointer;
};

class QDialog;
// The error trap of a window's routine ("Form2", "PushButton1_Click"): failures are shown as an
// "Application Error" message over the window.
trap::ErrorTrap WindowTrap(QWidget* window, const char* form, const char* routine);
// Closes a dialog for good: ends its modal loop, hides it and deletes it once control returns.
void UnloadDialog(QDialog* dialog);
// Shows a dialog modally over its owner and returns its result. Tests install a handler that works
// the dialog instead of waiting for a user.
int ExecModal(QDialog* dialog, QWidget* owner);
void SetModalHandler(std::function<int(QDialog*)> handler);

// The sample database to fill in: the program folder's own where it can be written (the build tree), else
// a copy in the user's data folder, made on first use (an installed program the user cannot write to).
QString SampleDatabase();

// A progress-bar format that shows `text` as it is: the bar reads "%p", "%v" and "%m" as numbers, so an
// invisible word joiner (U+2060) follows each "%".
QString LiteralProgressFormat(const QString& text);
