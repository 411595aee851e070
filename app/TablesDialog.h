#pragma once
#include <QDialog>
#include <QPointer>
#include <QStringList>
#include <memory>

#include "connectivity/firebird/FireBird.h"
#include "connectivity/sqlserver/MSSQL.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QThread;
class QTreeWidget;

// "Tables...": the source tables with their row counts and a mark for those Firebird holds already,
// ticked but for those the user left out before. The list is read on a thread of its own.
class TablesDialog : public QDialog {
 public:
  TablesDialog(QWidget* owner, MSSQL::Login source, FireBird::Login target, QStringList leftOut);
  ~TablesDialog() override;

  // The unticked tables, by display name ("Sales.Customer").
  QStringList LeftOut() const;
  // True once the list has been read (or could not be).
  bool Loaded() const { return loaded_; }

  QTreeWidget* List;   // table, rows, in Firebird
  QLineEdit* Filter;   // text, or a pattern (Sales.*), that the list shows
  QLabel* Status;
  QPushButton *TickShown, *UntickShown, *Keep, *Cancel;
  // Whether "Start Converting" verifies what it converted (the saved "Verify"); kept with "OK".
  QCheckBox* VerifyAfter;

 private:
  struct Listing;
  void Fill(const Listing& l);
  void ApplyFilter();
  void SetShownTicked(bool on);

  QStringList leftOut_;
  std::vector<MSSQL::TableRef> refs_;  // the listed tables, by the index each item keeps
  QPointer<QThread> reader_;
  bool loaded_ = false;
};
