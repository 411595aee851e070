#include "conversion/TableDdl.h"

#include <algorithm>

#include "connectivity/core/AdoTypes.h"
#include "connectivity/core/ConnString.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/Casts.h"
#include "conversion/Datatype.h"
#include "conversion/Keys.h"
#include "conversion/Names.h"

namespace conversion {

// Firebird's exact numerics hold at most 18 digits.
constexpr int kMaxPrecision = 18;
// Firebird keeps times to a ten-thousandth of a second.
constexpr int kMaxFraction = 4;
// The largest serialized hierarchyid.
constexpr long kHierarchyIdBytes = 892;

namespace {
const char* const kTextBlob = "BLOB SUB_TYPE TEXT CHARACTER SET UTF8";
const char* const kBinaryBlob = "BLOB SUB_TYPE BINARY";

bool IsBinaryType(int type) { return type == ado::adBinary || type == ado::adVarBinary || type == ado::adLongVarBinary; }

void MakeBlob(ColumnType& c) {
  const bool binary = c.storage == Storage::Binary || c.storage == Storage::BinaryBlob;
  c.storage = binary ? Storage::BinaryBlob : Storage::TextBlob;
  c.firebirdType = binary ? kBinaryBlob : kTextBlob;
  if (!binary && !c.collation.empty()) c.firebirdType += " COLLATE " + c.collation;
  c.columnText = " " + c.firebirdType + ", ";
  c.blob = true;
  c.length = 0;
}

}  // namespace

void SetCharacter(ColumnType& c, bool binary, long length) {
  c.storage = binary ? Storage::Binary : Storage::Text;
  const long limit = binary ? kMaxVarcharBytes : kMaxUtf8Chars;
  if (length <= 0 || length > limit) return MakeBlob(c);
  c.blob = false;
  c.length = length;
  c.firebirdType = "VARCHAR(" + std::to_string(length) + ") CHARACTER SET " + (binary ? "OCTETS" : "UTF8");
  if (!binary && !c.collation.empty()) c.firebirdType += " COLLATE " + c.collation;
  c.columnText = " " + c.firebirdType + ", ";
}

std::string FirebirdCollation(const std::string& sqlServerCollation) {
  const std::string c = ado::ToUpper(sqlServerCollation);
  auto has = [&](const char* part) { return c.find(part) != std::string::npos; };
  if (c.empty() || has("_BIN")) return {};
  if (has("_CI_AI")) return "UNICODE_CI_AI";
  if (has("_CI")) return "UNICODE_CI";
  if (has("_CS")) return "UNICODE";
  return {};
}

bool ParseTypeRules(const std::string& text, TypeRules& rules) {
  const std::string t = ado::ToLower(text);
  if (t == "firebird") rules = TypeRules::Firebird;
  else if (t == "classic") rules = TypeRules::Classic;
  else return false;
  return true;
}

const char* TypeRulesName(TypeRules rules) { return rules == TypeRules::Classic ? "Classic" : "Firebird"; }

namespace {
int ExactScale(int precision, int scale) {
  if (scale < 0) scale = 0;
  if (precision < 1 || precision > kMaxPrecision) {
    // Wider than Firebird's 18 digits: keep room for nine digits before the point (or all the source
    // allows, when fewer), and as many of the source's decimals as then fit.
    const int before = precision - scale;
    return std::min(scale, std::max(kMaxPrecision - 9, kMaxPrecision - std::max(before, 0)));
  }
  return std::min(scale, precision);
}
}  // namespace

ColumnType ApplyTypeRules(const ado::Field& field, TypeRules rules) {
  const std::string t = ado::ToLower(Datatype::AdoTypeName(static_cast<short>(field.Type)));
  auto has = [&](const char* k) { return t.find(k) != std::string::npos; };
  const bool binary = IsBinaryType(field.Type);
  const bool classic = rules == TypeRules::Classic;
  auto exact = [&](const char* kind, int& scale) {
    int p = field.Precision;
    if (p < 1 || p > kMaxPrecision) p = kMaxPrecision;
    const int s = classic ? std::min(std::max(field.NumericScale, 0), p) : ExactScale(field.Precision, field.NumericScale);
    scale = s;
    return std::string(kind) + "(" + std::to_string(p) + ", " + std::to_string(s) + ")";
  };
  ColumnType c;
  auto set = [&](std::string typeText, const char* keyword, bool numeric) {
    c.columnText = " " + typeText + ", ";
    c.keyword = keyword;
    c.firebirdType = std::move(typeText);
    c.numeric = numeric;
    c.storage = numeric ? Storage::Number : Storage::Other;
  };
  if (!classic && field.Type == ado::adSingle) {
    // A real is a 32-bit float, which FLOAT holds exactly.
    set("FLOAT", "single", true);
  } else if (!classic && binary && ado::ToLower(field.TypeName) == "hierarchyid") {
    // Its bytes sort in the order of its values, so keys and indexes on it keep working.
    c.keyword = "hierarchyid";
    SetCharacter(c, true, kHierarchyIdBytes);
  } else if (field.Type == ado::adDBTime && (!classic || field.Fraction > kMaxFraction)) {
    // A time is a TIME, also with more digits of a second than Firebird's ten-thousandths (the classic
    // rules keep a time of up to four digits as text): the digits past them are cut and counted.
    set("TIME", "time", false);
  } else if (has("varwchar")) {
    // National text of a given length is a VARCHAR, which sorts, compares and indexes as text; the long
    // kinds (nvarchar(max), ntext, xml) and the classic rules make it a blob.
    c.keyword = "varwchar";
    SetCharacter(c, false, classic || field.Type != ado::adVarWChar ? 0 : field.DefinedSize);
  } else if (has("longvar")) {
    // Long types (varchar(max), text, image, ...) are blobs, never a capped VARCHAR.
    c.keyword = "longvar";
    SetCharacter(c, binary, 0);
  } else if (has("double")) {
    set("DOUBLE PRECISION", "double", true);
  } else if (has("smallint") || has("tinyint")) {
    // An unsigned smallint goes up to 65535, past SMALLINT.
    set(field.Type == ado::adUnsignedSmallInt ? "INTEGER" : "SMALLINT", "smallint", true);
  } else if (has("int")) {
    const bool wide = field.Type == ado::adBigInt || field.Type == ado::adUnsignedInt ||
                      field.Type == ado::adUnsignedBigInt;
    set(wide ? "BIGINT" : "INTEGER", "int", true);
  } else if (has("currency") || has("numeric")) {
    int scale = 0;
    set(exact("NUMERIC", scale), "currency", true);
    c.scale = scale;
  } else if (has("decimal")) {
    int scale = 0;
    set(exact("DECIMAL", scale), "decimal", true);
    c.scale = scale;
  } else if (has("date")) {
    set("DATE", "date", false);
  } else if (has("timestamp")) {
    set("TIMESTAMP", "timestamp", false);
  } else if (has("bool")) {
    set("SMALLINT", "bool", true);
  } else {
    c.keyword = "OTHER TYPES";
    SetCharacter(c, binary, field.DefinedSize);
  }
  return c;
}

long RowBytes(const ColumnType& c) {
  switch (c.storage) {
    case Storage::Text: return 2 + 4 * c.length + 1;  // length word, four bytes a character, alignment
    case Storage::Binary: return 2 + c.length + 1;
    case Storage::TextBlob:
    case Storage::BinaryBlob: return 8;
    default: return 16;  // eight bytes at most, and room for the alignment before it
  }
}

std::vector<size_t> FitRow(std::vector<ColumnType>& columns, const std::vector<bool>& pinned) {
  // One null flag a column, in 32-bit words.
  long total = static_cast<long>((columns.size() + 31) / 32 * 4);
  for (const auto& c : columns) total += RowBytes(c);
  std::vector<size_t> changed;
  while (total > kMaxRowBytes) {
    size_t widest = columns.size();
    for (size_t i = 0; i < columns.size(); ++i) {
      const auto s = columns[i].storage;
      if (s != Storage::Text && s != Storage::Binary) continue;
      if (i < pinned.size() && pinned[i]) continue;
      if (widest == columns.size() || RowBytes(columns[i]) > RowBytes(columns[widest])) widest = i;
    }
    if (widest == columns.size()) break;  // nothing left to move out of the record
    total -= RowBytes(columns[widest]);
    MakeBlob(columns[widest]);
    total += RowBytes(columns[widest]);
    changed.push_back(widest);
  }
  return changed;
}

std::string QuoteIdentifier(const std::string& name) { return ado::Enclosed(name, '"', '"'); }

TypeOptions TypesFor(TypeRules rules, const CastRules* casts, const MSSQL::TableRef& table) {
  TypeOptions types;
  types.rules = rules;
  types.casts = casts;
  types.schema = table.schema.empty() ? "dbo" : table.schema;
  types.sourceTable = table.name;
  return types;
}

std::string SelectAllText(const MSSQL::TableRef& table) { return "SELECT * FROM " + MSSQL::SqlName(table); }

std::string DropTableText(const std::string& table) { return "DROP TABLE " + QuoteIdentifier(table) + ";"; }

TableDdl BuildCreateTable(const std::string& table, const ado::Recordset& rs, DatatypeSink* sink, TableKeys* keys,
                          const TypeOptions& options) {
  TableDdl ddl;
  const int count = rs.FieldCount();
  std::vector<std::string> sourceNames;
  std::vector<const ado::Field*> fields;
  for (int k = 0; k < count; ++k) {
    sourceNames.push_back(rs.Fields(k).Name);
    fields.push_back(&rs.Fields(k));
    ddl.columns.push_back(ApplyTypeRules(rs.Fields(k), options.rules));
    ColumnType& c = ddl.columns.back();
    if (options.rules == TypeRules::Classic) c.keyword += " (Classic)";
    // Text compares as the source's collation has it.
    if (options.collations && options.rules == TypeRules::Firebird &&
        (c.storage == Storage::Text || c.storage == Storage::TextBlob)) {
      c.collation = FirebirdCollation(rs.Fields(k).Collation);
      if (c.storage == Storage::Text) SetCharacter(c, false, c.length);
      else MakeBlob(c);
    }
  }
  // A NUL cannot stand in a Firebird name: it is carried as U+FFFD, the replacement character.
  std::vector<std::string> usable = sourceNames;
  for (auto& n : usable)
    for (size_t at; (at = n.find('\0')) != std::string::npos;) n.replace(at, 1, "\xEF\xBF\xBD");
  ddl.columnNames = NameShortener::ShortenAll(usable);
  std::vector<bool> pinned(ddl.columns.size(), false);
  if (keys) keys->MakeKeyColumnsIndexable(sourceNames, fields, ddl.columns, pinned);
  // The user's casts beat every rule, and the record-size rule leaves their columns as they are.
  if (options.casts) {
    const std::string& source = options.sourceTable.empty() ? table : options.sourceTable;
    for (size_t k = 0; k < ddl.columns.size(); ++k) {
      if (const CastRule* rule = options.casts->Find(options.schema, source, *fields[k])) {
        ddl.columns[k] = rule->target;
        pinned[k] = true;
      }
    }
  }
  for (size_t i : FitRow(ddl.columns, pinned)) ddl.madeBlob.push_back(ddl.columnNames[i]);
  std::string& s = ddl.createTable;
  s = "CREATE TABLE " + QuoteIdentifier(table) + " (";
  for (size_t k = 0; k < ddl.columns.size(); ++k) {
    const ColumnType& c = ddl.columns[k];
    if (ddl.columnNames[k] != sourceNames[k]) ddl.shortened.emplace_back(sourceNames[k], ddl.columnNames[k]);
    if (sink) {
      sink->AppendRow(table, ddl.columnNames[k]);
      sink->SetLastRowTypes(c.keyword, c.firebirdType);
    }
    s += QuoteIdentifier(ddl.columnNames[k]);
    const std::string more = keys ? keys->ColumnModifiers(sourceNames[k], c) : std::string();
    if (more.empty()) {
      s += c.columnText;
    } else {
      // Firebird takes a column's COLLATE after its default and NOT NULL.
      const std::string collate = c.collation.empty() ? std::string() : " COLLATE " + c.collation;
      const std::string type = collate.empty() ? c.firebirdType : c.firebirdType.substr(0, c.firebirdType.size() - collate.size());
      s += " " + type + more + collate + ", ";
    }
    ddl.numeric.push_back(c.numeric);
    ddl.blob.push_back(c.blob);
    if (c.numeric) ddl.numericList += std::to_string(k) + ", ";
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  if (!s.empty()) s.pop_back();
  s += ");";
  if (keys) keys->Created(ddl, sourceNames);
  return ddl;
}

TableDdl PlannedTable(ado::Connection& source, const MSSQL::TableRef& ref, const std::string& targetName,
                      const TypeOptions& types, std::vector<std::string>* sourceNames) {
  ado::Recordset shape;
  shape.Open("SELECT * FROM " + MSSQL::SqlName(ref) + " WHERE 1 = 0", source);
  if (sourceNames)
    for (int k = 0; k < shape.FieldCount(); ++k) sourceNames->push_back(shape.Fields(k).Name);
  std::vector<MSSQL::ColumnInfo> catalogue;
  try {
    catalogue = MSSQL::ReadColumns(source, ref);
  } catch (const ado::DbError& e) {
    if (e.ConnectionLost()) throw;
  }
  for (const auto& c : catalogue)
    for (int k = 0; k < shape.FieldCount(); ++k)
      if (ado::ToLower(shape.Fields(k).Name) == ado::ToLower(c.name)) {
        if (shape.Fields(k).TypeName.empty()) shape.SetTypeName(k, c.typeName);
        shape.SetCollation(k, c.collation);
      }
  return BuildCreateTable(targetName, shape, nullptr, nullptr, types);
}

std::string ColumnDifference(ado::Connection& target, const std::string& table, const std::vector<std::string>& columns) {
  std::vector<std::string> held;
  ado::Recordset rs(target.Active().Query("SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " +
                                          ado::SqlString(table) + " ORDER BY RDB$FIELD_POSITION"));
  for (; !rs.Eof(); rs.MoveNext()) held.push_back(rs.Fields(0).value.ToString());
  if (held == columns) return {};
  auto list = [](const std::vector<std::string>& names) {
    std::string s;
    for (const auto& n : names) s += (s.empty() ? "\"" : ", \"") + n + "\"";
    return s.empty() ? std::string("none") : s;
  };
  std::vector<std::string> extra, lacking;
  for (const auto& h : held)
    if (std::find(columns.begin(), columns.end(), h) == columns.end()) extra.push_back(h);
  for (const auto& c : columns)
    if (std::find(held.begin(), held.end(), c) == held.end()) lacking.push_back(c);
  std::string why = "Firebird's table has other columns than the run creates";
  if (!extra.empty()) why += "; only in Firebird: " + list(extra);
  if (!lacking.empty()) why += "; not in Firebird: " + list(lacking);
  if (extra.empty() && lacking.empty()) why += "; in another order: " + list(held);
  return why;
}

}  // namespace conversion
