#pragma once
#include <string>

namespace conversion {

// How far a whole run is, for the window and the command line: "table 3 of 12, 41% of all rows" and,
// once `seconds` have passed with rows done, the rate and the time left ("52000 rows/s, 2:05 left").
std::string OverallProgressText(int table, int tables, long long rowsDone, long long rowsTotal, double seconds);

}  // namespace conversion
