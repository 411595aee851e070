#include "connectivity/core/ConnString.h"

#include <cctype>

#include "connectivity/core/DbError.h"

namespace ado {

std::string Enclosed(std::string_view text, char open, char close) {
  std::string r(1, open);
  r.reserve(text.size() + 2);
  for (char ch : text) {
    r += ch;
    if (ch == close) r += close;
  }
  return r + close;
}

std::uint32_t Fnv1a(std::string_view s) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

std::string ToLower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

std::string ToUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

static std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::map<std::string, std::string> ParseConnString(std::string_view s) {
  std::map<std::string, std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    size_t eq = s.find('=', i);
    if (eq == std::string_view::npos) break;
    std::string key = ToLower(TrimBlanks(s.substr(i, eq - i)));
    i = eq + 1;
    std::string value;
    if (i < s.size() && (s[i] == '{' || s[i] == '\'' || s[i] == '"')) {
      char close = s[i] == '{' ? '}' : s[i];
      ++i;
      while (i < s.size()) {
        if (s[i] == close) {
          if (i + 1 < s.size() && s[i + 1] == close) {
            value += close;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += s[i++];
      }
      size_t semi = s.find(';', i);
      i = semi == std::string_view::npos ? s.size() : semi + 1;
    } else {
      size_t semi = s.find(';', i);
      size_t end = semi == std::string_view::npos ? s.size() : semi;
      value = std::string(s.substr(i, end - i));
      i = semi == std::string_view::npos ? s.size() : semi + 1;
    }
    if (!key.empty()) out[key] = value;
  }
  return out;
}

bool NeedsQuoting(std::string_view v) {
  if (v.empty()) return false;
  if (v.find_first_of(";{}") != std::string_view::npos) return true;
  if (v.front() == '\'' || v.front() == '"') return true;
  return v.front() == ' ' || v.back() == ' ' || v.front() == '\t' || v.back() == '\t';
}

std::string QuoteValue(std::string_view v, BraceStyle style) {
  if (!NeedsQuoting(v)) return std::string(v);
  std::string r = "{";
  if (style == BraceStyle::FreeTds) {
    // The driver ends a braced value at its first "};", so only a "};" inside the value is lost.
    if (v.find("};") != std::string_view::npos)
      throw DbError("The value contains \"};\", which the SQL Server driver cannot receive.");
    r += v;
  } else {
    for (char c : v) {
      r += c;
      if (c == '}') r += '}';
    }
  }
  r += '}';
  return r;
}

}  // namespace ado
