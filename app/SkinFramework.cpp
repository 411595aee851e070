#include "app/SkinFramework.h"

#include <QFile>
#include <QWidget>
#include <stdexcept>

void SkinFramework::LoadSkin(const QString& path, const QString&) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("The skin file could not be read: " + path.toStdString());
  sheet_ = QString::fromUtf8(f.readAll());
}

void SkinFramework::ApplyWindow(QWidget* window) {
  if (ApplyColors || ApplyMetrics) window->setStyleSheet(sheet_);
}
