#include "app/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace Shell {
namespace {
std::function<void(const QString&)> g_handler;
}

void SetHandler(std::function<void(const QString&)> handler) { g_handler = std::move(handler); }

void Open(const QString& target) {
  if (g_handler) return g_handler(target);
  if (QFileInfo(target).isAbsolute())
    QDesktopServices::openUrl(QUrl::fromLocalFile(target));
  else
    QDesktopServices::openUrl(QUrl(target));
}

}  // namespace Shell
