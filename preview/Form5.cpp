#include "preview/Form5.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

#include "app/MsgBox.h"
#include "app/WindowHelpers.h"
#include "connectivity/core/ErrorTrap.h"

namespace {
QPointer<Form5> g_instance;
}

Form5::Form5() : ToolDialog(8040, 8340) {
  PushButton5 = new QPushButton("< Back", this);
  PushButton5->setFont(ButtonFont());
  PlaceTwips(PushButton5, 120, 120, 7800, 405);
  ListView1 = new QTreeWidget(this);
  PlaceTwips(ListView1, 120, 630, 7800, 7605);
  ListView1->setFont(WindowFont());
  ListView1->setRootIsDecorated(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setColumnCount(0);
  ListView1->setToolTip("Click item to edit it. Move | line to right and out of window to reveal full names.");
  setTabOrder(ListView1, PushButton5);
  connect(PushButton5, &QPushButton::clicked, this, &Form5::PushButton5_Click);
  pointer_->HoverButton(PushButton5);
  pointer_->HoverPlain(ListView1->viewport());
  Form_Load();
}

void Form5::Form_Load() {
  auto t = WindowTrap(this, "Form5", "Form_Load");
  LoadLook(t, "Datatypes Conversion - Tarnwick", {100, 104, 106, 108});
  t.Step(112, [&] {
    ListView1->setHeaderLabels({"MS SQL Server Table", "MS SQL Server Table Field", "MS SQL Server Field Datatype",
                                "New Firebird Datatype"});
  });
  t.Step(120, [&] {
    ListView1->header()->setStretchLastSection(false);
    for (int c = 0; c < 4; ++c) ListView1->header()->resizeSection(c, Twips(1700));
  });
}

void Form5::AppendRow(const std::string& table, const std::string& column) {
  auto* item = new QTreeWidgetItem(ListView1);
  item->setText(0, QString::fromStdString(table));
  item->setText(1, QString::fromStdString(column));
}

void Form5::SetLastRowTypes(const std::string& keyword, const std::string& firebirdType) {
  const int n = ListView1->topLevelItemCount();
  if (n == 0) return;
  QTreeWidgetItem* item = ListView1->topLevelItem(n - 1);
  item->setText(2, QString::fromStdString(keyword));
  item->setText(3, QString::fromStdString(firebirdType));
}

void Form5::Clear() { ListView1->clear(); }

void Form5::PushButton5_Click() {
  // Closing discards the window and its rows.
  if (unloaded_) return;
  unloaded_ = true;
  UnloadDialog(this);
}

void Form5::closeEvent(QCloseEvent* e) {
  e->accept();
  PushButton5_Click();
}
