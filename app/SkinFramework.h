#pragma once
#include <QString>

class QWidget;

// The optional skin: a style sheet read from a file and applied to a window.
class SkinFramework {
 public:
  // Loads the skin file; throws std::runtime_error when it cannot be read.
  void LoadSkin(const QString& path, const QString& ini);
  bool ApplyColors = false;   // property 5
  bool ApplyMetrics = false;  // property 10
  void ApplyWindow(QWidget* window);

 private:
  QString sheet_;
};
