#pragma once
#include <QString>

class QAbstractItemModel;

// Clipboard routines shared by the windows.
namespace Main {
void ClearClipboard();
// Places the text (format 0: plain text); true when an attempt succeeded.
bool SetClipboardText(const QString& text, int format = 0);
// Renders the ticked rows of a list (cells padded to their column's width, TAB-separated, rows
// ending in CR LF) and places the text on the clipboard; a list without rows leaves it alone.
void CopyListToClipboard(const QAbstractItemModel& list);
// The text CopyListToClipboard places.
QString ListClipboardText(const QAbstractItemModel& list);
}  // namespace Main
