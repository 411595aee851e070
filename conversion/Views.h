#pragma once
#include <map>
#include <string>
#include <vector>

#include "conversion/Planner.h"
#include "conversion/ReplacedKeys.h"
#include "conversion/Session.h"
#include "conversion/SqlTranslate.h"

namespace conversion {

// The source's views, translated into Firebird's CREATE VIEWs once the tables, keys and sequences are
// there: each over the run's Firebird names, views on views after the views they read. A view that does
// not translate, or that Firebird refuses, is named under "Not carried over:" with the reason.
class Views : public RelationLookup {
 public:
  Views(Session& session, Planner& planner, ReplacedKeys& replaced) : s_(session), planner_(planner), replaced_(replaced) {}
  void Make();

  const SourceRelation* Find(const std::string& schema, const std::string& name) override;

 private:
  void MakeSourceViews();
  // A table of the run, or one Firebird holds from an earlier run, as a view reads it.
  const SourceRelation* Table(const std::string& key);

  Session& s_;
  Planner& planner_;
  ReplacedKeys& replaced_;  // views dropped to replace a table, made again after the source's
  std::map<std::string, SourceRelation> known_;  // lower-cased "schema.name": tables and views made
  std::map<std::string, std::string> pending_;   // lower-cased "schema.name" of views not made yet: their display
  std::string waitsFor_;                         // the pending view the last translation asked for
};

}  // namespace conversion
