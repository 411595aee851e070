#include "conversion/Verification.h"

#include "connectivity/core/ConnString.h"

#include "conversion/Verify.h"

namespace conversion {

bool VerifyTables(Session& s, Planner& planner, const std::set<std::string>& verified) {
  s.BeforeWait();
  Session::FirebirdWork cancellable(s);
  RunSummary& summary = s.Summary();
  bool halted = false;
  std::vector<TablePlan>& plans = planner.Tables();
  for (size_t i = plans.size(); i-- > 0;) {
    const TablePlan& plan = plans[i];
    if (!plan.complete || verified.count(ado::ToLower(plan.source))) continue;
    if (halted || s.StopRequested()) {
      halted = true;
      summary.Verified(plan.source, "not verified (stopped)", {}, false);
      continue;
    }
    s.Text("Please wait.. Verifying table " + plan.source);
    const std::vector<std::string> key = planner.KeyColumns(plan, line::kVerify);
    // The rejected rows whose keys the run kept are excused by key, the others by their count.
    long long rejected = 0;
    const std::set<std::string>* rejectedKeys = nullptr;
    for (const auto& t : summary.Tables())
      if (t.source == plan.source) {
        rejected = t.rejected - static_cast<long long>(t.rejectedKeys.size());
        rejectedKeys = &t.rejectedKeys;
      }
    TableVerdict verdict;
    if (!s.SourceStep(line::kVerify, [&] {
          verdict = VerifyTable(s.Source(), s.Firebird(), plan.ref, plan.source, plan.target, key, plan.types, rejected,
                                rejectedKeys);
        }))
      continue;
    if (s.StopRequested() && !verdict.Identical()) {
      // The compare was cancelled under it: what it found so far says nothing.
      halted = true;
      summary.Verified(plan.source, "not verified (stopped)", {}, false);
      continue;
    }
    summary.Verified(plan.source, verdict.Text(), verdict.examples, verdict.Identical());
  }
  s.Text("");
  return halted;
}

}  // namespace conversion
