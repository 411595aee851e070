#pragma once
// The values verify compares: how a column's values compare once Firebird holds them, and each side's
// value put in that form.
#include <optional>
#include <string>

#include "connectivity/core/Ado.h"
#include "conversion/ColumnTypes.h"

namespace conversion::verifyvalues {

// How a column's values compare once Firebird holds them.
enum class Class { Number, Double, Single, Text, Char, Bytes, Date, Timestamp, Time, Boolean, Other };
Class ClassOf(const ColumnType& c);

// One value as compared: absent for NULL.
using Canon = std::optional<std::string>;

// A Firebird value as compared.
Canon FromFirebird(const ado::Value& v, Class c);
// What the program sent for a column (its parameter), as Firebird would give it back.
Canon FromParam(const ado::Param& p, Class c);
// A source value as compared, worked out from the value itself and the class of its Firebird column,
// apart from the write path; nothing for the values whose stored form is the write path's own choice.
std::optional<Canon> FromSource(const ado::Value& v, Class c);
// Orders two values as both databases sort them ascending: NULL first, numbers by value, the rest by bytes.
int Compare(const Canon& a, const Canon& b, Class c);
// A value as the summary shows it.
std::string Show(const Canon& v, Class c);

}  // namespace conversion::verifyvalues
