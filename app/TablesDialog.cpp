#include "app/TablesDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>

#include "connectivity/core/ConnString.h"
#include "preview/Background.h"
#include "conversion/ConversionRun.h"
#include "conversion/TableChoice.h"

struct TablesDialog::Listing {
  std::vector<MSSQL::TableRef> tables;
  std::vector<long long> rows;  // -1: could not be counted
  std::set<std::string> inFirebird;  // lower-cased
  std::string error;
};

TablesDialog::TablesDialog(QWidget* owner, MSSQL::Login source, FireBird::Login target, QStringList leftOut)
    : QDialog(owner), leftOut_(std::move(leftOut)) {
  setWindowTitle("Tables");
  auto* layout = new QVBoxLayout(this);
  Status = new QLabel("Reading the tables of the SQL Server database...", this);
  layout->addWidget(Status);
  Filter = new QLineEdit(this);
  Filter->setPlaceholderText("Show only: part of a name, or a pattern such as Sales.* or Order*");
  Filter->setClearButtonEnabled(true);
  layout->addWidget(Filter);
  List = new QTreeWidget(this);
  List->setColumnCount(3);
  List->setHeaderLabels({"Table", "Rows", "In Firebird"});
  List->setRootIsDecorated(false);
  List->setSortingEnabled(false);
  List->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  layout->addWidget(List);
  VerifyAfter = new QCheckBox("Verify the tables after converting: read them back from both databases and compare", this);
  layout->addWidget(VerifyAfter);
  auto* row = new QHBoxLayout;
  TickShown = new QPushButton("Tick Shown", this);
  UntickShown = new QPushButton("Untick Shown", this);
  Keep = new QPushButton("OK", this);
  Cancel = new QPushButton("Cancel", this);
  for (QPushButton* b : {TickShown, UntickShown, Cancel}) b->setAutoDefault(false);
  Keep->setDefault(true);
  Keep->setEnabled(false);
  row->addWidget(TickShown);
  row->addWidget(UntickShown);
  row->addStretch();
  row->addWidget(Keep);
  row->addWidget(Cancel);
  layout->addLayout(row);
  resize(620, 480);

  connect(Filter, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
  connect(TickShown, &QPushButton::clicked, this, [this] { SetShownTicked(true); });
  connect(UntickShown, &QPushButton::clicked, this, [this] { SetShownTicked(false); });
  connect(Keep, &QPushButton::clicked, this, &QDialog::accept);
  connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);

  // The catalogue, the row counts and Firebird's tables are read away from the window's thread.
  auto listing = std::make_shared<Listing>();
  reader_ = RunThenCallback(this, [listing, source, target] {
    try {
      MSSQL::ListSqlServerTables(source, listing->tables);
      ado::Connection conn;
      MSSQL::Open(conn, source);
      for (const auto& t : listing->tables) {
        try {
          listing->rows.push_back(MSSQL::CountRows(conn, t));
        } catch (const ado::DbError& e) {
          if (e.ConnectionLost()) throw;
          listing->rows.push_back(-1);
        }
      }
    } catch (const std::exception& e) {
      listing->error = std::string(conversion::kSqlServerCannotOpen) + " " + e.what();
      return;
    }
    try {
      std::vector<std::string> names;
      FireBird::ListFirebirdTables(target, names);
      for (const auto& n : names) listing->inFirebird.insert(ado::ToLower(n));
    } catch (const std::exception&) {
      // Without the Firebird database, no table is marked.
    }
  }, [this, listing] { Fill(*listing); });
}

TablesDialog::~TablesDialog() {
  // The reader is waited for: it has no window to call back any more.
  if (reader_) reader_->wait();
}

void TablesDialog::Fill(const Listing& l) {
  loaded_ = true;
  if (!l.error.empty()) {
    Status->setText(QString::fromStdString(l.error));
    return;
  }
  if (l.tables.empty()) {
    Status->setText("The SQL Server database lists no tables.");
    return;
  }
  refs_ = l.tables;
  std::set<QString> known;
  long long total = 0;
  const std::vector<std::string> display = MSSQL::DisplayNames(l.tables);
  for (size_t i = 0; i < l.tables.size(); ++i) {
    const QString name = QString::fromStdString(display[i]);
    known.insert(name);
    auto* item = new QTreeWidgetItem(List);
    item->setText(0, name);
    item->setData(0, Qt::UserRole, static_cast<uint>(i));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, leftOut_.contains(name) ? Qt::Unchecked : Qt::Checked);
    item->setText(1, l.rows[i] < 0 ? QString("?") : QString::number(l.rows[i]));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(2, l.inFirebird.count(ado::ToLower(name.toStdString())) ? "yes" : "");
    if (l.rows[i] > 0) total += l.rows[i];
  }
  QString text = QString("%1 tables, %2 rows. Untick the tables to leave out of \"Start Converting\".")
                     .arg(l.tables.size())
                     .arg(total);
  // A remembered table that is gone is dropped, with a word.
  QStringList gone;
  for (const QString& t : leftOut_)
    if (!known.count(t)) gone << t;
  if (!gone.isEmpty()) text += "\nNo longer in the database, so no longer left out: " + gone.join(", ");
  Status->setText(text);
  Keep->setEnabled(true);
  ApplyFilter();
}

void TablesDialog::ApplyFilter() {
  const QString f = Filter->text().trimmed();
  const std::string pattern = f.toStdString();
  const bool isPattern = conversion::IsTablePattern(pattern);
  for (int i = 0; i < List->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = List->topLevelItem(i);
    bool shown = true;
    if (!f.isEmpty()) {
      if (isPattern) {
        shown = conversion::TableMatches(pattern, refs_[item->data(0, Qt::UserRole).toUInt()]);
      } else {
        shown = item->text(0).contains(f, Qt::CaseInsensitive);
      }
    }
    item->setHidden(!shown);
  }
}

void TablesDialog::SetShownTicked(bool on) {
  for (int i = 0; i < List->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = List->topLevelItem(i);
    if (!item->isHidden()) item->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
  }
}

QStringList TablesDialog::LeftOut() const {
  QStringList out;
  for (int i = 0; i < List->topLevelItemCount(); ++i)
    if (List->topLevelItem(i)->checkState(0) == Qt::Unchecked) out << List->topLevelItem(i)->text(0);
  return out;
}
