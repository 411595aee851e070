#include "conversion/Progress.h"

#include <algorithm>
#include <cstdio>

namespace conversion {

std::string OverallProgressText(int table, int tables, long long rowsDone, long long rowsTotal, double seconds) {
  std::string s = "table " + std::to_string(table) + " of " + std::to_string(tables);
  if (rowsTotal <= 0) return s;
  const long long done = std::min(rowsDone, rowsTotal);
  s += ", " + std::to_string(done * 100 / rowsTotal) + "% of all rows";
  if (seconds < 1 || done <= 0) return s;
  const double rate = static_cast<double>(done) / seconds;
  const auto left = static_cast<long long>(static_cast<double>(rowsTotal - done) / rate + 0.5);
  char text[64];
  if (left >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", left / 3600, left / 60 % 60, left % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", left / 60, left % 60);
  return s + ", " + std::to_string(static_cast<long long>(rate)) + " rows/s, " + text + " left";
}

}  // namespace conversion
