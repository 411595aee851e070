#include "preview/Form3.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/MsgBox.h"
#include "app/WindowHelpers.h"
#include "connectivity/core/ErrorTrap.h"
#include "app/UiYield.h"
#include "preview/ScriptModel.h"

QString ReplaceFirst(const QString& t, const QString& f, const QString& r, bool* changed) {
  if (changed) *changed = false;
  if (t.isEmpty() || f.isEmpty()) return t;
  const qsizetype p = t.indexOf(f, 0, Qt::CaseInsensitive);
  if (p < 0) return t;
  if (changed) *changed = true;
  return t.left(p) + r + t.mid(p + f.size());
}

Form3::Form3(ScriptModel* script) : ToolDialog(8040, 1500), script_(script) {
  auto* l2 = new QLabel("Find what:", this);
  PlaceTwips(l2, 120, 165, 1215, 255);
  Text1 = new QLineEdit(this);
  PlaceTwips(Text1, 1560, 120, 6360, 345);
  auto* l6 = new QLabel("Replace with:", this);
  PlaceTwips(l6, 120, 645, 1215, 255);
  Text2 = new QLineEdit(this);
  PlaceTwips(Text2, 1560, 600, 6360, 345);
  PushButton2 = new QPushButton("Replace", this);
  PlaceTwips(PushButton2, 120, 1050, 3840, 405);
  PushButton1 = new QPushButton("Cancel", this);
  PlaceTwips(PushButton1, 4080, 1050, 3840, 405);
  PushButton1->setFont(ButtonFont());
  PushButton2->setFont(ButtonFont());
  // Enter in a text field replaces nothing: "Replace" rewrites the whole script and runs from its button.
  for (QPushButton* b : {PushButton1, PushButton2}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
  setTabOrder(Text1, Text2);
  setTabOrder(Text2, PushButton2);
  setTabOrder(PushButton2, PushButton1);
  connect(PushButton2, &QPushButton::clicked, this, &Form3::PushButton2_Click);
  connect(PushButton1, &QPushButton::clicked, this, &Form3::PushButton1_Click);
  pointer_->HoverButton(PushButton1);
  pointer_->HoverButton(PushButton2);
  Form_Load();
}

void Form3::Form_Load() {
  auto t = WindowTrap(this, "Form3", "Form_Load");
  LoadLook(t, "Find and Replace - Tarnwick", {102, 104, 106, 108});
}

void Form3::Unload() { UnloadDialog(this); }

void Form3::closeEvent(QCloseEvent* e) {
  // The pass still uses the dialog: it closes when the pass is over.
  if (running_) return e->ignore();
  e->accept();
  Unload();
}

void Form3::reject() {
  if (!running_) Unload();
}

void Form3::PushButton1_Click() {
  if (!running_) Unload();
}

void Form3::PushButton2_Click() {
  if (running_) return;
  auto t = WindowTrap(this, "Form3", "PushButton2_Click");
  if (script_->Count() == 0) {
    t.Step(128, [&] { MsgBox::Show(this, "No SQL to run."); });
    return;
  }
  running_ = true;
  pointer_->SetMode(kHourglass);
  const int n = script_->Count();
  for (int i = 1; i <= n; ++i) {
    t.Step(106, [&] { ui::Yield(); });
    t.Step(108, [&] {
      const QString f = Text1->text();
      const std::string_view raw = script_->View(i);
      if (raw.empty() || f.isEmpty()) return;
      bool changed = false;
      QString next = ReplaceFirst(QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size())), f,
                                  Text2->text(), &changed);
      if (changed) script_->SetText(i, next.toStdString());
    });
  }
  pointer_->SetMode(kDefaultPointer);
  running_ = false;
  t.Step(124, [&] { MsgBox::Show(this, "Done."); });
  t.Step(126, [&] { Unload(); });
}
