#include "connectivity/core/Value.h"

#include <charconv>
#include <cstdio>

namespace ado {

std::string FormatDouble(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string FormatSingle(float v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string Value::ToString() const {
  char buf[64];
  switch (kind) {
    case Kind::Null: return {};
    case Kind::Integer: return std::to_string(integer);
    case Kind::Floating: return FormatDouble(floating);
    case Kind::Single: return FormatSingle(static_cast<float>(floating));
    case Kind::Boolean: return boolean ? "True" : "False";
    case Kind::Decimal:
    case Kind::Text:
    case Kind::Binary: return text;
    case Kind::Date:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
      return buf;
    case Kind::Time:
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hour, minute, second);
      return buf;
    case Kind::DateTime:
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
      return buf;
  }
  return {};
}

}  // namespace ado
