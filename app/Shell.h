#pragma once
#include <QString>
#include <functional>

// Everything that leaves the program: web addresses, mail links and files opened with the desktop's
// associated program. Tests install a handler so that nothing is started.
namespace Shell {
void Open(const QString& target);
void SetHandler(std::function<void(const QString&)> handler);
}  // namespace Shell
