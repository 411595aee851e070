#include "app/Clipboard.h"

#include <QAbstractItemModel>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <vector>

#include "app/UiYield.h"

namespace Main {

constexpr int kAttempts = 1000;

void ClearClipboard() {
  QClipboard* c = QGuiApplication::clipboard();
  for (int i = 0; i < kAttempts; ++i) {
    c->clear();
    if (c->text().isEmpty()) return;
  }
}

bool SetClipboardText(const QString& text, int format) {
  QClipboard* c = QGuiApplication::clipboard();
  for (int i = 0; i < kAttempts; ++i) {
    if (format != 0) {
      auto* data = new QMimeData;
      data->setData(QString("application/x-format-%1").arg(format), text.toUtf8());
      c->setMimeData(data);
      return true;
    }
    c->setText(text);
    if (c->text() == text) return true;
  }
  return false;
}

QString ListClipboardText(const QAbstractItemModel& list) {
  const int rows = list.rowCount();
  const int cols = list.columnCount();
  auto cell = [&](int r, int c) { return list.data(list.index(r, c)).toString(); };
  std::vector<int> width(static_cast<size_t>(cols), 0);
  // With one column the padding is trimmed again at once, so it is not measured.
  if (cols > 1) {
    for (int c = 0; c < cols; ++c)
      for (int r = 0; r < rows; ++r) {
        ui::Yield();
        width[static_cast<size_t>(c)] = std::max(width[static_cast<size_t>(c)], static_cast<int>(cell(r, c).size()));
      }
  }
  QString out;
  for (int r = 0; r < rows; ++r) {
    ui::Yield();
    if (list.data(list.index(r, 0), Qt::CheckStateRole).toInt() != Qt::Checked) continue;
    for (int c = 0; c < cols; ++c) {
      QString t = cell(r, c);
      out += t;
      if (cols > 1) out += QString(std::max(0, width[static_cast<size_t>(c)] - static_cast<int>(t.size())), ' ');
      out += '\t';
    }
    out.chop(1);
    while (out.endsWith(' ')) out.chop(1);
    out += "\r\n";
  }
  return out;
}

void CopyListToClipboard(const QAbstractItemModel& list) {
  if (list.rowCount() == 0) return;
  QString text = ListClipboardText(list);
  ClearClipboard();
  SetClipboardText(text, 0);
}

}  // namespace Main
