#pragma once
#include "preview/ToolDialog.h"
#include <QString>
#include <vector>

class QPlainTextEdit;
class QPushButton;
class ScriptModel;
class PointerState;

// Edit Line: rewrites row ListLine of the script.
class Form4 : public ToolDialog {
 public:
  explicit Form4(ScriptModel* script);
  int ListLine = 0;
  // Shows the row's text; "OK" writes back only what was changed in the box.
  void Load(const QString& text);
  // The row's text with the changes made in the box so far.
  const QString& Edited() const { return truth_; }
  QPlainTextEdit* Text1;
  QPushButton* PushButton1;  // Cancel
  QPushButton* PushButton2;  // OK
  void PushButton1_Click();
  void PushButton2_Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override { PushButton1_Click(); }

 private:
  void Form_Load();
  void Unload();
  ScriptModel* script_;
  // The box gives text back with line breaks and no-break spaces normalised, so the row's own text is
  // kept beside it and each change made in the box is carried over to it.
  void Changed(int position, int removed, int added);
  QString truth_;            // the row's text with the user's changes
  QString shown_;            // the box's text as of the last change
  std::vector<int> origin_;  // for each position of shown_ (and its end), the position in truth_
  bool tracking_ = false;
};
