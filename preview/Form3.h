#pragma once
#include "preview/ToolDialog.h"

class QLineEdit;
class QPushButton;
class ScriptModel;
class PointerState;

// Find and Replace: the first occurrence per row, without regard to case.
class Form3 : public ToolDialog {
 public:
  explicit Form3(ScriptModel* script);
  QLineEdit* Text1;  // Find what:
  QLineEdit* Text2;  // Replace with:
  QPushButton* PushButton1;  // Cancel
  QPushButton* PushButton2;  // Replace
  void PushButton1_Click();
  void PushButton2_Click();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  void Form_Load();
  void Unload();
  ScriptModel* script_;
  bool running_ = false;
};

// T with the first occurrence of F (compared without regard to case) replaced by R; T unchanged
// when F does not occur or is empty.
QString ReplaceFirst(const QString& t, const QString& f, const QString& r, bool* changed = nullptr);
