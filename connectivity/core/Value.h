#pragma once
#include <cstdint>
#include <string>

namespace ado {

enum class Kind { Null, Integer, Floating, Single, Decimal, Boolean, Text, Date, Time, DateTime, Binary };

// One field value with its source type kept. Text is UTF-8; Decimal keeps the exact digits as text;
// Binary keeps the raw bytes in `text`.
struct Value {
  Kind kind = Kind::Null;
  std::int64_t integer = 0;
  double floating = 0;
  bool boolean = false;
  std::string text;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::uint32_t nanos = 0;

  bool IsNull() const { return kind == Kind::Null; }
  void SetNull() { kind = Kind::Null; }
  // Plain text form: numbers with "." as decimal mark, dates ISO-like; used for display and tests.
  std::string ToString() const;
};

// Shortest text that reads back as the same number.
std::string FormatDouble(double v);
std::string FormatSingle(float v);

}  // namespace ado
