#pragma once
#include <set>
#include <string>
#include <vector>

#include "connectivity/core/ConnString.h"
#include "conversion/Session.h"

namespace conversion {

// The foreign keys of other tables that point at a table the run replaces: dropped before the table,
// and on every way the run ends either made again over the new rows or named with the statement that
// makes them. Views that read the table are dropped with it (Firebird drops no table a view reads) and
// made again after the run's own views, from the text Firebird kept of them.
class ReplacedKeys {
 public:
  explicit ReplacedKeys(Session& session) : s_(session) {}
  // Drops the foreign keys of other tables that point at `target`, keeping what makes each again.
  void DropTo(const std::string& target);
  // Drops the views that read `target` (and those that read them), keeping what makes each again.
  void DropViewsOf(const std::string& target);
  // `target` holds all its rows.
  void Completed(const std::string& target);
  // Makes again the keys dropped for `target`, now that it holds its rows and keys.
  void RemakeFor(const std::string& target);
  // However the run ended: a key whose table was replaced and holds its rows is made again; any other
  // is named with the statement that makes it. `lost`: the connection is gone, nothing more is made.
  void Settle(bool lost);
  // Lower-cased names of the keys dropped here: they are not missing from Firebird.
  const std::set<std::string>& Names() const { return names_; }
  // Keys dropped and not made again yet.
  size_t Pending() const { return dropped_.size(); }
  // The run made this view (its Firebird name) from the source: a view of that name dropped here is
  // not made again from Firebird's text.
  void ViewMade(const std::string& name) { madeViews_.insert(ado::ToLower(name)); }
  // Makes again the views dropped here that the run did not make itself; one Firebird refuses now is
  // named.
  void RemakeViews();

 private:
  struct Dropped {
    std::string table, name, target, statement;  // the referring table, the key, the table replaced
  };
  Session& s_;
  struct View {
    std::string name, statement;
  };
  std::vector<View> views_;  // in the order they are made again
  std::set<std::string> madeViews_;  // lower-cased names of the views the run made from the source
  std::vector<Dropped> dropped_;
  std::set<std::string> completed_;  // lower-cased Firebird names of the tables that hold all their rows
  std::set<std::string> names_;
};

}  // namespace conversion
