#include "preview/Form4.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/MsgBox.h"
#include "app/WindowHelpers.h"
#include "connectivity/DbError.h"
#include "connectivity/ErrorTrap.h"
#include "preview/ScriptModel.h"

Form4::Form4(ScriptModel* script) : script_(script) {
  setFont(WindowFont());
  setFixedSize(Twips(8040), Twips(2580));
  Text1 = new QPlainTextEdit(this);
  PlaceTwips(Text1, 120, 120, 7800, 1905);
  Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Text1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Text1->installEventFilter(this);
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
  pointer_ = new PointerState(this);
  pointer_->HoverButton(PushButton1);
  pointer_->HoverButton(PushButton2);
  Form_Load();
}

void Form4::Form_Load() {
  auto t = WindowTrap(this, "Form4", "Form_Load");
  t.Step(102, [&] { ApplyFaceColor(this); });
  t.Step(104, [&] { setWindowIcon(AppIcon()); });
  t.Step(106, [&] { setWindowTitle("Edit Line - Tarnwick"); });
  t.Step(108, [&] {
    if (auto c = LoadHandCursor()) pointer_->SetCustomCursor(*c);
  });
}

bool Form4::eventFilter(QObject* watched, QEvent* event) {
  // Text1_GotFocus: select the whole statement.
  if (watched == Text1 && event->type() == QEvent::FocusIn) Text1->selectAll();
  return false;
}

void Form4::Unload() { UnloadDialog(this); }

void Form4::PushButton2_Click() {
  auto t = WindowTrap(this, "Form4", "PushButton2_Click");
  t.Step(100, [&] {
    if (ListLine < 1 || ListLine > script_->Count())
      throw ado::DbError("Invalid property value: no row " + std::to_string(ListLine));
    script_->SetText(ListLine, Text1->toPlainText().toStdString());
  });
  t.Step(102, [&] { Unload(); });
}

void Form4::PushButton1_Click() { Unload(); }
