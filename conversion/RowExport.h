#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "connectivity/Ado.h"
#include "conversion/TableDdl.h"

namespace conversion {

// Builds the INSERT text of the result set's current row into one reused buffer.
class InsertBuilder {
 public:
  // Numeric and blob columns as the table's CREATE TABLE gave them.
  InsertBuilder(const std::string& table, const TableDdl& ddl);
  const std::string& Build(const ado::Recordset& rs);

 private:
  void Write(const ado::Value& v, bool numeric, bool blob);
  void Null();
  void Quoted(std::string_view text);
  // A text too long for one literal, as a blob joined from literals.
  void JoinedBlob(std::string_view text);
  std::string prefix_;
  std::vector<bool> numeric_;
  std::vector<bool> blob_;
  std::string s_;
};

// 'mm/dd/yyyy' or 'mm/dd/yyyy hh:nn:ss[.ffff]' without the quotes.
std::string DateLiteral(const ado::Value& v);
// Longest text written as one literal; Firebird takes literals of up to 65535 bytes.
constexpr size_t kLiteralBytes = 32000;

// True when the text is a plain decimal number (sign, digits, one "." and an optional exponent).
bool IsPlainNumber(const std::string& text);

}  // namespace conversion
