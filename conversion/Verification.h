#pragma once
#include <set>
#include <string>
#include <vector>

#include "conversion/Planner.h"
#include "conversion/Session.h"

namespace conversion {

// Reads every table the run completed back from both databases and puts the verdicts in the summary.
// Tables compared already (skipped as whole) are in `verified`, lower-cased. Stopped during it, the run
// is stopped (true) and every table not compared is named so.
bool VerifyTables(Session& s, Planner& planner, const std::set<std::string>& verified);

}  // namespace conversion
