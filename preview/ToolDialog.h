#pragma once
#include <QDialog>
#include <QString>

#include "connectivity/core/ErrorTrap.h"

class PointerState;

// What the preview's windows share: the window font, a fixed size in twips, the pointer that changes
// over their buttons, and the look their Form_Load gives them.
class ToolDialog : public QDialog {
 public:
  PointerState* Pointer() const { return pointer_; }

 protected:
  ToolDialog(int widthTwips, int heightTwips);
  // The trap lines of Form_Load's first steps; a line of 0 leaves its step out.
  struct LookLines {
    int face, icon, title, cursor;
  };
  // Face colour, icon, title and the hand cursor, each a step of `t` at its line.
  void LoadLook(trap::ErrorTrap& t, const QString& title, LookLines lines);
  PointerState* pointer_;
};
