#include "conversion/TableDdl.h"

#include "connectivity/ConnString.h"
#include "connectivity/UiYield.h"
#include "conversion/Datatype.h"

namespace conversion {

// Firebird's exact numerics hold at most 18 digits.
constexpr int kMaxPrecision = 18;

short CharacterLength(long definedSize, int fieldCount) {
  long cap = fieldCount > 0 ? 32000 / fieldCount : 32000;
  long n = definedSize <= cap ? definedSize : cap;
  return static_cast<short>(n);
}

ColumnType ApplyTypeRules(const ado::Field& field, int fieldCount) {
  const std::string t = ado::ToLower(Datatype::AdoTypeName(static_cast<short>(field.Type)));
  auto has = [&](const char* k) { return t.find(k) != std::string::npos; };
  auto varchar = [&] { return "VARCHAR(" + std::to_string(CharacterLength(field.DefinedSize, fieldCount)) + ")"; };
  auto exact = [&](const char* kind) {
    int p = field.Precision;
    if (p < 1 || p > kMaxPrecision) p = kMaxPrecision;
    int s = field.NumericScale;
    if (s < 0) s = 0;
    if (s > p) s = p;
    return std::string(kind) + "(" + std::to_string(p) + ", " + std::to_string(s) + ")";
  };
  ColumnType c;
  auto set = [&](std::string typeText, const char* keyword, std::string shown, bool numeric) {
    c.columnText = " " + typeText + ", ";
    c.keyword = keyword;
    c.firebirdType = std::move(shown);
    c.numeric = numeric;
  };
  if (has("varwchar")) {
    set("BLOB SUB_TYPE TEXT", "varwchar", "BLOB SUB_TYPE TEXT", false);
    c.blob = true;
  }
  else if (has("longvar")) set(varchar(), "longvar", varchar(), false);
  else if (has("double")) set("DOUBLE PRECISION", "double", "DOUBLE PRECISION", true);
  else if (has("smallint") || has("tinyint")) set("SMALLINT", "smallint", "SMALLINT", true);
  else if (has("int")) set("INTEGER", "int", "INTEGER", true);
  else if (has("currency") || has("numeric")) set(exact("NUMERIC"), "currency", "NUMERIC", true);
  else if (has("decimal")) set(exact("DECIMAL"), "decimal", "DECIMAL", true);
  else if (has("date")) set("DATE", "date", "DATE", false);
  else if (has("timestamp")) set("TIMESTAMP", "timestamp", "TIMESTAMP", false);
  else if (has("bool")) set("SMALLINT", "bool", "SMALLINT", true);
  else set(varchar(), "OTHER TYPES", varchar(), false);
  return c;
}

std::string QuoteIdentifier(const std::string& name) {
  std::string r = "\"";
  for (char ch : name) {
    r += ch;
    if (ch == '"') r += '"';
  }
  return r + "\"";
}

std::string SelectAllText(const std::string& table) {
  std::string r = "SELECT * FROM [";
  for (char ch : table) {
    r += ch;
    if (ch == ']') r += ']';
  }
  return r + "]";
}

std::string DropTableText(const std::string& table) { return "DROP TABLE " + QuoteIdentifier(table) + ";"; }

TableDdl BuildCreateTable(const std::string& table, const ado::Recordset& rs, DatatypeSink* sink) {
  TableDdl ddl;
  std::string& s = ddl.createTable;
  s = "CREATE TABLE " + QuoteIdentifier(table) + " (";
  const int count = rs.FieldCount();
  for (int k = 0; k < count; ++k) {
    ui::Yield();
    const ado::Field& f = rs.Fields(k);
    if (sink) sink->AppendRow(table, f.Name);
    ColumnType c = ApplyTypeRules(f, count);
    s += QuoteIdentifier(f.Name);
    s += c.columnText;
    if (sink) sink->SetLastRowTypes(c.keyword, c.firebirdType);
    ddl.numeric.push_back(c.numeric);
    ddl.blob.push_back(c.blob);
    if (c.numeric) ddl.numericList += std::to_string(k) + ", ";
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  if (!s.empty()) s.pop_back();
  s += ");";
  return ddl;
}

}  // namespace conversion
