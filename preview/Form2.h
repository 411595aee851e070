#pragma once
#include <QDialog>
#include <string>

#include "preview/ScriptModel.h"

class QPushButton;
class QTreeView;
class QGroupBox;
class QPlainTextEdit;
class QProgressBar;
class PointerState;
namespace ado {
class Connection;
}

// Where the preview executes its script, and the flag a complete execution sets.
struct PreviewContext {
  ado::Connection* firebird_conn = nullptr;
  bool* SQLFormOK = nullptr;
};
PreviewContext& Preview();

// The SQL Preview window.
class Form2 : public QDialog {
 public:
  // The window, created hidden (with its load steps) on first use after it was last closed.
  static Form2* Instance();
  static Form2* Existing();

  ScriptModel& Script() { return *script_; }
  int ErrorLine = 0;

  void PushButton1_Click();  // Execute SQL
  void PushButton2_Click();  // Copy SQL To Clipboard
  void PushButton3_Click();  // Find and Replace
  void PushButton4_Click();  // Copy Error Message To Clipboard
  void PushButton5_Click();  // < Back
  void PushButton6_Click();  // Jump To Error Line
  void PushButton7_Click();  // View Datatype Conversion
  void PushButton8_Click();  // Email Error Message
  void PushButton9_Click();  // Skip Table / Do Not Execute SQL
  void ListView1_Click(const QModelIndex& index);
  // Closes the window and discards its rows.
  void Unload();

  QTreeView* ListView1 = nullptr;
  QPlainTextEdit* Text1 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QGroupBox* Frame2 = nullptr;
  QPushButton* Button(int n) const { return buttons_[n]; }
  PointerState* Pointer() const { return pointer_; }
  int SelectedRow() const;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override { Unload(); }
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Form2();
  void Form_Load();
  void SelectRow(int n);
  void SetRowProgress(int n, int count);
  void ResetProgress();
  void OpenEditLine(int n);
  // Ends an Execute SQL that did not carry every row: row n selected, its message under "Error:".
  void StopAt(int n, const QString& message);
  ScriptModel* script_;
  QPushButton* buttons_[10] = {};
  PointerState* pointer_ = nullptr;
  bool executing_ = false;
  bool unloaded_ = false;
};

// True when a driver's message marks a rejected statement ("SQLException", "SQL error",
// "unsuccessful metadata", any case).
bool IsStatementError(const QString& description);
// True when the text holds nothing but spaces.
bool IsBlank(const QString& s);
// "mailto:..." link of the "Email Error Message" button.
QString ErrorMailLink(const QString& errorText);
