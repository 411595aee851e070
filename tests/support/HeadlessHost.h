#pragma once
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conversion/ConversionRun.h"

namespace testsupport {

// The conversion run without windows: switches set by the test, questions answered from a queue
// (No when it is empty), and everything the run shows recorded.
class HeadlessHost : public conversion::RunHost, public conversion::DatatypeSink {
 public:
  MSSQL::Login sql;
  FireBird::Login fb;
  bool preview = false, perTable = false, copyKeys = true;
  std::deque<int> answers;
  std::vector<std::string> shown;       // questions, messages and error reports, in order
  std::vector<std::string> script;      // the SQL script list
  std::vector<std::vector<std::string>> datatypes;
  std::vector<int> progress;
  std::vector<std::string> progressTexts;
  bool hourglass = false;
  int previews = 0;
  // What a preview does with its script (nothing, by default).
  std::function<void(HeadlessHost&)> onPreview;

  MSSQL::Login SqlServerLogin() override { return sql; }
  FireBird::Login FirebirdLogin() override { return fb; }
  bool PreviewOn() override { return preview; }
  // Stop: set by the test (from any thread); onRow sees every row as the run reads it.
  std::atomic<bool> stop{false};
  bool StopRequested() override { return stop; }
  bool verify = false;
  bool Verify() override { return verify; }
  bool resume = false;
  bool Resume() override { return resume; }
  std::function<void(const std::string& table, long long row)> onRow;
  // The first and last call of the whole run's progress (table, tables, rows done, rows in all), and
  // whether the table and the rows done never went back; kept small, since it is called for every row.
  std::vector<long long> firstRunProgress, lastRunProgress;
  bool runProgressForward = true;
  void RunProgress(int table, int tables, long long done, long long total) override {
    if (firstRunProgress.empty()) firstRunProgress = {table, tables, done, total};
    else runProgressForward = runProgressForward && table >= lastRunProgress[0] && done >= lastRunProgress[2];
    lastRunProgress.assign({table, tables, done, total});
  }
  void RowProgress(const std::string& table, long long done, long long) override {
    if (onRow) onRow(table, done);
  }
  bool CopyKeys() override { return copyKeys; }
  conversion::TypeRules rules = conversion::TypeRules::Firebird;
  std::vector<std::string> casts;
  conversion::TypeRules Rules() override { return rules; }
  std::vector<std::string> Casts() override { return casts; }
  // Leaves tables out of the run, as the command line's --tables does.
  std::function<void(std::vector<std::string>&)> onFilter;
  void FilterTables(std::vector<std::string>& tables, std::vector<std::string>&) override {
    if (onFilter) onFilter(tables);
  }
  bool PreviewPerFile() override { return !perTable; }
  bool PreviewPerTable() override { return perTable; }
  void SetHourglass(bool on) override { hourglass = on; }
  void SetProgress(int value) override {
    progress.push_back(value);
    if (onProgress) onProgress(value);
  }
  void SetProgressText(const std::string& text) override { progressTexts.push_back(text); }
  // Answers by the question's text, when set (before the queue).
  std::function<int(const std::string&)> onAsk;
  int AskYesNo(const std::string& text, const std::string&) override {
    shown.push_back(text);
    if (onAsk) return onAsk(text);
    if (answers.empty()) return conversion::kNo;
    int a = answers.front();
    answers.pop_front();
    return a;
  }
  void ShowMessage(const std::string& text) override { shown.push_back(text); }
  void ShowSummary(const std::string& text) override { summary = text; }
  std::string summary;  // the last summary shown, "" when none
  void ReportError(const std::string& text) override {
    shown.push_back("ERROR: " + text);
    if (onReport) onReport();
  }
  std::function<void(int)> onProgress;
  std::function<void()> onReport;
  void ClearScript() override { script.clear(); }
  void AppendScript(const std::string& statement) override { script.push_back(statement); }
  conversion::DatatypeSink& Datatypes() override { return *this; }
  // What the preview returns; onPreview may change it.
  conversion::PreviewOutcome outcome;
  conversion::PreviewOutcome ShowPreviewModal() override {
    ++previews;
    outcome = {};
    if (onPreview) onPreview(*this);
    return outcome;
  }

  void AppendRow(const std::string& table, const std::string& column) override {
    datatypes.push_back({table, column, "", ""});
  }
  void SetLastRowTypes(const std::string& keyword, const std::string& firebirdType) override {
    datatypes.back()[2] = keyword;
    datatypes.back()[3] = firebirdType;
  }
  void Clear() override { datatypes.clear(); }
};

// Executes the preview's script on a connection of its own, as "Execute SQL" does, and commits; returns
// each statement Firebird refused with its reason.
inline std::vector<std::string> ExecuteScript(const HeadlessHost& h) {
  std::vector<std::string> refused;
  ado::Connection c;
  c.Open(FireBird::ConnectionString(h.fb));
  for (const auto& statement : h.script) {
    try {
      c.Execute(statement);
    } catch (const ado::DbError& e) {
      refused.push_back(statement.substr(0, 300) + ": " + e.what());
    }
  }
  c.Flush();
  return refused;
}

}  // namespace testsupport
