#pragma once
#include "preview/ToolDialog.h"
#include <functional>
#include <memory>
#include <string>

#include "conversion/ConversionRun.h"

#include "preview/ScriptModel.h"

class QPushButton;
class QTreeView;
class QGroupBox;
class QPlainTextEdit;
class QProgressBar;
class PointerState;
class Form5;
struct ExecuteJob;
namespace ado {
class Connection;
}

// The SQL Preview window.
class Form2 : public ToolDialog {
 public:
  // Where "Execute SQL" gets its connection: lent for the statements, given back when they are done.
  using ConnectionSource = std::function<conversion::Session::Lease()>;
  // The window over `script` (which its owner keeps; closing the window discards its rows), running it
  // on the connection `lend` lends; "View Datatype Conversion" shows the window `datatypes` gives.
  Form2(ScriptModel* script, ConnectionSource lend, std::function<Form5*()> datatypes);
  // The same on `conn`, kept open by the caller while the window is shown.
  Form2(ScriptModel* script, ado::Connection* conn, std::function<Form5*()> datatypes);

  ScriptModel& Script() { return *script_; }
  int ErrorLine = 0;
  // Where "Execute SQL" gets its connection; empty once the caller no longer keeps one.
  void SetConnection(ConnectionSource lend) { lend_ = std::move(lend); }
  // The window was closed (it is deleted once the event loop comes round).
  bool Unloaded() const { return unloaded_; }
  // Told once, when the window is unloaded, how it ended.
  void OnFinished(std::function<void(const conversion::PreviewOutcome&)> handler) { onFinished_ = std::move(handler); }

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
  int SelectedRow() const;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override { Unload(); }
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Load();
  void SelectRow(int n);
  void SetRowProgress(int n, int count);
  void ResetProgress();
  void OpenEditLine(int n);
  // Ends an Execute SQL that did not carry every row: row n selected, its message under "Error:".
  void StopAt(int n, const QString& message);
  ScriptModel* script_;
  QPushButton* buttons_[10] = {};
  bool executing_ = false;
  bool unloadWhenDone_ = false;  // closed during Execute SQL: unloaded once its rows stopped
  std::weak_ptr<ExecuteJob> job_;  // the Execute SQL in progress
  // Asks the Execute SQL in progress to stop, and the window to close after it.
  void StopExecuting();
  // What every way out of Execute SQL that keeps the window does last.
  void FinishExecute();
  bool unloaded_ = false;
  ConnectionSource lend_;
  std::function<Form5*()> datatypes_;
  conversion::PreviewOutcome outcome_;
  std::function<void(const conversion::PreviewOutcome&)> onFinished_;
};

// True when the text holds nothing but spaces.
bool IsBlank(const QString& s);
// "mailto:..." link of the "Email Error Message" button.
QString ErrorMailLink(const QString& errorText);
