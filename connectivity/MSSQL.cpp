#include "connectivity/MSSQL.h"

#include <map>
#include <utility>

#include "connectivity/Ado.h"
#include "connectivity/ConnString.h"
#include "connectivity/OdbcBackend.h"
#include "connectivity/UiYield.h"

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
  return "Driver={SQL Server};Server=" + q(server) + ";Database=" + q(login.database) + ";Uid=" + q(login.user) +
         ";Pwd=" + q(login.password) + ";";
}

bool CanOpenSqlServer(const Login& login, std::string* why) {
  return ado::CanOpen([&](ado::Connection& c) { c.Open(ConnectionString(login)); }, kLoginTestTimeout, why);
}

bool IsDiagramTable(const std::string& name) {
  const std::string n = ado::ToLower(name);
  return n == "sysdiagrams" || n == "dtproperties";
}

void ListSqlServerTables(const Login& login, std::vector<std::string>& list, std::vector<std::string>* leftOut) {
  ado::Connection conn;
  conn.Open(ConnectionString(login));
  ado::Recordset rs(conn.OpenSchemaTables());
  list.clear();
  while (!rs.Eof()) {
    if (rs.Fields("TABLE_TYPE").value.ToString() == "TABLE") {
      ui::Yield();
      std::string name = rs.Fields("TABLE_NAME").value.ToString();
      if (!IsDiagramTable(name)) list.push_back(name);
      else if (leftOut) leftOut->push_back(name);
    }
    rs.MoveNext();
  }
  rs.Close();
  conn.Close();
}

std::string QuotedName(const std::string& name) { return ado::Enclosed(name, '[', ']'); }

long long CountRows(ado::Connection& conn, const std::string& table) {
  const std::string from = " FROM " + QuotedName(table);
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

TableSchema ReadSchema(ado::Connection& conn, const std::string& table) {
  TableSchema s;
  const bool sqlServer = DriverStyle() == ado::BraceStyle::FreeTds;
  auto each = [&](ado::CatalogQuery what, const std::function<void(const ado::Recordset&)>& row) {
    ado::Recordset rs(conn.Catalog(what, table));
    while (!rs.Eof()) {
      // The table name is a search pattern to some drivers: only its own rows count.
      const std::string t = Text(rs, {"table_name", "fktable_name"});
      if (t.empty() || t == table) row(rs);
      rs.MoveNext();
    }
  };
  each(ado::CatalogQuery::Columns, [&](const ado::Recordset& rs) {
    ColumnInfo c;
    c.name = Text(rs, {"column_name"});
    c.notNull = Number(rs, {"nullable"}, 1) == 0;
    c.defaultText = Text(rs, {"column_def"});
    const std::string type = ado::ToLower(Text(rs, {"type_name"}));
    c.identity = type.size() > 9 && type.compare(type.size() - 9, 9, " identity") == 0;
    s.columns.push_back(c);
  });
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
      fk.refTable = Text(rs, {"pktable_name"});
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
  const std::string object = "N" + ado::SqlString(QuotedName(table));
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
