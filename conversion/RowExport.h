#pragma once
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "connectivity/core/Ado.h"
#include "conversion/TableDdl.h"

namespace conversion {

// Builds the INSERT text of the result set's current row into one reused buffer.
class InsertBuilder {
 public:
  // Numeric and blob columns as the table's CREATE TABLE gave them.
  InsertBuilder(const std::string& table, const TableDdl& ddl);
  const std::string& Build(const ado::Recordset& rs);
  // The same for a row's values taken from the result set, one per column.
  const std::string& Build(const std::vector<ado::Value>& row);
  // The columns of the last row built whose time had digits past ten-thousandths of a second, cut.
  const std::vector<size_t>& CutInRow() const { return cutInRow_; }

 private:
  template <class ValueAt>
  const std::string& Build(int count, ValueAt&& at);
  void Write(const ado::Value& v, const ColumnType* column);
  void Null();
  // 'text', with each NUL written as ASCII_CHAR(0) between literals.
  void Quoted(std::string_view text);
  void Hex(std::string_view bytes);
  // A text or binary value too long for one literal, as a blob joined from literals.
  void JoinedBlob(std::string_view value, bool binary);
  std::string prefix_;
  std::vector<ColumnType> columns_;
  std::string s_;
  size_t k_ = 0;  // the column being written
  std::vector<size_t> cutInRow_;
};

// The typed parameters of the current row for "INSERT INTO "t" VALUES (?, ...)", holding exactly what
// the literal statement of the same row would store.
class ParamBuilder {
 public:
  explicit ParamBuilder(const TableDdl& ddl);
  // False when some value of the row goes only through the literal statement; throws ValueError for a
  // value no statement may store (as InsertBuilder does).
  bool Build(const ado::Recordset& rs);
  bool Build(const std::vector<ado::Value>& row);
  const std::vector<ado::Param>& Params() const { return params_; }
  // The columns of the last row built whose time had digits past ten-thousandths of a second, cut.
  const std::vector<size_t>& CutInRow() const { return cutInRow_; }

 private:
  bool Set(size_t k, const ado::Value& v);
  bool Exact(ado::Param& p, const std::string& number, const ColumnType& c);
  std::vector<ColumnType> columns_;
  std::vector<ado::Param> params_;
  std::vector<std::string> texts_;  // texts the parameters point into, one per column
  std::vector<size_t> cutInRow_;
};

// INSERT INTO "t" ("a", "b", ...) VALUES (?, ?, ...), the columns named.
std::string PlaceholderInsertText(const std::string& table, const std::vector<std::string>& columns);

// 'mm/dd/yyyy' or 'mm/dd/yyyy hh:nn:ss[.ffff]' without the quotes.
std::string DateLiteral(const ado::Value& v);
// Longest text written as one literal. Firebird takes literals of up to 65535 bytes, and on a UTF8
// connection of up to 16383 characters.
constexpr size_t kLiteralChars = 16000;
constexpr size_t kLiteralBytes = 4 * kLiteralChars;

// Longest binary value written as one X'..' literal.
constexpr size_t kHexLiteralBytes = 16000;

// Thrown for a value that the column cannot hold exactly (the row is rejected, never rounded).
class ValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// True when the plain number fits an exact column of that scale as it stands: no digit beyond the
// scale is lost and the scaled value fits 64 bits.
bool FitsScale(const std::string& number, int scale);

// True when the text is a plain decimal number (sign, digits, one "." and an optional exponent).
bool IsPlainNumber(const std::string& text);

}  // namespace conversion
