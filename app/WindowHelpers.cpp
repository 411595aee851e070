#include "app/WindowHelpers.h"

#include "app/MsgBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QMouseEvent>
#include <QFileInfo>
#include <QStandardPaths>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <stdexcept>

void PlaceTwips(QWidget* w, int left, int top, int width, int height) {
  w->setGeometry(TwipsRect(left, top, width, height));
}

QFont WindowFont() {
  QFont f("Arial");
  f.setPointSizeF(9);
  f.setBold(true);
  return f;
}

QFont ButtonFont() {
  QFont f("Arial");
  f.setPointSizeF(11.25);
  f.setBold(true);
  return f;
}

static void SetBackground(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, c);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

void ApplyFaceColor(QWidget* window) {
  // The system button-face colour, following the desktop's colour scheme.
  const QColor face = QApplication::palette().color(QPalette::Button);
  SetBackground(window, face);
  for (QWidget* child : window->findChildren<QWidget*>()) {
    if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) || qobject_cast<QGroupBox*>(child) ||
        qobject_cast<QLabel*>(child))
      SetBackground(child, face);
  }
}

bool FileExists(const QString& path) {
  if (path.isEmpty()) return false;
  QFileInfo info(path);
  return info.exists() && info.isFile();
}

QString ProgramFolder() { return QCoreApplication::applicationDirPath(); }

QIcon AppIcon() {
  static QIcon icon = [] {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x1f, 0x5f, 0x9f));
    p.setPen(Qt::NoPen);
    p.drawEllipse(2, 2, 18, 18);
    p.setBrush(QColor(0xd9, 0x6a, 0x1c));
    p.drawRoundedRect(12, 12, 18, 18, 4, 4);
    p.setPen(Qt::white);
    QFont f("Arial");
    f.setBold(true);
    f.setPixelSize(14);
    p.setFont(f);
    p.drawText(QRect(12, 12, 18, 18), Qt::AlignCenter, "T");
    return QIcon(pm);
  }();
  return icon;
}

std::optional<QCursor> LoadHandCursor() {
  const QString path = ProgramFolder() + "/HAND-M.CUR";
  if (!FileExists(path)) return std::nullopt;
  QPixmap pm;
  if (!pm.load(path, "CUR") && !pm.load(path, "ICO")) throw std::runtime_error("Invalid picture");
  // The hot spot is the tip of the index finger.
  return QCursor(pm, 10, 1);
}

PointerState::PointerState(QWidget* window) : QObject(window), window_(window) {
  window->setMouseTracking(true);
  window->installEventFilter(this);
  window->setProperty("hoverPlain", true);
}

void PointerState::SetMode(int mode) {
  mode_ = mode;
  if (mode == kHourglass)
    window_->setCursor(Qt::WaitCursor);
  else if (mode == kCustomPointer && custom_)
    window_->setCursor(*custom_);
  else
    window_->unsetCursor();
}

void PointerState::HoverButton(QWidget* w) {
  w->setMouseTracking(true);
  w->setProperty("hoverButton", true);
  w->installEventFilter(this);
}

void PointerState::HoverPlain(QWidget* w) {
  w->setMouseTracking(true);
  w->setProperty("hoverPlain", true);
  w->installEventFilter(this);
}

bool PointerState::eventFilter(QObject* watched, QEvent* event) {
  if ((event->type() != QEvent::MouseMove && event->type() != QEvent::Enter) || mode_ == kHourglass) return false;
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w) return false;
  // A move that a button passed on to its parent arrives here for the parent: what counts is the
  // widget under the pointer, and the nearest of it and its parents that says how to point.
  QWidget* under = w;
  if (event->type() == QEvent::MouseMove) {
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    if (QWidget* child = w->childAt(at)) under = child;
  }
  for (QWidget* x = under; x; x = x == w ? nullptr : x->parentWidget()) {
    if (x->property("hoverButton").toBool()) {
      SetMode(kCustomPointer);
      break;
    }
    if (x->property("hoverPlain").toBool()) {
      SetMode(kDefaultPointer);
      break;
    }
  }
  return false;
}

namespace {
std::function<int(QDialog*)> g_modal;
}

void SetModalHandler(std::function<int(QDialog*)> handler) { g_modal = std::move(handler); }

int ExecModal(QDialog* dialog, QWidget* owner) {
  if (owner && dialog->parentWidget() != owner) dialog->setParent(owner, dialog->windowFlags() | Qt::Dialog);
  dialog->setWindowModality(Qt::WindowModal);
  if (g_modal) return g_modal(dialog);
  return dialog->exec();
}

trap::ErrorTrap WindowTrap(QWidget* window, const char* form, const char* routine) {
  return trap::ErrorTrap(std::string(form) + "." + routine, [window](const std::string& text) {
    MsgBox::ApplicationError(window, QString::fromStdString(text));
  });
}

void UnloadDialog(QDialog* dialog) {
  dialog->done(0);
  dialog->hide();
  dialog->deleteLater();
}

QString LiteralProgressFormat(const QString& text) {
  QString r = text;
  r.replace(QChar('%'), QString(QChar('%')) + QChar(0x2060));
  return r;
}

QString SampleDatabase() {
  const QString shipped = ProgramFolder() + "/Samples/sample.fdb";
  const QFileInfo info(shipped);
  if (!info.exists() || (info.isWritable() && QFileInfo(info.absolutePath()).isWritable())) return shipped;
  const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Tarnwick/Samples";
  const QString copy = dir + "/sample.fdb";
  if (!QFileInfo::exists(copy)) {
    QDir().mkpath(dir);
    if (!QFile::copy(shipped, copy)) return shipped;
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
  }
  return copy;
}

InputBlocker::InputBlocker(QWidget* window) : window_(window) { qApp->installEventFilter(this); }

InputBlocker::~InputBlocker() { qApp->removeEventFilter(this); }

bool InputBlocker::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:
      break;
    default:
      return false;
  }
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w || w->window() != window_) return false;
  return !qobject_cast<QPushButton*>(w);
}
