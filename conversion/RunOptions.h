#pragma once
#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "connectivity/firebird/FireBird.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/ColumnTypes.h"

namespace conversion {

// Where the run's statements go: executed at once, or into the SQL Preview, gathered for the whole run
// ("Show SQL Preview For Each File") or shown table by table ("... For Each Table").
enum class PreviewMode { Off, PerFile, PerTable };

// Everything a run is told before it starts; each front end (window, command line, tests) builds it once.
struct RunOptions {
  MSSQL::Login source;
  FireBird::Login target;
  PreviewMode preview = PreviewMode::Off;
  // Keys, indexes, identities, NOT NULL and defaults are carried over (the saved "CopyKeys").
  bool copyKeys = true;
  // Every converted table is read back from both databases and compared (the saved "Verify").
  bool verify = false;
  // Tables Firebird holds already are taken up again instead of asked about: a complete one (verified
  // identical) is skipped, one holding the first rows by its key goes on after the largest, any other
  // is replaced.
  bool resume = false;
  // Tables Firebird holds are brought up to date with the source (the rows it lacks inserted, those that
  // differ updated, those only it holds deleted) instead of asked about. One whose columns or key are not
  // what a conversion makes now is left as it is and named, or, with `replaceDiffering`, replaced.
  bool sync = false;
  bool replaceDiffering = false;
  // Which type rules make the Firebird types (the saved "TypeRules"), and the user's casts ("Casts").
  TypeRules rules = TypeRules::Firebird;
  std::vector<std::string> casts;
  // Text columns in UTF8's binary order (the saved "Collations" = "Binary"), instead of comparing as the
  // source's collations do.
  bool binaryCollations = false;
  // The table choice, by display name: only these (when given), less those left out. A left-out table
  // that is no longer in the source is named under `leftOutWhy` (empty: not named).
  std::optional<std::vector<std::string>> only;
  std::vector<std::string> leftOut;
  std::string leftOutWhy;
  // Rows executed at once go through a prepared INSERT (the default) or as literal statements.
  bool preparedInserts = true;
  // Rows per EXECUTE BLOCK; 0 chooses by the table's columns, 1 sends rows one by one.
  size_t batchRows = 0;
  // Set (from any thread) once the user or a signal asks the run to stop: it ends after the statement
  // in progress, with what succeeded committed. Null: never.
  const std::atomic<bool>* stop = nullptr;

  bool PreviewOn() const { return preview != PreviewMode::Off; }
  bool PreviewPerTable() const { return preview == PreviewMode::PerTable; }
  bool PreviewPerFile() const { return preview == PreviewMode::PerFile; }
  bool StopRequested() const { return stop && stop->load(); }
  // Tables taken up again: only when the statements are executed at once.
  bool Resuming() const { return resume && !PreviewOn(); }
  bool Syncing() const { return sync && !PreviewOn(); }
};

}  // namespace conversion
