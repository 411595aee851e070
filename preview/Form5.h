#pragma once
#include "preview/ToolDialog.h"

#include "conversion/TableDdl.h"

class QTreeWidget;
class QPushButton;
class PointerState;

// Datatypes Conversion: the type chosen for every converted column.
class Form5 : public ToolDialog, public conversion::DatatypeSink {
 public:
  Form5();
  QTreeWidget* ListView1;
  QPushButton* PushButton5;
  void PushButton5_Click();

  void AppendRow(const std::string& table, const std::string& column) override;
  void SetLastRowTypes(const std::string& keyword, const std::string& firebirdType) override;
  void Clear() override;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override { PushButton5_Click(); }

 private:
  void Form_Load();
  bool unloaded_ = false;
};
