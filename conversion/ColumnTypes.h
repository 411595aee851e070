#pragma once
#include <string>

// The words every part of the conversion uses for a column's type: what the type rules decide, which
// rules apply, and how one table's columns get their types. Nothing here builds a statement.

namespace conversion {

// Receives one row per source column for the Datatypes Conversion list.
class DatatypeSink {
 public:
  virtual ~DatatypeSink() = default;
  virtual void AppendRow(const std::string& table, const std::string& column) = 0;
  virtual void SetLastRowTypes(const std::string& keyword, const std::string& firebirdType) = 0;
  virtual void Clear() = 0;
};

// How a column's values are written.
enum class Storage {
  Number,      // bare numerals
  Text,        // quoted text in a VARCHAR ... CHARACTER SET UTF8
  TextBlob,    // BLOB SUB_TYPE TEXT CHARACTER SET UTF8
  Binary,      // X'..' in a VARCHAR ... CHARACTER SET OCTETS
  BinaryBlob,  // BLOB SUB_TYPE BINARY
  Other,       // quoted (dates, times)
};

// What the type rules decide for one column.
struct ColumnType {
  std::string columnText;    // " INTEGER, " as appended after the quoted name
  std::string keyword;       // "int"
  std::string firebirdType;  // "INTEGER"
  bool numeric = false;
  bool blob = false;         // a blob column, text or binary
  Storage storage = Storage::Other;
  long length = 0;           // VARCHAR length: characters (text) or bytes (binary)
  int scale = -1;            // exact numerics (NUMERIC, DECIMAL): the scale a value must fit
  std::string collation;     // a UTF8 text column's collation ("UNICODE_CI"), empty for UTF8's own binary order
};

// Which rules choose the Firebird types: Firebird's own types (text as VARCHAR, real as FLOAT, time as
// TIME), or the classic rules (national text as blobs, real and time as text).
enum class TypeRules { Firebird, Classic };
// "firebird" or "classic", any case; false for anything else.
bool ParseTypeRules(const std::string& text, TypeRules& rules);
const char* TypeRulesName(TypeRules rules);

class CastRules;
// How one table's columns get their types.
struct TypeOptions {
  TypeRules rules = TypeRules::Firebird;
  const CastRules* casts = nullptr;  // the user's own rules, which beat the type rules
  std::string schema = "dbo";        // the source table's schema and name, as the cast rules name it
  std::string sourceTable;           // (empty: the table's Firebird name)
  // Text columns compare as the source's collations make them (UNICODE_CI for ..._CI_AS, ...), not in
  // UTF8's binary order; Firebird's rules only.
  bool collations = false;
};

}  // namespace conversion
