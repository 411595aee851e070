#include "preview/Form4.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

#include <algorithm>

#include "app/MsgBox.h"
#include "app/WindowHelpers.h"
#include "connectivity/core/DbError.h"
#include "connectivity/core/ErrorTrap.h"
#include "preview/ScriptModel.h"

Form4::Form4(ScriptModel* script) : ToolDialog(8040, 2580), script_(script) {
  Text1 = new QPlainTextEdit(this);
  PlaceTwips(Text1, 120, 120, 7800, 1905);
  Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Text1->installEventFilter(this);
  connect(Text1->document(), &QTextDocument::contentsChange, this, &Form4::Changed);
  PushButton2 = new QPushButton("OK", this);
  PlaceTwips(PushButton2, 120, 2130, 3840, 405);
  PushButton1 = new QPushButton("Cancel", this);
  PlaceTwips(PushButton1, 4080, 2130, 3840, 405);
  PushButton1->setFont(ButtonFont());
  PushButton2->setFont(ButtonFont());
  setTabOrder(Text1, PushButton2);
  setTabOrder(PushButton2, PushButton1);
  connect(PushButton2, &QPushButton::clicked, this, &Form4::PushButton2_Click);
  connect(PushButton1, &QPushButton::clicked, this, &Form4::PushButton1_Click);
  pointer_->HoverButton(PushButton1);
  pointer_->HoverButton(PushButton2);
  Form_Load();
}

void Form4::Form_Load() {
  auto t = WindowTrap(this, "Form4", "Form_Load");
  LoadLook(t, "Edit Line - Tarnwick", {102, 104, 106, 108});
}

bool Form4::eventFilter(QObject* watched, QEvent* event) {
  // Text1_GotFocus: select the whole statement.
  if (watched == Text1 && event->type() == QEvent::FocusIn) Text1->selectAll();
  return false;
}

void Form4::Unload() { UnloadDialog(this); }

void Form4::Load(const QString& text) {
  tracking_ = false;
  truth_ = text;
  Text1->setPlainText(text);
  shown_ = Text1->toPlainText();
  // The box turns CR LF into one line break and keeps every other character in its place.
  origin_.clear();
  for (int i = 0; i < truth_.size(); ++i) {
    origin_.push_back(i);
    if (truth_[i] == '\r' && i + 1 < truth_.size() && truth_[i + 1] == '\n') ++i;
  }
  origin_.push_back(static_cast<int>(truth_.size()));
  tracking_ = origin_.size() == static_cast<size_t>(shown_.size()) + 1;
}

void Form4::Changed(int position, int removed, int added) {
  if (!tracking_) return;
  const QString now = Text1->toPlainText();
  const int size = static_cast<int>(shown_.size());
  // The document counts a closing paragraph mark that the text does not have.
  position = std::clamp(position, 0, size);
  removed = std::clamp(removed, 0, size - position);
  added = std::clamp(added, 0, static_cast<int>(now.size()) - position);
  if (now.size() - size != added - removed) {
    added = static_cast<int>(now.size()) - size + removed;
    if (added < 0) {
      tracking_ = false;  // cannot follow: the box's text is taken as it stands
      return;
    }
  }
  const QString put = now.mid(position, added);
  if (put == shown_.mid(position, removed)) {  // a change of format only
    shown_ = now;
    return;
  }
  const int from = origin_[static_cast<size_t>(position)];
  const int to = origin_[static_cast<size_t>(position + removed)];
  truth_ = truth_.left(from) + put + truth_.mid(to);
  std::vector<int> origin(origin_.begin(), origin_.begin() + position);
  for (int k = 0; k < added; ++k) origin.push_back(from + k);
  const int shift = added - (to - from);
  for (size_t k = static_cast<size_t>(position + removed); k < origin_.size(); ++k) origin.push_back(origin_[k] + shift);
  origin_ = std::move(origin);
  shown_ = now;
}

void Form4::PushButton2_Click() {
  auto t = WindowTrap(this, "Form4", "PushButton2_Click");
  t.Step(100, [&] {
    if (ListLine < 1 || ListLine > script_->Count())
      throw ado::DbError("Invalid property value: no row " + std::to_string(ListLine));
    const QString now = Text1->toPlainText();
    const QString text = tracking_ && now == shown_ ? truth_ : now;
    script_->SetText(ListLine, text.toStdString());
  });
  t.Step(102, [&] { Unload(); });
}

void Form4::PushButton1_Click() { Unload(); }
