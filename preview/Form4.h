#pragma once
#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class ScriptModel;
class PointerState;

// Edit Line: rewrites row ListLine of the script.
class Form4 : public QDialog {
 public:
  explicit Form4(ScriptModel* script);
  int ListLine = 0;
  QPlainTextEdit* Text1;
  QPushButton* PushButton1;  // Cancel
  QPushButton* PushButton2;  // OK
  void PushButton1_Click();
  void PushButton2_Click();
  PointerState* Pointer() const { return pointer_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override { PushButton1_Click(); }

 private:
  void Form_Load();
  void Unload();
  ScriptModel* script_;
  PointerState* pointer_;
};
