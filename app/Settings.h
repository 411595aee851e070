#pragma once
#include <QString>
#include <QStringList>

// The per-user settings store: application "Quorvane", section "Tarnwick", string values.
namespace Settings {
QString Get(const QString& key, const QString& defaultValue);
// Writes at once and keeps the file readable by its owner alone (it holds passwords).
void Put(const QString& key, const QString& value);
QString FilePath();
// "CopyKeys": keys, indexes, identity, NOT NULL and defaults are carried over unless it is 0.
bool CopyKeys();
// "Verify": converted tables are read back and compared; `fallback` when the setting is not saved.
bool Verify(bool fallback);
// "TypeRules": Firebird (the default) or Classic, as saved.
QString TypeRules();
// "Casts": the user's cast rules (SOURCE=TARGET), separated by ";" or line breaks.
QString Casts();
// "LeftOut <server>,<database>": the source tables "Tables..." left out of runs from that database.
QStringList LeftOutTables(const QString& server, const QString& database);
void SetLeftOutTables(const QString& server, const QString& database, const QStringList& tables);
// False, with the reason, when the store's file cannot be written (what is typed would not be kept).
bool Writable(QString* why = nullptr);
}  // namespace Settings
