#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace ado {

// Keys lower-cased; values unquoted. Accepts plain values (up to ";"), {braced} values with "}}" for
// "}", and 'single' or "double" quoted values with the quote doubled inside.
std::map<std::string, std::string> ParseConnString(std::string_view s);

// How a value must be written so that a parser reads it back unchanged.
enum class BraceStyle {
  Odbc,     // braces, "}" doubled (ODBC and OLE DB)
  FreeTds,  // braces, "}" kept as it is: the driver reads up to the first "};"
};

// True when `v` cannot stand as a plain value (";", braces, quotes at its start, blanks at either end).
bool NeedsQuoting(std::string_view v);

// The value as it goes into a connection string: unchanged when plain, else braced. Throws DbError
// when the style cannot carry the value (FreeTds and a value holding "};").
std::string QuoteValue(std::string_view v, BraceStyle style = BraceStyle::Odbc);

// `text` between `open` and `close`, every `close` inside doubled: "[a]]b]", "'it''s'".
std::string Enclosed(std::string_view text, char open, char close);
// A SQL string literal: 'text', with every quote doubled.
inline std::string SqlString(std::string_view text) { return Enclosed(text, '\'', '\''); }

std::string ToLower(std::string_view s);
// FNV-1a of the text: the six hexadecimal digits that tell shortened or clashing names apart come from it.
std::uint32_t Fnv1a(std::string_view s);
std::string ToUpper(std::string_view s);

}  // namespace ado
