#include "preview/ToolDialog.h"

#include "app/WindowHelpers.h"

ToolDialog::ToolDialog(int widthTwips, int heightTwips) {
  setFont(WindowFont());
  setFixedSize(Twips(widthTwips), Twips(heightTwips));
  pointer_ = new PointerState(this);
}

void ToolDialog::LoadLook(trap::ErrorTrap& t, const QString& title, LookLines lines) {
  if (lines.face) t.Step(lines.face, [&] { ApplyFaceColor(this); });
  if (lines.icon) t.Step(lines.icon, [&] { setWindowIcon(AppIcon()); });
  if (lines.title) t.Step(lines.title, [&] { setWindowTitle(title); });
  if (lines.cursor) t.Step(lines.cursor, [&] {
      if (auto c = LoadHandCursor()) pointer_->SetCustomCursor(*c);
    });
}
