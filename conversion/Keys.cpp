#include "conversion/Keys.h"
#include "conversion/TableDdl.h"

#include <algorithm>
#include <cctype>
#include <regex>

#include "connectivity/core/ConnString.h"
#include "conversion/SqlTranslate.h"
#include "conversion/Names.h"

namespace conversion {
namespace {

std::string Lower(const std::string& s) { return ado::ToLower(s); }

// Takes off parentheses that enclose the whole text, as SQL Server writes its defaults: "((0))".
std::string Unwrap(std::string t) {
  auto trim = [](std::string& s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    s.erase(0, i);
  };
  trim(t);
  while (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
    // Only when the first parenthesis closes at the very end: "(1)+(2)" stays as it is.
    int depth = 0;
    bool inString = false;
    size_t close = std::string::npos;
    for (size_t i = 0; i < t.size(); ++i) {
      const char c = t[i];
      if (c == '\'') inString = !inString;
      if (inString) continue;
      if (c == '(') ++depth;
      if (c == ')' && --depth == 0) {
        close = i;
        break;
      }
    }
    if (close != t.size() - 1) break;
    t = t.substr(1, t.size() - 2);
    trim(t);
  }
  return t;
}

bool IsNumberLiteral(const std::string& t) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t exp = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++exp;
    if (exp == 0) return false;
  }
  return i == t.size();
}

// A quoted string literal ('..' with '' inside), without a prefix; "" when the text is none.
std::string StringLiteral(const std::string& t) {
  std::string s = t;
  if (!s.empty() && (s[0] == 'N' || s[0] == 'n') && s.size() > 1 && s[1] == '\'') s.erase(0, 1);
  if (s.size() < 2 || s.front() != '\'' || s.back() != '\'') return {};
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    if (s[i] != '\'') continue;
    if (i + 2 < s.size() && s[i + 1] == '\'') {
      ++i;
      continue;
    }
    return {};  // a quote that ends the literal before the end: an expression
  }
  return s;
}

std::string ColumnList(const std::vector<std::string>& names) {
  std::string s = "(";
  for (size_t i = 0; i < names.size(); ++i) s += (i ? ", " : "") + QuoteIdentifier(names[i]);
  return s + ")";
}

std::string Joined(const std::vector<std::string>& names) {
  std::string s;
  for (size_t i = 0; i < names.size(); ++i) s += (i ? ", " : "") + names[i];
  return s;
}

const char* RuleText(MSSQL::KeyRule r) {
  switch (r) {
    case MSSQL::KeyRule::Cascade: return "CASCADE";
    case MSSQL::KeyRule::SetNull: return "SET NULL";
    case MSSQL::KeyRule::SetDefault: return "SET DEFAULT";
    case MSSQL::KeyRule::NoAction: break;
  }
  return "NO ACTION";
}

// Names the key's columns that are blobs in Firebird, and only those.
std::string BlobColumnsText(const std::vector<std::string>& columns, const std::vector<const ColumnType*>& types) {
  std::vector<std::string> blobs;
  for (size_t i = 0; i < columns.size() && i < types.size(); ++i)
    if (types[i] && (types[i]->storage == Storage::TextBlob || types[i]->storage == Storage::BinaryBlob)) blobs.push_back(columns[i]);
  return (blobs.size() == 1 ? "its column is a blob in Firebird: " : "its columns are blobs in Firebird: ") + Joined(blobs);
}

// The lower-cased column list that names a key among the table's keys.
std::string KeyName(const std::vector<std::string>& columns) { return Lower(Joined(columns)); }

bool IsIntegerType(const ColumnType& c) {
  if (c.storage != Storage::Number) return false;
  const std::string& t = c.firebirdType;
  if (t == "SMALLINT" || t == "INTEGER" || t == "BIGINT") return true;
  return (t.rfind("NUMERIC(", 0) == 0 || t.rfind("DECIMAL(", 0) == 0) && c.scale == 0;
}

}  // namespace

std::optional<std::string> FirebirdDefault(const std::string& sqlServerText, const std::string& firebirdType) {
  const std::string t = Unwrap(sqlServerText);
  const std::string lower = Lower(t);
  if (lower == "null") return std::string("NULL");
  if (lower == "getdate()" || lower == "sysdatetime()" || lower == "current_timestamp")
    return std::string(firebirdType == "DATE" ? "CURRENT_DATE" : "CURRENT_TIMESTAMP");
  if (IsNumberLiteral(t)) return t[0] == '+' ? t.substr(1) : t;
  std::string s = StringLiteral(t);
  if (!s.empty()) return s;
  return std::nullopt;
}

long IndexKeyBytes(const std::vector<const ColumnType*>& columns) {
  long total = 0;
  for (const ColumnType* c : columns) {
    long bytes = 0;
    switch (c->storage) {
      // A UNICODE collation's key takes half as much again as UTF8's own bytes (measured: 339 characters
      // fit Firebird's 2039 bytes of an 8 KB page, 340 do not).
      case Storage::Text: bytes = (c->collation.empty() ? 4 : 6) * c->length; break;
      case Storage::Binary: bytes = c->length; break;
      case Storage::TextBlob:
      case Storage::BinaryBlob: return -1;
      case Storage::Number:
        bytes = c->firebirdType == "BIGINT" || c->scale >= 0 ? 10 : 8;  // 64-bit keys carry their scale
        break;
      case Storage::Other: bytes = 8; break;
    }
    if (columns.size() == 1)
      total += c->storage == Storage::Text || c->storage == Storage::Binary ? bytes + 2 : bytes;
    else
      total += (bytes + 3) / 4 * 5;
  }
  return total;
}

void TableKeys::MakeKeyColumnsIndexable(const std::vector<std::string>& sourceNames,
                                        const std::vector<const ado::Field*>& fields, std::vector<ColumnType>& columns,
                                        std::vector<bool>& pinned) {
  std::map<std::string, size_t> ordinal;
  for (size_t i = 0; i < sourceNames.size(); ++i) ordinal.emplace(Lower(sourceNames[i]), i);
  // A column the driver reports as filled by the database is the identity where the catalogue names none.
  bool named = false;
  for (const auto& c : schema.columns) named |= c.identity;
  for (size_t i = 0; i < fields.size() && !named; ++i) {
    if (!fields[i]->AutoIncrement) continue;
    for (auto& c : schema.columns)
      if (Lower(c.name) == Lower(sourceNames[i])) c.identity = named = true;
  }
  // Every column set that Firebird will index: keys, indexes and the foreign keys' own columns.
  std::vector<std::vector<std::string>> keys;
  for (const auto& ix : indexes)
    if (ix.leftOutWhy.empty()) keys.push_back(ix.columns);
  for (const auto& fk : schema.foreignKeys) keys.push_back(fk.columns);
  for (const auto& key : keys) {
    std::vector<ColumnType> trial;
    std::vector<size_t> at;
    bool known = true;
    for (const auto& name : key) {
      auto it = ordinal.find(Lower(name));
      if (it == ordinal.end()) {
        known = false;
        break;
      }
      ColumnType c = columns[it->second];
      // A bounded character column the rules made a blob (nvarchar(n)) is indexable as VARCHAR(n);
      // one too long for a VARCHAR stays a blob.
      if (c.blob && c.keyword != "longvar")
        SetCharacter(c, c.storage == Storage::BinaryBlob, fields[it->second]->DefinedSize);
      trial.push_back(c);
      at.push_back(it->second);
    }
    if (!known) continue;
    std::vector<const ColumnType*> ptrs;
    for (const auto& c : trial) ptrs.push_back(&c);
    const long bytes = IndexKeyBytes(ptrs);
    if (bytes < 0 || bytes > MaxIndexKeyBytes(pageSize)) {
      // Told when the key is made; a key too long as VARCHARs says so there.
      if (bytes > 0) tooLong_[KeyName(key)] = bytes;
      continue;
    }
    for (size_t k = 0; k < at.size(); ++k) {
      columns[at[k]] = trial[k];
      pinned[at[k]] = true;
    }
  }
}

bool SequenceOfDefault(const std::string& sqlServerText, std::string& schema, std::string& name) {
  // One part of a name: [bracketed] (with "]]" for "]"), "quoted", or a plain word.
  static const std::string part = R"((\[(?:[^\]]|\]\])+\]|"(?:[^"]|"")+"|[A-Za-z_@#][\w@#$]*))";
  static const std::regex re(R"(^[\s(]*next\s+value\s+for\s+)" + part + R"((?:\s*\.\s*)" + part + R"()?[\s)]*$)",
                             std::regex::icase);
  std::smatch m;
  if (!std::regex_match(sqlServerText, m, re)) return false;
  auto unquote = [](std::string p) {
    if (p.size() >= 2 && (p.front() == '[' || p.front() == '"')) {
      const char close = p.front() == '[' ? ']' : '"';
      p = p.substr(1, p.size() - 2);
      for (size_t at = 0; (at = p.find(std::string(2, close), at)) != std::string::npos; ++at) p.erase(at, 1);
    }
    return p;
  };
  if (m[2].matched) {
    schema = unquote(m[1]);
    name = unquote(m[2]);
  } else {
    schema = "dbo";
    name = unquote(m[1]);
  }
  return true;
}

std::string SequenceTriggerText(const std::string& trigger, const std::string& table, const std::string& column,
                                const std::string& sequence) {
  const std::string c = QuoteIdentifier(column);
  return "CREATE TRIGGER " + QuoteIdentifier(trigger) + " FOR " + QuoteIdentifier(table) +
         " ACTIVE BEFORE INSERT POSITION 0 AS BEGIN IF (NEW." + c + " IS NULL) THEN NEW." + c + " = NEXT VALUE FOR " +
         QuoteIdentifier(sequence) + "; END";
}

std::string TableKeys::ColumnModifiers(const std::string& sourceName, const ColumnType& type) {
  const MSSQL::ColumnInfo* info = schema.Column(sourceName);
  bool inPrimaryKey = false;
  if (!indexes.empty() && indexes[0].kind == IndexPlan::Kind::PrimaryKey && indexes[0].leftOutWhy.empty())
    for (const auto& c : indexes[0].columns) inPrimaryKey |= Lower(c) == Lower(sourceName);
  if (!info) return inPrimaryKey ? " NOT NULL" : "";
  std::string m;
  if (info->identity) {
    if (IsIntegerType(type))
      m += " GENERATED BY DEFAULT AS IDENTITY";
    else
      columnNotes.push_back("the identity of column \"" + info->name + "\" (a " + type.firebirdType +
                            " in Firebird, where an identity must be an integer)");
  }
  std::string seqSchema, seqName;
  // A default from a sequence comes from a trigger, made once the sequences are there.
  if (!info->defaultText.empty() && !info->identity && !SequenceOfDefault(info->defaultText, seqSchema, seqName)) {
    // DEFAULT NULL is what a column without a default does: it is left unsaid.
    if (auto d = FirebirdDefault(info->defaultText, type.firebirdType)) {
      if (*d != "NULL") m += " DEFAULT " + *d;
    }
    else
      columnNotes.push_back("the default " + info->defaultText + " of column \"" + info->name + "\"");
  }
  // Firebird's primary keys need NOT NULL columns (SQL Server's are so anyway).
  if (info->notNull || info->identity || inPrimaryKey) m += " NOT NULL";
  return m;
}

void TableKeys::Created(const TableDdl& ddl, const std::vector<std::string>& sourceNames) {
  created_ = true;
  ordinal_.clear();
  for (size_t i = 0; i < sourceNames.size(); ++i) ordinal_.emplace(Lower(sourceNames[i]), i);
  sourceColumns_ = sourceNames;
  targetColumns_ = ddl.columnNames;
  types_ = ddl.columns;
  identity_ = -1;
  for (size_t i = 0; i < sourceNames.size(); ++i) {
    const MSSQL::ColumnInfo* info = schema.Column(sourceNames[i]);
    if (info && info->identity && IsIntegerType(types_[i])) identity_ = static_cast<int>(i);
  }
}

std::string TableKeys::TargetColumn(const std::string& sourceName) const {
  auto it = ordinal_.find(Lower(sourceName));
  return it == ordinal_.end() ? std::string() : targetColumns_[it->second];
}

const ColumnType* TableKeys::TargetType(const std::string& sourceName) const {
  auto it = ordinal_.find(Lower(sourceName));
  return it == ordinal_.end() ? nullptr : &types_[it->second];
}

std::vector<std::string> TableKeys::AfterRows(std::optional<long long> identityMax, std::vector<std::string>& leftOut) {
  std::vector<std::string> out;
  const std::string table = QuoteIdentifier(target);
  for (const auto& n : columnNotes) leftOut.push_back("Table \"" + source + "\": " + n);
  if (identity_ >= 0) {
    // Firebird 3 gives the value after the one it restarts with, and steps by one.
    // It counts up: a negative step continues above the largest copied value, never into the copied ones.
    const long long step = schema.identityIncrement == 0 ? 1 : schema.identityIncrement;
    const long long up = step < 0 ? 1 : step;
    const long long restart = identityMax ? *identityMax + up - 1 : schema.identitySeed - 1;
    out.push_back("ALTER TABLE " + table + " ALTER COLUMN " + QuoteIdentifier(targetColumns_[static_cast<size_t>(identity_)]) +
                  " RESTART WITH " + std::to_string(restart) + ";");
    if (step < 0)
      leftOut.push_back("Table \"" + source + "\": the identity's step of " + std::to_string(step) +
                        " (Firebird 3's identity counts up: it now counts up by 1, the next value is the largest copied plus 1)");
    else if (step != 1)
      leftOut.push_back("Table \"" + source + "\": the identity's step of " + std::to_string(step) +
                        " (Firebird 3's identity steps by 1; the next value is the largest copied plus " +
                        std::to_string(step) + ")");
  }
  for (auto& ix : indexes) {
    const char* what = ix.kind == IndexPlan::Kind::PrimaryKey ? "primary key" : ix.kind == IndexPlan::Kind::Index ? "index" : "unique key";
    auto tell = [&](const std::string& why) {
      leftOut.push_back("Table \"" + source + "\": " + what + " \"" + ix.sourceName + "\" (" + why + ")");
      ix.leftOutWhy = why;
    };
    if (!ix.leftOutWhy.empty()) {
      tell(ix.leftOutWhy);
      continue;
    }
    std::vector<std::string> cols;
    std::vector<const ColumnType*> types;
    for (const auto& c : ix.columns) {
      cols.push_back(TargetColumn(c));
      types.push_back(TargetType(c));
    }
    if (std::find(cols.begin(), cols.end(), std::string()) != cols.end()) {
      tell("a column of it is not in the table: " + Joined(ix.columns));
      continue;
    }
    const long bytes = IndexKeyBytes(types);
    auto tooLong = [&](long keyBytes) {
      tell("its key of " + std::to_string(keyBytes) + " bytes is longer than the " +
           std::to_string(MaxIndexKeyBytes(pageSize)) + " bytes Firebird indexes on pages of " + std::to_string(pageSize));
    };
    if (bytes < 0) {
      auto it = tooLong_.find(KeyName(ix.columns));
      if (it != tooLong_.end())
        tooLong(it->second);
      else
        tell(BlobColumnsText(ix.columns, types));
      continue;
    }
    if (bytes > MaxIndexKeyBytes(pageSize)) {
      tooLong(bytes);
      continue;
    }
    if (ix.mixedOrder)
      leftOut.push_back("Table \"" + source + "\": index \"" + ix.sourceName +
                        "\" is ascending in Firebird (its columns run both ways in SQL Server)");
    const std::string name = QuoteIdentifier(ix.name);
    const bool desc = ix.descending && !ix.mixedOrder;
    switch (ix.kind) {
      case IndexPlan::Kind::PrimaryKey:
        out.push_back("ALTER TABLE " + table + " ADD CONSTRAINT " + name + " PRIMARY KEY " + ColumnList(cols) +
                      (desc ? " USING DESC INDEX " + name : "") + ";");
        break;
      case IndexPlan::Kind::UniqueConstraint:
        out.push_back("ALTER TABLE " + table + " ADD CONSTRAINT " + name + " UNIQUE " + ColumnList(cols) +
                      (desc ? " USING DESC INDEX " + name : "") + ";");
        break;
      case IndexPlan::Kind::UniqueIndex:
        out.push_back(std::string("CREATE UNIQUE ") + (desc ? "DESCENDING " : "") + "INDEX " + name + " ON " + table + " " +
                      ColumnList(cols) + ";");
        break;
      case IndexPlan::Kind::Index:
        out.push_back(std::string("CREATE ") + (desc ? "DESCENDING " : "") + "INDEX " + name + " ON " + table + " " +
                      ColumnList(cols) + ";");
        break;
    }
  }
  return out;
}

std::vector<CheckStatement> TableKeys::Checks(std::vector<std::pair<std::string, std::string>>& notCarried) const {
  std::vector<CheckStatement> out;
  for (const auto& c : checks) {
    const std::string name = source + "." + c.sourceName;
    if (c.disabled) {
      notCarried.emplace_back(name, "disabled in SQL Server: " + c.definition);
      continue;
    }
    std::string why;
    const auto condition = TranslateCheck(c.definition, [&](const std::string& col) { return TargetColumn(col); }, why);
    if (!condition) {
      notCarried.emplace_back(name, "not translated (" + why + "): " + c.definition);
      continue;
    }
    out.push_back({c.sourceName, *condition,
                   "ALTER TABLE " + QuoteIdentifier(target) + " ADD CONSTRAINT " + QuoteIdentifier(c.name) + " CHECK (" +
                       *condition + ");"});
  }
  return out;
}

void KeyPlan::Clear() {
  tables_.clear();
  foreignKeys_.clear();
  changed_.clear();
}

TableKeys& KeyPlan::Add(const std::string& source, const std::string& target, MSSQL::TableSchema schema, int pageSize) {
  TableKeys& t = tables_[Lower(source)];
  t = TableKeys();
  t.source = source;
  t.target = target;
  t.pageSize = pageSize;
  for (const auto& c : schema.checks) t.checks.push_back({c.name, {}, c.definition, c.notTrusted, c.disabled});
  if (!schema.primaryKey.columns.empty()) {
    IndexPlan pk;
    pk.kind = IndexPlan::Kind::PrimaryKey;
    pk.sourceName = schema.primaryKey.name.empty() ? "PK_" + target : schema.primaryKey.name;
    pk.columns = schema.primaryKey.columns;
    t.indexes.push_back(pk);
  }
  for (const auto& i : schema.indexes) {
    IndexPlan ix;
    ix.kind = i.unique ? IndexPlan::Kind::UniqueIndex : IndexPlan::Kind::Index;
    ix.sourceName = i.name;
    ix.columns = i.columns;
    ix.descending = i.descending;
    ix.mixedOrder = i.mixedOrder;
    ix.leftOutWhy = i.leftOutWhy;
    if (ix.leftOutWhy.empty() && ix.columns.empty()) ix.leftOutWhy = "the source lists no key columns for it";
    t.indexes.push_back(ix);
  }
  for (const auto& f : schema.foreignKeys) {
    ForeignKeyPlan fk;
    fk.sourceName = f.name;
    fk.table = source;
    fk.refTable = f.refTable;
    fk.columns = f.columns;
    fk.refColumns = f.refColumns;
    fk.onDelete = f.onDelete;
    fk.onUpdate = f.onUpdate;
    foreignKeys_.push_back(fk);
  }
  t.schema = std::move(schema);
  return t;
}

TableKeys* KeyPlan::Find(const std::string& source) {
  auto it = tables_.find(Lower(source));
  return it == tables_.end() ? nullptr : &it->second;
}

void KeyPlan::NameAll(const std::set<std::string>& reserved) {
  // A unique index that a foreign key refers to becomes a unique constraint.
  for (const auto& fk : foreignKeys_) {
    TableKeys* ref = Find(fk.refTable);
    if (!ref) continue;
    const TableKeys* own = Find(fk.table);
    const std::string keyName = own ? [&] {
      for (const auto& f : own->schema.foreignKeys)
        if (f.name == fk.sourceName) return f.refKeyName;
      return std::string();
    }() : std::string();
    for (auto& ix : ref->indexes) {
      if (ix.kind != IndexPlan::Kind::UniqueIndex) continue;
      bool same = ix.columns.size() == fk.refColumns.size();
      for (size_t i = 0; same && i < ix.columns.size(); ++i) same = Lower(ix.columns[i]) == Lower(fk.refColumns[i]);
      if (same || (!keyName.empty() && ix.sourceName == keyName)) ix.kind = IndexPlan::Kind::UniqueConstraint;
    }
  }
  std::vector<std::string> names;
  for (auto& [key, t] : tables_)
    for (auto& ix : t.indexes) names.push_back(ix.sourceName);
  for (auto& fk : foreignKeys_) names.push_back(fk.sourceName.empty() ? "FK_" + fk.table : fk.sourceName);
  for (auto& [key, t] : tables_)
    for (auto& c : t.checks) names.push_back(c.sourceName);
  NameShortener s;
  for (const auto& r : reserved) s.Reserve(r);
  const std::vector<std::string> given = s.ShortenEach(names);
  changed_.clear();
  for (size_t i = 0; i < names.size(); ++i)
    if (given[i] != names[i]) changed_.emplace_back(names[i], given[i]);
  size_t k = 0;
  for (auto& [key, t] : tables_)
    for (auto& ix : t.indexes) ix.name = given[k++];
  for (auto& fk : foreignKeys_) fk.name = given[k++];
  for (auto& [key, t] : tables_)
    for (auto& c : t.checks) c.name = given[k++];
}

std::vector<std::string> KeyPlan::ForeignKeys(const std::set<std::string>& done, bool everyRemaining,
                                              std::vector<std::string>& leftOut, const std::set<std::string>& existing) {
  std::vector<std::string> out;
  for (auto& fk : foreignKeys_) {
    if (fk.given) continue;
    const bool ready = done.count(Lower(fk.table)) && done.count(Lower(fk.refTable));
    if (!ready && !everyRemaining) continue;
    fk.given = true;
    // A table kept as Firebird holds it keeps the foreign keys it has there.
    if (const TableKeys* own = Find(fk.table); own && own->kept && existing.count(Lower(fk.name))) continue;
    auto tell = [&](const std::string& why) {
      // One Firebird holds already is not missing.
      if (existing.count(Lower(fk.name))) return;
      leftOut.push_back("Table \"" + fk.table + "\": foreign key \"" + fk.sourceName + "\" (" + why + ")");
    };
    TableKeys* own = Find(fk.table);
    TableKeys* ref = Find(fk.refTable);
    if (!ref) {
      tell("it refers to \"" + fk.refTable + "\", which is not in this run");
      continue;
    }
    if (!ready || !own || !own->IsCreated() || !ref->IsCreated()) {
      tell("\"" + (own && own->IsCreated() ? fk.refTable : fk.table) + "\" was not made in this run");
      continue;
    }
    std::vector<std::string> cols, refCols;
    std::vector<const ColumnType*> types;
    for (const auto& c : fk.columns) {
      cols.push_back(own->TargetColumn(c));
      types.push_back(own->TargetType(c));
    }
    for (const auto& c : fk.refColumns) refCols.push_back(ref->TargetColumn(c));
    const auto missing = [](const std::vector<std::string>& v) { return std::find(v.begin(), v.end(), std::string()) != v.end(); };
    if (cols.empty() || missing(cols) || missing(refCols)) {
      tell("a column of it is not in its table");
      continue;
    }
    const long bytes = IndexKeyBytes(types);
    if (bytes < 0 || bytes > MaxIndexKeyBytes(own->pageSize)) {
      tell(bytes < 0 ? BlobColumnsText(fk.columns, types) : "its key is longer than Firebird indexes");
      continue;
    }
    // Firebird refers to a primary key or unique constraint only; the one it needs must have been made.
    bool keyMade = false;
    for (const auto& ix : ref->indexes) {
      if (ix.kind != IndexPlan::Kind::PrimaryKey && ix.kind != IndexPlan::Kind::UniqueConstraint) continue;
      if (!ix.leftOutWhy.empty() || ix.columns.size() != fk.refColumns.size()) continue;
      bool same = true;
      for (size_t i = 0; same && i < ix.columns.size(); ++i) same = Lower(ix.columns[i]) == Lower(fk.refColumns[i]);
      keyMade |= same;
    }
    if (!keyMade) {
      tell("the key of \"" + fk.refTable + "\" it refers to was not made");
      continue;
    }
    std::string s = "ALTER TABLE " + QuoteIdentifier(own->target) + " ADD CONSTRAINT " + QuoteIdentifier(fk.name) +
                    " FOREIGN KEY " + ColumnList(cols) + " REFERENCES " + QuoteIdentifier(ref->target) + " " +
                    ColumnList(refCols);
    if (fk.onDelete != MSSQL::KeyRule::NoAction) s += std::string(" ON DELETE ") + RuleText(fk.onDelete);
    if (fk.onUpdate != MSSQL::KeyRule::NoAction) s += std::string(" ON UPDATE ") + RuleText(fk.onUpdate);
    out.push_back(s + ";");
  }
  return out;
}

std::string DropConstraintText(const std::string& table, const std::string& constraint) {
  return "ALTER TABLE " + QuoteIdentifier(table) + " DROP CONSTRAINT " + QuoteIdentifier(constraint) + ";";
}

KeyOrder KeyOrderOf(const std::vector<std::string>& key, const std::vector<MSSQL::ColumnInfo>& columns) {
  KeyOrder order;
  if (key.size() != 1) {
    order.why = key.empty() ? "it has no primary key" : "its primary key has more than one column";
    return order;
  }
  std::string type;
  for (const auto& c : columns)
    if (ado::ToLower(c.name) == ado::ToLower(key[0])) type = ado::ToLower(c.typeName);
  // Types whose order in SQL Server is not the order of what Firebird holds for them.
  for (const char* unshared : {"uniqueidentifier", "sql_variant", "datetimeoffset"})
    if (type.rfind(unshared, 0) == 0) {
      order.why = "its key is a " + type + ", which SQL Server orders otherwise than Firebird holds it";
      return order;
    }
  order.column = MSSQL::QuotedName(key[0]);
  // Text by code point on both sides: SQL Server's binary collation, Firebird's UTF8.
  if (MSSQL::IsSqlServerDriver() && (type.find("char") != std::string::npos || type == "sysname"))
    order.collate = " COLLATE Latin1_General_BIN2";
  return order;
}

}  // namespace conversion
