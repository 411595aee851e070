#include "connectivity/sqlserver/MSSQL.h"

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "connectivity/core/Ado.h"
#include "connectivity/core/ConnString.h"
#include "connectivity/sqlserver/Encryption.h"
#include "connectivity/sqlserver/OdbcBackend.h"

namespace MSSQL {

static ado::BraceStyle DriverStyle() {
  // FreeTDS reads a braced value up to its first "};" and keeps "}}" as two characters.
  std::string lib = ado::OdbcDriverLibrary("SQL Server");
  return lib.find("tdsodbc") != std::string::npos ? ado::BraceStyle::FreeTds : ado::BraceStyle::Odbc;
}

std::string ConnectionString(const Login& login) {
  ado::BraceStyle style = DriverStyle();
  auto q = [&](const std::string& v) { return ado::QuoteValue(v, style); };
  std::string server = login.local ? login.server : login.server + "," + login.port;
  // A stand-in source knows no encryption.
  const std::string serverPart =
      style == ado::BraceStyle::FreeTds ? ServerPart(login, q(server)) : "Server=" + q(server) + ";";
  return "Driver={SQL Server};" + serverPart + "Database=" + q(login.database) + ";Uid=" +
         q(login.user) + ";Pwd=" + q(login.password) + ";";
}

void Open(ado::Connection& conn, const Login& login) {
  const std::string cs = ConnectionString(login);
  try {
    conn.Open(cs);
  } catch (const ado::DbError& e) {
    const std::string why = ExplainRefusal(login, e.what());
    if (why.empty()) throw;
    throw ado::DbError(kRefusedForEncryption + why + ".\n" + e.what());
  }
}

bool CanOpenSqlServer(const Login& login, std::string* why) {
  return ado::CanOpen([&](ado::Connection& c) { Open(c, login); }, kLoginTestTimeout, why);
}

bool IsDiagramTable(const std::string& name) {
  const std::string n = ado::ToLower(name);
  return n == "sysdiagrams" || n == "dtproperties";
}

std::string DisplayName(const TableRef& table) {
  if (table.schema.empty() || ado::ToLower(table.schema) == "dbo") return table.name;
  return table.schema + "." + table.name;
}

std::vector<std::string> DisplayNames(const std::vector<TableRef>& tables) {
  std::vector<std::string> names;
  std::map<std::string, int> seen;  // lower-cased display name: how many tables have it
  for (const auto& t : tables) {
    names.push_back(DisplayName(t));
    ++seen[ado::ToLower(names.back())];
  }
  for (size_t i = 0; i < tables.size(); ++i) {
    const TableRef& t = tables[i];
    const bool dbo = t.schema.empty() || ado::ToLower(t.schema) == "dbo";
    const bool dotted = t.name.find('.') != std::string::npos || (!dbo && t.schema.find('.') != std::string::npos);
    if (!dotted || seen[ado::ToLower(names[i])] < 2) continue;
    // From schema and name apart, as long names are ended.
    const std::uint32_t h = ado::Fnv1a((dbo ? std::string("dbo") : t.schema) + '\0' + t.name);
    char tail[16];
    std::snprintf(tail, sizeof tail, "~%06X", static_cast<unsigned>(h & 0xFFFFFF));
    names[i] += tail;
  }
  return names;
}

std::string SqlName(const TableRef& table) {
  return table.schema.empty() ? QuotedName(table.name) : QuotedName(table.schema) + "." + QuotedName(table.name);
}

bool IsSqlServerDriver() { return DriverStyle() == ado::BraceStyle::FreeTds; }

void ListSqlServerTables(const Login& login, std::vector<TableRef>& list, std::vector<std::string>* leftOut) {
  ado::Connection conn;
  Open(conn, login);
  ado::Recordset rs(conn.OpenSchemaTables());
  list.clear();
  int schemaField = -1;
  for (int i = 0; i < rs.FieldCount(); ++i) {
    const std::string n = ado::ToLower(rs.Fields(i).Name);
    if (n == "table_schem" || n == "table_owner") schemaField = i;
  }
  while (!rs.Eof()) {
    if (rs.Fields("TABLE_TYPE").value.ToString() == "TABLE") {
      TableRef t;
      t.name = rs.Fields("TABLE_NAME").value.ToString();
      if (schemaField >= 0 && !rs.Fields(schemaField).value.IsNull()) t.schema = rs.Fields(schemaField).value.ToString();
      if (!IsDiagramTable(t.name)) list.push_back(std::move(t));
      else if (leftOut) leftOut->push_back(DisplayName(t));
    }
    rs.MoveNext();
  }
  rs.Close();
  conn.Close();
}

std::string FindTable(const std::vector<TableRef>& list, const std::string& wanted, std::string& why) {
  const std::string want = ado::ToLower(wanted);
  const std::vector<std::string> display = DisplayNames(list);
  // Its display name, or its schema and name written out ("dbo.Log" for the dbo table "Log").
  for (size_t i = 0; i < list.size(); ++i)
    if (ado::ToLower(display[i]) == want ||
        (!list[i].schema.empty() && ado::ToLower(list[i].schema + "." + list[i].name) == want))
      return display[i];
  std::vector<std::string> found;
  for (size_t i = 0; i < list.size(); ++i)
    if (ado::ToLower(list[i].name) == want) found.push_back(display[i]);
  if (found.size() == 1) return found[0];
  if (found.empty()) {
    why = "no table " + wanted + " in the SQL Server database";
  } else {
    why = "the table name " + wanted + " is in several schemas:";
    for (const auto& f : found) why += " " + f;
  }
  return {};
}

std::string QuotedName(const std::string& name) { return ado::Enclosed(name, '[', ']'); }

long long CountRows(ado::Connection& conn, const TableRef& table) {
  const std::string from = " FROM " + SqlName(table);
  try {
    return conn.Active().Scalar("SELECT COUNT_BIG(*)" + from);
  } catch (const ado::DbError& e) {
    if (e.ConnectionLost()) throw;
    return conn.Active().Scalar("SELECT COUNT(*)" + from);
  }
}

namespace {

// A field's text by the first of its names that the result set has; "" when it has none or NULL.
std::string Text(const ado::Recordset& rs, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    for (int i = 0; i < rs.FieldCount(); ++i) {
      if (ado::ToLower(rs.Fields(i).Name) != n) continue;
      const ado::Value& v = rs.Fields(i).value;
      return v.IsNull() ? std::string() : v.ToString();
    }
  }
  return {};
}

long long Number(const ado::Recordset& rs, std::initializer_list<const char*> names, long long otherwise) {
  const std::string t = Text(rs, names);
  if (t.empty()) return otherwise;
  try {
    return std::stoll(t);
  } catch (const std::exception&) {
    return otherwise;
  }
}

bool SameName(const std::string& a, const std::string& b) { return ado::ToLower(a) == ado::ToLower(b); }

// The entry of `list` with this name; a new one, named, when there is none (`added` says which).
template <class T>
T& Named(std::vector<T>& list, const std::string& name, bool& added) {
  added = false;
  for (auto& item : list)
    if (item.name == name) return item;
  added = true;
  list.push_back({});
  list.back().name = name;
  return list.back();
}

// Puts a key's column at its 1-based position `seq`, whatever order the rows come in.
void Place(std::vector<std::string>& columns, size_t seq, std::string name) {
  if (columns.size() < seq) columns.resize(seq);
  columns[seq - 1] = std::move(name);
}

// Referential actions as numbered by SQL Server's sp_fkeys (FreeTDS passes them on) or by ODBC.
KeyRule RuleOf(long long n, bool sqlServerNumbers) {
  if (sqlServerNumbers) {
    switch (n) {
      case 0: return KeyRule::Cascade;
      case 2: return KeyRule::SetNull;
      case 3: return KeyRule::SetDefault;
      default: return KeyRule::NoAction;
    }
  }
  switch (n) {
    case 0: return KeyRule::Cascade;         // SQL_CASCADE
    case 2: return KeyRule::SetNull;         // SQL_SET_NULL
    case 4: return KeyRule::SetDefault;      // SQL_SET_DEFAULT
    default: return KeyRule::NoAction;       // SQL_RESTRICT, SQL_NO_ACTION
  }
}

}  // namespace

const ColumnInfo* TableSchema::Column(const std::string& name) const {
  for (const auto& c : columns)
    if (SameName(c.name, name)) return &c;
  return nullptr;
}

namespace {

// Calls `row` for each row of a catalogue function that belongs to the table itself: the table name is a
// search pattern to some drivers.
void EachRow(ado::Connection& conn, ado::CatalogQuery what, const TableRef& table,
             const std::function<void(const ado::Recordset&)>& row) {
  ado::Recordset rs(conn.Catalog(what, table.name, table.schema));
  while (!rs.Eof()) {
    const std::string t = Text(rs, {"table_name", "fktable_name"});
    const std::string owner = Text(rs, {"table_schem", "table_owner", "fktable_schem", "fktable_owner"});
    if ((t.empty() || t == table.name) && (table.schema.empty() || owner.empty() || SameName(owner, table.schema))) row(rs);
    rs.MoveNext();
  }
}

// The table as OBJECT_ID takes it, in an N'...' literal.
std::string ObjectName(const TableRef& table) { return "N" + ado::SqlString(SqlName(table)); }

}  // namespace

std::vector<std::pair<TableRef, std::string>> ReadReferringKeys(ado::Connection& conn, const TableRef& table) {
  std::vector<std::pair<TableRef, std::string>> out;
  ado::Recordset rs(conn.Catalog(ado::CatalogQuery::ReferencedBy, table.name, table.schema));
  for (; !rs.Eof(); rs.MoveNext()) {
    // The referred table's name is a search pattern to some drivers: only its own rows count.
    if (Text(rs, {"pktable_name"}) != table.name) continue;
    const std::pair<TableRef, std::string> key{TableRef(Text(rs, {"fktable_schem", "fktable_owner"}), Text(rs, {"fktable_name"})),
                                               Text(rs, {"fk_name"})};
    const auto same = [&](const std::pair<TableRef, std::string>& k) {
      return k.first.schema == key.first.schema && k.first.name == key.first.name && k.second == key.second;
    };
    if (std::find_if(out.begin(), out.end(), same) == out.end()) out.push_back(key);
  }
  return out;
}

std::vector<ColumnInfo> ReadColumns(ado::Connection& conn, const TableRef& table) {
  std::vector<ColumnInfo> columns;
  EachRow(conn, ado::CatalogQuery::Columns, table, [&](const ado::Recordset& rs) {
    ColumnInfo c;
    c.name = Text(rs, {"column_name"});
    c.notNull = Number(rs, {"nullable"}, 1) == 0;
    c.defaultText = Text(rs, {"column_def"});
    c.typeName = Text(rs, {"type_name"});
    const std::string type = ado::ToLower(c.typeName);
    c.identity = type.size() > 9 && type.compare(type.size() - 9, 9, " identity") == 0;
    if (c.identity) c.typeName.resize(c.typeName.size() - 9);
    columns.push_back(c);
  });
  if (!IsSqlServerDriver()) return columns;
  // What the catalogue functions do not tell, from SQL Server's catalogue views: `select` gives a
  // column_name and what `take` reads into the column of that name. A view that cannot be read tells
  // nothing.
  auto more = [&](const std::string& select, const std::function<void(ColumnInfo&, const ado::Recordset&)>& take) {
    try {
      ado::Recordset rs(conn.Active().Query(select));
      for (; !rs.Eof(); rs.MoveNext()) {
        const std::string name = Text(rs, {"column_name"});
        for (auto& c : columns)
          if (SameName(c.name, name)) take(c, rs);
      }
    } catch (const ado::DbError& e) {
      if (e.ConnectionLost()) throw;
    }
  };
  const std::string object = "object_id = OBJECT_ID(" + ObjectName(table) + ")";
  // Each text column's collation: its own, or the database's where it was made with that.
  more("SELECT name AS column_name, collation_name FROM sys.columns WHERE " + object + " AND collation_name IS NOT NULL",
       [](ColumnInfo& c, const ado::Recordset& rs) { c.collation = Text(rs, {"collation_name"}); });
  // Computed columns look like any other to the catalogue functions.
  more("SELECT name AS column_name FROM sys.computed_columns WHERE " + object,
       [](ColumnInfo& c, const ado::Recordset&) { c.computed = true; });
  return columns;
}

TableSchema ReadSchema(ado::Connection& conn, const TableRef& table) {
  TableSchema s;
  const bool sqlServer = IsSqlServerDriver();
  auto each = [&](ado::CatalogQuery what, const std::function<void(const ado::Recordset&)>& row) {
    EachRow(conn, what, table, row);
  };
  s.columns = ReadColumns(conn, table);
  each(ado::CatalogQuery::PrimaryKeys, [&](const ado::Recordset& rs) {
    s.primaryKey.name = Text(rs, {"pk_name"});
    const auto seq = static_cast<size_t>(Number(rs, {"key_seq"}, 0));
    if (seq > 0) Place(s.primaryKey.columns, seq, Text(rs, {"column_name"}));
  });
  if (!s.primaryKey.columns.empty()) s.primaryKey.unique = true;
  std::map<std::string, std::pair<bool, bool>> directions;  // index: some column ascending, some descending
  each(ado::CatalogQuery::Statistics, [&](const ado::Recordset& rs) {
    if (Number(rs, {"type"}, 0) == 0) return;  // the table's own statistics row
    const std::string name = Text(rs, {"index_name"});
    if (name.empty()) return;
    bool added = false;
    IndexInfo& ix = Named(s.indexes, name, added);
    if (added) ix.unique = Number(rs, {"non_unique"}, 1) == 0;
    const auto seq = static_cast<size_t>(Number(rs, {"ordinal_position", "seq_in_index"}, 0));
    if (seq == 0) return;
    Place(ix.columns, seq, Text(rs, {"column_name"}));
    auto& [ascending, descending] = directions[name];
    (Text(rs, {"asc_or_desc", "collation"}) == "D" ? descending : ascending) = true;
    if (!Text(rs, {"filter_condition"}).empty()) ix.leftOutWhy = "a filtered index";
  });
  for (auto& ix : s.indexes) {
    const auto [ascending, descending] = directions[ix.name];
    ix.descending = descending && !ascending;
    ix.mixedOrder = descending && ascending;
  }
  // The primary key's own index is the key itself, and so is a unique index over just its columns.
  std::erase_if(s.indexes, [&](const IndexInfo& i) {
    if (!s.primaryKey.name.empty() && i.name == s.primaryKey.name) return true;
    if (!i.unique || s.primaryKey.columns.empty() || i.columns.size() != s.primaryKey.columns.size()) return false;
    for (size_t k = 0; k < i.columns.size(); ++k)
      if (!SameName(i.columns[k], s.primaryKey.columns[k])) return false;
    return true;
  });
  each(ado::CatalogQuery::ForeignKeys, [&](const ado::Recordset& rs) {
    bool added = false;
    ForeignKeyInfo& fk = Named(s.foreignKeys, Text(rs, {"fk_name"}), added);
    if (added) {
      fk.ref = {Text(rs, {"pktable_schem", "pktable_owner"}), Text(rs, {"pktable_name"})};
      fk.refTable = DisplayName(fk.ref);
      fk.refKeyName = Text(rs, {"pk_name"});
      fk.onDelete = RuleOf(Number(rs, {"delete_rule"}, 1), sqlServer);
      fk.onUpdate = RuleOf(Number(rs, {"update_rule"}, 1), sqlServer);
    }
    const auto seq = static_cast<size_t>(Number(rs, {"key_seq"}, 0));
    if (seq == 0) return;
    Place(fk.columns, seq, Text(rs, {"fkcolumn_name"}));
    Place(fk.refColumns, seq, Text(rs, {"pkcolumn_name"}));
  });
  if (!sqlServer) return s;
  // What the catalogue functions do not tell: kinds of index Firebird has no counterpart for, and the
  // identity's seed and step. A server that cannot answer leaves the indexes as they are.
  const std::string object = ObjectName(table);
  try {
    ado::Recordset rs(conn.Active().Query(
        "SELECT i.name AS index_name, i.type_desc AS type_desc, CAST(i.has_filter AS int) AS has_filter, "
        "(SELECT COUNT(*) FROM sys.index_columns c WHERE c.object_id = i.object_id AND c.index_id = i.index_id "
        "AND c.is_included_column = 1) AS included FROM sys.indexes i WHERE i.object_id = OBJECT_ID(" + object +
        ") AND i.index_id > 0"));
    while (!rs.Eof()) {
      const std::string name = Text(rs, {"index_name"});
      const std::string kind = Text(rs, {"type_desc"});
      std::string why;
      if (kind == "XML") why = "an XML index";
      else if (kind == "SPATIAL") why = "a spatial index";
      else if (kind.find("COLUMNSTORE") != std::string::npos) why = "a columnstore index";
      else if (Number(rs, {"has_filter"}, 0) != 0) why = "a filtered index";
      else if (Number(rs, {"included"}, 0) > 0) why = "an index with included columns";
      bool added = false;
      if (!why.empty()) Named(s.indexes, name, added).leftOutWhy = why;
      rs.MoveNext();
    }
  } catch (const ado::DbError& e) {
    if (e.ConnectionLost()) throw;
  }
  bool hasIdentity = false;
  for (const auto& c : s.columns) hasIdentity |= c.identity;
  if (hasIdentity) {
    try {
      ado::Recordset rs(conn.Active().Query("SELECT CAST(IDENT_SEED(" + object + ") AS bigint) AS seed, CAST(IDENT_INCR(" +
                                            object + ") AS bigint) AS step"));
      if (!rs.Eof()) {
        s.identitySeed = Number(rs, {"seed"}, 1);
        s.identityIncrement = Number(rs, {"step"}, 1);
      }
    } catch (const ado::DbError& e) {
      if (e.ConnectionLost()) throw;
    }
  }
  return s;
}

}  // namespace MSSQL

namespace MSSQL {

std::vector<CheckInfo> ReadChecks(ado::Connection& conn) {
  std::vector<CheckInfo> out;
  ado::Recordset rs(conn.Active().Query(
      "SELECT SCHEMA_NAME(t.schema_id) AS schema_name, t.name AS table_name, c.name AS check_name, "
      "c.definition AS definition, CAST(c.is_not_trusted AS int) AS not_trusted, CAST(c.is_disabled AS int) AS is_disabled "
      "FROM sys.check_constraints c JOIN sys.tables t ON t.object_id = c.parent_object_id ORDER BY 1, 2, 3"));
  for (; !rs.Eof(); rs.MoveNext()) {
    CheckInfo c;
    c.table = {Text(rs, {"schema_name"}), Text(rs, {"table_name"})};
    c.name = Text(rs, {"check_name"});
    c.definition = Text(rs, {"definition"});
    c.notTrusted = Number(rs, {"not_trusted"}, 0) != 0;
    c.disabled = Number(rs, {"is_disabled"}, 0) != 0;
    out.push_back(std::move(c));
  }
  return out;
}

std::vector<SourceObject> ReadObjects(ado::Connection& conn) {
  std::vector<SourceObject> out;
  ado::Recordset rs(conn.Active().Query(
      "SELECT SCHEMA_NAME(o.schema_id) AS schema_name, o.name AS object_name, "
      "CASE WHEN o.type = 'V' THEN 'VIEW' WHEN o.type IN ('P', 'PC', 'X', 'RF') THEN 'PROCEDURE' "
      "WHEN o.type IN ('TR', 'TA') THEN 'TRIGGER' WHEN o.type = 'SN' THEN 'SYNONYM' "
      "WHEN o.type = 'SP' THEN 'SECURITY_POLICY' ELSE 'FUNCTION' END AS kind, "
      "OBJECT_NAME(o.parent_object_id) AS table_name FROM sys.objects o WHERE o.is_ms_shipped = 0 "
      "AND o.type IN ('V', 'P', 'PC', 'X', 'RF', 'TR', 'TA', 'SN', 'SP', 'FN', 'IF', 'TF', 'FS', 'FT', 'AF') "
      "UNION ALL SELECT NULL, t.name, 'DDL_TRIGGER', NULL FROM sys.triggers t WHERE t.parent_class = 0 "
      "AND t.is_ms_shipped = 0 "
      "UNION ALL SELECT SCHEMA_NAME(x.schema_id), x.name, 'XML_SCHEMA_COLLECTION', NULL FROM sys.xml_schema_collections x "
      "WHERE x.schema_id <> SCHEMA_ID('sys') "
      "UNION ALL SELECT SCHEMA_NAME(o.schema_id), o.name, 'FULLTEXT_INDEX', o.name FROM sys.fulltext_indexes f "
      "JOIN sys.objects o ON o.object_id = f.object_id ORDER BY 3, 1, 2"));
  for (; !rs.Eof(); rs.MoveNext())
    out.push_back({Text(rs, {"schema_name"}), Text(rs, {"object_name"}), Text(rs, {"kind"}), Text(rs, {"table_name"})});
  return out;
}

std::vector<ViewDefinition> ReadViews(ado::Connection& conn) {
  std::vector<ViewDefinition> out;
  ado::Recordset rs(conn.Active().Query(
      "SELECT SCHEMA_NAME(v.schema_id) AS schema_name, v.name AS view_name, m.definition AS definition "
      "FROM sys.views v LEFT JOIN sys.sql_modules m ON m.object_id = v.object_id WHERE v.is_ms_shipped = 0 ORDER BY 1, 2"));
  for (; !rs.Eof(); rs.MoveNext())
    out.push_back({Text(rs, {"schema_name"}), Text(rs, {"view_name"}), Text(rs, {"definition"})});
  return out;
}

std::vector<SequenceInfo> ReadSequences(ado::Connection& conn) {
  std::vector<SequenceInfo> out;
  const std::string query =
      "SELECT SCHEMA_NAME(s.schema_id) AS schema_name, s.name AS sequence_name, TYPE_NAME(s.system_type_id) AS type_name, "
      "CAST(s.start_value AS decimal(38, 0)) AS start_value, CAST(s.increment AS decimal(38, 0)) AS increment, "
      "CAST(s.current_value AS decimal(38, 0)) AS current_value";
  const std::string from = " FROM sys.sequences s ORDER BY 1, 2";
  std::unique_ptr<ado::Cursor> cursor;
  bool knowsUse = true;
  try {
    cursor = conn.Active().Query(query + ", CAST(s.last_used_value AS decimal(38, 0)) AS last_used_value" + from);
  } catch (const ado::DbError& e) {
    // Servers before 2017 have no last_used_value: the sequence is taken as used, which may skip a value
    // but never hands one out twice.
    if (e.ConnectionLost()) throw;
    cursor = conn.Active().Query(query + from);
    knowsUse = false;
  }
  ado::Recordset rs(std::move(cursor));
  for (; !rs.Eof(); rs.MoveNext()) {
    SequenceInfo q;
    q.schema = Text(rs, {"schema_name"});
    q.name = Text(rs, {"sequence_name"});
    q.type = Text(rs, {"type_name"});
    q.start = Text(rs, {"start_value"});
    q.increment = Text(rs, {"increment"});
    q.current = Text(rs, {"current_value"});
    if (knowsUse) q.used = !Text(rs, {"last_used_value"}).empty();
    out.push_back(std::move(q));
  }
  return out;
}

}  // namespace MSSQL
