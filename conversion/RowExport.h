#pragma once
#include <string>
#include <vector>

#include "connectivity/Ado.h"

namespace conversion {

// Builds the INSERT text of the result set's current row into one reused buffer.
class InsertBuilder {
 public:
  InsertBuilder(const std::string& table, std::vector<bool> numericColumns);
  const std::string& Build(const ado::Recordset& rs);

 private:
  void Write(const ado::Value& v, bool numeric);
  void Null();
  void Quoted(const std::string& text);
  std::string prefix_;
  std::vector<bool> numeric_;
  std::string s_;
};

// 'mm/dd/yyyy' or 'mm/dd/yyyy hh:nn:ss[.ffff]' without the quotes.
std::string DateLiteral(const ado::Value& v);
// True when the text is a plain decimal number (sign, digits, one "." and an optional exponent).
bool IsPlainNumber(const std::string& text);

}  // namespace conversion
