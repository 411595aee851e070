#pragma once
#include <string>

#include "conversion/ColumnTypes.h"

namespace conversion {

// Message box answers.
constexpr int kYes = 6;
constexpr int kNo = 7;
// The first Overwrite? may also be answered "take up what is there" (as Resume does, for every table).
constexpr int kResume = 100;
// ... or "bring every table Firebird holds up to date" (as sync does).
constexpr int kSync = 101;

// What "Start Converting" says before the reason when a database cannot be opened.
constexpr const char* kFirebirdCannotOpen = "Firebird or Interbase Login: Could not connect.";
constexpr const char* kSqlServerCannotOpen =
    "MS SQL Server Login: Could not connect. Please check with your administrator.";

// How a modal SQL Preview ended.
struct PreviewOutcome {
  bool SQLFormOK = false;  // "Execute SQL" carried every statement
  bool SQLTableOK = true;  // cleared only by "Skip Table / Do Not Execute SQL"
};

// How far the run is. Each event says one thing, by its kind.
struct RunProgress {
  enum class Kind {
    Began,  // the run works: the pointer is the hourglass
    Text,   // the line under the bar: `text` ("" clears it)
    Table,  // a table starts: `tableNumber` of `tables`, `runRows` of `runRowsTotal`
    Row,    // a row was read: `table`, its `rows` of `rowsTotal`, the run's as for Table, and the bar's
            // `percent` where it changed (-1 where it did not)
    Ended,  // the run is over: the pointer and the bar are as before it
  };
  Kind kind = Kind::Text;
  std::string text;
  std::string table;
  int tableNumber = 0, tables = 0;
  long long rows = 0, rowsTotal = 0;
  long long runRows = 0, runRowsTotal = 0;
  int percent = -1;
};

enum class MessageKind {
  Info,     // a message box ("Done.", a login that failed, a refused cast rule)
  Error,    // an "Application Error" from the run's error trap
  Summary,  // what the run read, wrote, rejected, shortened or left out, shown after "Done."
};

// What the run tells and asks while it works. Called on the run's thread.
class RunEvents {
 public:
  virtual ~RunEvents() = default;
  virtual void Progress(const RunProgress& progress) = 0;
  // "Overwrite?" for a table Firebird holds: kYes, kNo, or, where `first` and the front end offers them,
  // kResume or kSync.
  virtual int AskOverwrite(const std::string& text, bool first) = 0;
  virtual void Tell(MessageKind kind, const std::string& text) = 0;
  // The SQL Preview's list and the Datatypes Conversion list start again.
  virtual void NewScript() = 0;
  virtual void ScriptStatement(const std::string& statement) = 0;
  // One row per source column for the Datatypes Conversion list.
  virtual DatatypeSink& Datatypes() = 0;
  // The preview of what the run gathered; its "Execute SQL" runs on the connection the run lends while
  // it waits for the answer (ConversionRun::LendFirebird).
  virtual PreviewOutcome ShowPreview() = 0;
};

}  // namespace conversion
