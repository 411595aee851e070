#pragma once
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "conversion/Casts.h"
#include "conversion/ConversionRun.h"
#include "conversion/Keys.h"
#include "conversion/TableDdl.h"

namespace testsupport {

// The conversion run without windows: switches set by the test, questions answered from a queue
// (No when it is empty), and everything the run shows recorded.
class HeadlessHost : public conversion::RunEvents, public conversion::DatatypeSink {
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
  // Stop: set by the test (from any thread); onRow sees every row as the run reads it.
  std::atomic<bool> stop{false};
  bool verify = false;
  bool resume = false;
  bool sync = false, replaceDiffering = false, binaryCollations = false;
  conversion::TypeRules rules = conversion::TypeRules::Firebird;
  std::vector<std::string> casts;
  // Only these tables, as the command line's --tables does.
  std::optional<std::vector<std::string>> only;
  // Left out, as the window's "Tables..." does.
  std::vector<std::string> leftOut;
  size_t batchRows = 0;
  bool preparedInserts = true;

  // The options of a run, from the switches above.
  conversion::RunOptions Options() {
    conversion::RunOptions o;
    o.source = sql;
    o.target = fb;
    o.preview = !preview ? conversion::PreviewMode::Off
                : perTable ? conversion::PreviewMode::PerTable
                           : conversion::PreviewMode::PerFile;
    o.copyKeys = copyKeys;
    o.verify = verify;
    o.resume = resume;
    o.sync = sync;
    o.replaceDiffering = replaceDiffering;
    o.binaryCollations = binaryCollations;
    o.rules = rules;
    o.casts = casts;
    o.only = only;
    o.leftOut = leftOut;
    o.batchRows = batchRows;
    o.preparedInserts = preparedInserts;
    o.stop = &stop;
    return o;
  }

  std::function<void(const std::string& table, long long row)> onRow;
  // The first and last call of the whole run's progress (table, tables, rows done, rows in all), and
  // whether the table and the rows done never went back; kept small, since it is called for every row.
  std::vector<long long> firstRunProgress, lastRunProgress;
  bool runProgressForward = true;
  std::function<void(int)> onProgress;
  std::function<void(const std::string&)> onText;  // each line under the bar
  void Progress(const conversion::RunProgress& p) override {
    using Kind = conversion::RunProgress::Kind;
    switch (p.kind) {
      case Kind::Began:
        hourglass = true;
        return;
      case Kind::Text:
        progressTexts.push_back(p.text);
        if (onText) onText(p.text);
        return;
      case Kind::Ended:
        hourglass = false;
        progress.push_back(0);
        progressTexts.push_back("Progress Bar");
        return;
      case Kind::Row:
        if (onRow) onRow(p.table, p.rows);
        if (p.percent >= 0) {
          progress.push_back(p.percent);
          if (onProgress) onProgress(p.percent);
        }
        [[fallthrough]];
      case Kind::Table: {
        const std::vector<long long> now{p.tableNumber, p.tables, p.runRows, p.runRowsTotal};
        if (firstRunProgress.empty()) firstRunProgress = now;
        else runProgressForward = runProgressForward && now[0] >= lastRunProgress[0] && now[2] >= lastRunProgress[2];
        lastRunProgress = now;
        return;
      }
    }
  }
  // Answers by the question's text, when set (before the queue).
  std::function<int(const std::string&)> onAsk;
  int AskOverwrite(const std::string& text, bool) override {
    shown.push_back(text);
    if (onAsk) return onAsk(text);
    if (answers.empty()) return conversion::kNo;
    int a = answers.front();
    answers.pop_front();
    return a;
  }
  std::string summary;  // the last summary shown, "" when none
  std::function<void()> onReport;
  void Tell(conversion::MessageKind kind, const std::string& text) override {
    switch (kind) {
      case conversion::MessageKind::Info:
        shown.push_back(text);
        return;
      case conversion::MessageKind::Summary:
        summary = text;
        return;
      case conversion::MessageKind::Error:
        shown.push_back("ERROR: " + text);
        if (onReport) onReport();
        return;
    }
  }
  void NewScript() override {
    script.clear();
    datatypes.clear();
  }
  void ScriptStatement(const std::string& statement) override { script.push_back(statement); }
  conversion::DatatypeSink& Datatypes() override { return *this; }
  // What the preview returns; onPreview may change it.
  conversion::PreviewOutcome outcome;
  conversion::PreviewOutcome ShowPreview() override {
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
