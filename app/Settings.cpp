#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>

namespace Settings {
namespace {
constexpr auto kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

QSettings& Store() {
  static QSettings* s = nullptr;
  static QString path;
  // Tests move the store by changing the settings path; follow it.
  QSettings probe(QSettings::IniFormat, QSettings::UserScope, "Quorvane", "Quorvane");
  if (!s || path != probe.fileName()) {
    delete s;
    path = probe.fileName();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!QFileInfo::exists(path)) {
      QFile f(path);
      if (f.open(QIODevice::WriteOnly)) f.close();
    }
    QFile::setPermissions(path, kOwnerOnly);
    s = new QSettings(path, QSettings::IniFormat);
  }
  return *s;
}
}  // namespace

QString FilePath() { return Store().fileName(); }

bool Writable(QString* why) {
  const QString path = FilePath();
  QFile f(path);
  if (f.open(QIODevice::ReadWrite | QIODevice::Append)) return true;
  if (why) *why = f.errorString();
  return false;
}

QString Get(const QString& key, const QString& defaultValue) {
  return Store().value("Tarnwick/" + key, defaultValue).toString();
}

void Put(const QString& key, const QString& value) {
  QSettings& s = Store();
  s.setValue("Tarnwick/" + key, value);
  s.sync();
  QFile::setPermissions(s.fileName(), kOwnerOnly);
}

namespace {
// Server and database names may hold anything: the key keeps them percent-encoded.
QString LeftOutKey(const QString& server, const QString& database) {
  return "LeftOut " + QString::fromLatin1(QUrl::toPercentEncoding(server.trimmed().toLower() + "," + database.trimmed().toLower()));
}
}  // namespace

QStringList LeftOutTables(const QString& server, const QString& database) {
  return Store().value("Tarnwick/" + LeftOutKey(server, database)).toStringList();
}

void SetLeftOutTables(const QString& server, const QString& database, const QStringList& tables) {
  QSettings& s = Store();
  if (tables.isEmpty()) s.remove("Tarnwick/" + LeftOutKey(server, database));
  else s.setValue("Tarnwick/" + LeftOutKey(server, database), tables);
  s.sync();
  QFile::setPermissions(s.fileName(), kOwnerOnly);
}

bool CopyKeys() { return Get("CopyKeys", "1").trimmed() != "0"; }

bool Verify(bool fallback) { return Get("Verify", fallback ? "1" : "0").trimmed() != "0"; }

QString TypeRules() { return Get("TypeRules", "Firebird").trimmed(); }

QString Casts() { return Get("Casts", ""); }

}  // namespace Settings
