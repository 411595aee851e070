#pragma once
#include <deque>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace conversion {

// What happened to one source table during a run.
struct TableReport {
  std::string source;  // as SQL Server lists it
  std::string target;  // as created in Firebird
  long long read = 0, written = 0, rejected = 0;
  // Rejected rows by their ordinal in the source, with the first line of the reason.
  std::vector<std::pair<long long, std::string>> rejections;
  long long unlisted = 0;       // rejected rows past the listed ones
  // The keys of the rejected rows whose key the run knew (RowKeyText), for verify to excuse exactly them.
  std::set<std::string> rejectedKeys;
  std::vector<std::string> notes;  // whole-table events: not created, not read, commits lost
  // A table brought up to date: its line says so instead of the rows read and written.
  std::string synced;
};

// Everything a run read, wrote, rejected, shortened or left out, and its text for the user.
class RunSummary {
 public:
  // Rejected rows listed one by one per table; further ones are counted.
  static constexpr size_t kListedRows = 1000;

  void Clear();
  void SetPreview(bool preview) { preview_ = preview; }
  // The run was stopped before its end: the text begins with "Stopped.".
  void SetStopped() { stopped_ = true; }
  TableReport& Table(const std::string& source, const std::string& target);
  void Reject(TableReport& t, long long row, const std::string& reason, const std::string& key = {});
  // A name Firebird got in another form: cut to 31 bytes, or kept apart from a name that differs only in case.
  void Shortened(const std::string& what, const std::string& from, const std::string& to);
  void LeftOut(const std::string& name, const std::string& why);
  // Something that went wrong outside any table (a commit between tables, closing).
  void Note(const std::string& text);
  // A key, index, identity or default that was not carried over, and why.
  void KeyLeftOut(const std::string& text);
  // An object of the source Firebird did not get: `kind` is VIEW, PROCEDURE, FUNCTION, TRIGGER, SYNONYM,
  // XML_SCHEMA_COLLECTION, FULLTEXT_INDEX or CHECK; `name` as "Schema.Name"; `detail` says why or what it is.
  void NotCarried(const std::string& kind, const std::string& name, const std::string& detail = {});
  // A key statement Firebird refused.
  void KeyFailed(const std::string& statement, const std::string& reason);
  // What reading a table back found: a line for the "Verified:" section, the differences named below it.
  void Verified(const std::string& table, const std::string& verdict, const std::vector<std::string>& examples,
                bool identical);
  bool AnyVerified() const { return !verified_.empty(); }
  // A table brought up to date, and what was done to it ("in sync (N rows)", "brought up to date: ...").
  void Synced(TableReport& t, const std::string& text) {
    t.synced = text;
    anySynced_ = true;
  }
  bool AnySynced() const { return anySynced_; }
  // A table Firebird holds that is not up to date at the end (left as it is, or cut short).
  void NotInSync() { ++notInSync_; }
  int NotInSyncCount() const { return notInSync_; }
  // Some verified table differs from its source (or could not be compared).
  bool VerifyFoundDifferences() const { return verifyDiffers_; }
  // True when every row arrived and nothing was shortened, left out or lost otherwise.
  bool LostNothing() const;
  long long Rejected() const;
  std::string Text() const;
  const std::deque<TableReport>& Tables() const { return tables_; }

 private:
  bool preview_ = false;
  bool stopped_ = false;
  bool anySynced_ = false;
  int notInSync_ = 0;
  std::deque<TableReport> tables_;  // references stay valid as tables are added
  std::vector<std::string> shortened_, renamed_, leftOut_, notes_, keys_;
  std::vector<std::pair<std::string, std::string>> notCarried_;  // kind, line
  std::vector<std::string> verified_;
  bool verifyDiffers_ = false;
};

// The first line of an error text.
std::string FirstLine(const std::string& text);
// A database's message on one line: Firebird's status without its general class lines, the rest
// joined with "; " ("string right truncation; expected length 5, actual 12").
std::string Reason(const std::string& text);

}  // namespace conversion
