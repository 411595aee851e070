#include "conversion/Verify.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "connectivity/core/ConnString.h"
#include "conversion/RowExport.h"
#include "conversion/RowReader.h"
#include "conversion/RunSummary.h"
#include "conversion/VerifyValues.h"

namespace conversion {
namespace {

using namespace verifyvalues;

std::string SourceName(const std::string& name) {
  std::string s = "[";
  for (char ch : name) s += ch == ']' ? "]]" : std::string(1, ch);
  return s + "]";
}

struct Row {
  std::vector<Canon> values;
  bool unstorable = false;  // the program cannot store it: the run rejected it
  std::string key;          // the source row's key (RowKeyText), where rejected keys are looked up
  std::vector<ado::Value> source;  // the source's values as read, for a caller acting on differences
  long long number = 0;            // its place in the source's order
  std::string why;                 // why it cannot be stored
  std::string dbKey;               // Firebird's record key, for the same
};

// A whole row as one text, equal exactly when every value is.
std::string WholeRow(const Row& r) {
  std::string s;
  for (const Canon& v : r.values) s += v ? std::to_string(v->size()) + ":" + *v : std::string("-");
  return s;
}

}  // namespace

std::string NormalizeDecimal(const std::string& text) {
  if (!IsPlainNumber(text) || text.find_first_of("eE") != std::string::npos) return text;
  std::string s = text;
  bool neg = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    neg = s[0] == '-';
    s.erase(0, 1);
  }
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  size_t lead = 0;
  while (lead + 1 < s.size() && s[lead] == '0' && s[lead + 1] != '.') ++lead;
  s.erase(0, lead);
  if (s.empty() || s[0] == '.') s.insert(0, "0");
  if (s == "0") return s;
  return neg ? "-" + s : s;
}

std::string TableVerdict::Text() const {
  if (!error.empty()) return "not verified: " + error;
  std::string s;
  if (Identical()) s = "identical (" + std::to_string(rows) + (rows == 1 ? " row)" : " rows)");
  else
    s = "different: " + std::to_string(differing) + " differing, " + std::to_string(missing) + " missing, " +
        std::to_string(extra) + " extra of " + std::to_string(rows) + " rows";
  if (expected) s += "; " + std::to_string(expected) + " rows rejected during the run are missing, as expected";
  return s;
}

std::string RowKeyText(const std::vector<ado::Value>& values, const std::vector<size_t>& ordinals) {
  std::string s;
  for (size_t k : ordinals) {
    if (k >= values.size() || values[k].IsNull()) {
      s += '\x01';
      continue;
    }
    const std::string v = values[k].ToString();
    s += std::to_string(v.size()) + ":" + v;
  }
  return s;
}

namespace {

// One table read from both databases side by side and compared.
class Comparison {
 public:
  Comparison(TableVerdict& v, const std::vector<std::string>& keyColumns, const std::set<std::string>* rejectedKeys,
             RowDifferences* differences)
      : v_(v), keyColumns_(keyColumns), rejectedKeys_(rejectedKeys), differences_(differences) {}

  // The columns as the run makes them and the order both sides are read in; false (with the verdict's
  // error) when Firebird's table has other columns.
  bool Plan(ado::Connection& source, ado::Connection& target, const MSSQL::TableRef& ref, const TypeOptions& types);
  // Both reads, sorted by both databases at the same time.
  void Open(ado::Connection& source, ado::Connection& target, const MSSQL::TableRef& ref);
  void Compare();
  // Rows the run rejected are missing on purpose: by their key where it kept them, else by count.
  void Excuse(long long rejectedInRun);

 private:
  bool NextSource(Row& row);
  bool NextTarget(Row& row);
  int CompareKeys(const Row& a, const Row& b) const;
  std::string KeyText(const Row& r) const;
  void Example(const std::string& text);
  void AdvanceSource();
  void AdvanceTarget();
  // Without a key, rows that sort alike (equal in every sortable column) come in either database's own
  // order: each such group is compared as a multiset of whole rows.
  void CompareGroups();
  void CompareByKey();

  TableVerdict& v_;
  const std::vector<std::string>& keyColumns_;
  const std::set<std::string>* rejectedKeys_;
  RowDifferences* differences_;
  std::string targetName_;
  TableDdl ddl_;
  std::vector<std::string> names_;  // the source's column names
  std::vector<Class> classes_;
  std::vector<size_t> key_;  // the columns the rows are ordered and matched by
  bool byKey_ = false;
  size_t n_ = 0;
  ado::Recordset src_, fb_;
  std::unique_ptr<ParamBuilder> params_;
  std::unique_ptr<RowReader> reader_, fbReader_;
  SourceRow raw_, rawT_;
  Row s_, t_, prevS_, prevT_;
  bool haveS_ = false, haveT_ = false;
  long long unstorable_ = 0, unstorableByKey_ = 0, excused_ = 0;
};

bool Comparison::Plan(ado::Connection& source, ado::Connection& target, const MSSQL::TableRef& ref,
                      const TypeOptions& types) {
  targetName_ = v_.target;
  ddl_ = PlannedTable(source, ref, targetName_, types, &names_);
  // The columns first: a table with a column more or less is not the one the run made.
  if (std::string differ = ColumnDifference(target, targetName_, ddl_.columnNames); !differ.empty()) {
    v_.error = differ;
    return false;
  }
  n_ = ddl_.columns.size();
  for (const auto& c : ddl_.columns) classes_.push_back(ClassOf(c));
  // The order: the primary key, or every column both databases can sort.
  for (const auto& k : keyColumns_)
    for (size_t i = 0; i < names_.size(); ++i)
      if (ado::ToLower(names_[i]) == ado::ToLower(k)) key_.push_back(i);
  byKey_ = !keyColumns_.empty() && key_.size() == keyColumns_.size();
  if (!byKey_) {
    key_.clear();
    for (size_t i = 0; i < n_; ++i)
      if (!ddl_.columns[i].blob && classes_[i] != Class::Other) key_.push_back(i);
  }
  return true;
}

void Comparison::Open(ado::Connection& source, ado::Connection& target, const MSSQL::TableRef& ref) {
  std::string srcOrder, fbOrder;
  for (size_t i : key_) {
    srcOrder += (srcOrder.empty() ? "" : ", ") + SourceName(names_[i]);
    // SQL Server sorts text by its collation; Firebird's UTF8 by code point, as a binary collation does.
    if (MSSQL::IsSqlServerDriver() && (classes_[i] == Class::Text || classes_[i] == Class::Char))
      srcOrder += " COLLATE Latin1_General_BIN2";
    fbOrder += (fbOrder.empty() ? "" : ", ") + QuoteIdentifier(ddl_.columnNames[i]);
    // A column that compares as the source's collation does is read in UTF8's binary order all the same.
    if (!ddl_.columns[i].collation.empty()) fbOrder += " COLLATE UTF8";
  }
  std::string fbColumns;
  for (const auto& c : ddl_.columnNames) fbColumns += (fbColumns.empty() ? "" : ", ") + QuoteIdentifier(c);
  // A caller that acts on the differences finds Firebird's rows again by their record key.
  if (differences_) fbColumns += ", RDB$DB_KEY";
  // Firebird's query opens on a thread of its own meanwhile.
  std::exception_ptr fbFailed;
  std::thread opening([&] {
    try {
      fb_.Open("SELECT " + fbColumns + " FROM " + QuoteIdentifier(targetName_) + (fbOrder.empty() ? "" : " ORDER BY " + fbOrder),
               target);
    } catch (...) {
      fbFailed = std::current_exception();
    }
  });
  try {
    src_.Open("SELECT * FROM " + MSSQL::SqlName(ref) + (srcOrder.empty() ? "" : " ORDER BY " + srcOrder), source);
  } catch (...) {
    opening.join();
    throw;
  }
  opening.join();
  if (fbFailed) std::rethrow_exception(fbFailed);
  params_ = std::make_unique<ParamBuilder>(ddl_);
  // Each side is fetched on a thread of its own; this one compares.
  reader_ = std::make_unique<RowReader>(src_, 1024, 16 << 20);
  fbReader_ = std::make_unique<RowReader>(fb_, 1024, 16 << 20);
}

bool Comparison::NextSource(Row& row) {
  if (!reader_->Next(raw_)) return false;
  ++v_.rows;
  row.values.assign(n_, std::nullopt);
  if (byKey_ && rejectedKeys_ && !rejectedKeys_->empty()) row.key = RowKeyText(raw_.values, key_);
  if (differences_) {
    row.source = raw_.values;
    row.number = v_.rows;
  }
  row.unstorable = !raw_.readError.empty();
  if (row.unstorable) {
    row.why = "The value of " + raw_.readError;
    return true;
  }
  bool all = true;
  try {
    all = params_->Build(raw_.values);
  } catch (const ValueError& e) {
    row.unstorable = true;
    row.why = e.what();
    return true;
  }
  for (size_t k = 0; k < n_ && k < raw_.values.size(); ++k) {
    if (auto own = FromSource(raw_.values[k], classes_[k])) {
      row.values[k] = *own;
      continue;
    }
    const ado::Param& p = params_->Params()[k];
    // A value only the literal statement carries: compared as its plain text.
    if (!all && p.type == ado::Param::Type::Null && !raw_.values[k].IsNull()) {
      const std::string t = raw_.values[k].ToString();
      row.values[k] = classes_[k] == Class::Number ? NormalizeDecimal(t) : t;
    } else {
      row.values[k] = FromParam(p, classes_[k]);
    }
  }
  return true;
}

bool Comparison::NextTarget(Row& row) {
  if (!fbReader_->Next(rawT_)) return false;
  row.values.assign(n_, std::nullopt);
  for (size_t k = 0; k < n_ && k < rawT_.values.size(); ++k) row.values[k] = FromFirebird(rawT_.values[k], classes_[k]);
  if (differences_ && rawT_.values.size() > n_) row.dbKey = rawT_.values[n_].text;
  return true;
}

int Comparison::CompareKeys(const Row& a, const Row& b) const {
  for (size_t i : key_)
    if (const int c = verifyvalues::Compare(a.values[i], b.values[i], classes_[i])) return c;
  return 0;
}

std::string Comparison::KeyText(const Row& r) const {
  std::string s;
  for (size_t i = 0; i < n_; ++i) {
    if (byKey_ && std::find(key_.begin(), key_.end(), i) == key_.end()) continue;
    s += (s.empty() ? "" : ", ") + ddl_.columnNames[i] + " = " + Show(r.values[i], classes_[i]);
  }
  // A table without a key names the whole row.
  return (byKey_ ? "key (" : "row (") + s + ")";
}

void Comparison::Example(const std::string& text) {
  if (v_.examples.size() < kVerifyExamples) v_.examples.push_back(text);
}

void Comparison::AdvanceSource() {
  prevS_ = std::move(s_);
  haveS_ = NextSource(s_);
  if (haveS_ && !s_.unstorable && !prevS_.unstorable && CompareKeys(prevS_, s_) > 0)
    throw std::runtime_error("SQL Server and this program order the key differently");
}

void Comparison::AdvanceTarget() {
  prevT_ = std::move(t_);
  haveT_ = NextTarget(t_);
  if (haveT_ && CompareKeys(prevT_, t_) > 0) throw std::runtime_error("Firebird and this program order the key differently");
}

void Comparison::Compare() {
  haveS_ = NextSource(s_);
  haveT_ = NextTarget(t_);
  if (byKey_) CompareByKey();
  else CompareGroups();
}

void Comparison::CompareGroups() {
  while (haveS_ || haveT_) {
    if (haveS_ && s_.unstorable) {
      ++unstorable_;
      if (differences_) differences_->Unstorable(s_.number, s_.why);
      AdvanceSource();
      continue;
    }
    const int c = !haveS_ ? 1 : !haveT_ ? -1 : CompareKeys(s_, t_);
    const Row first = c <= 0 ? s_ : t_;
    // Whole row: source count less Firebird's, one such row, and Firebird's record keys of it.
    struct Entry {
      long long count = 0;
      Row row;
      std::vector<std::string> dbKeys;
    };
    std::map<std::string, Entry> group;
    while (c <= 0 && haveS_ && (s_.unstorable || CompareKeys(s_, first) == 0)) {
      if (s_.unstorable) {
        ++unstorable_;
        if (differences_) differences_->Unstorable(s_.number, s_.why);
      } else {
        Entry& e = group[WholeRow(s_)];
        if (e.count++ == 0 && e.row.values.empty()) e.row = s_;
        if (differences_ && e.row.source.empty()) {
          e.row.source = s_.source;
          e.row.number = s_.number;
        }
      }
      AdvanceSource();
    }
    while (c >= 0 && haveT_ && CompareKeys(t_, first) == 0) {
      Entry& e = group[WholeRow(t_)];
      if (e.count-- == 0 && e.row.values.empty()) e.row = t_;
      if (differences_) e.dbKeys.push_back(t_.dbKey);
      AdvanceTarget();
    }
    for (const auto& [text, e] : group) {
      if (e.count > 0) {
        v_.missing += e.count;
        Example(KeyText(e.row) + ": missing in Firebird" + (e.count > 1 ? " (" + std::to_string(e.count) + " times)" : ""));
        if (differences_)
          for (long long i = 0; i < e.count; ++i) differences_->Missing(e.row.number, e.row.source);
      } else if (e.count < 0) {
        v_.extra -= e.count;
        Example(KeyText(e.row) + ": in Firebird only" + (e.count < -1 ? " (" + std::to_string(-e.count) + " times)" : ""));
        if (differences_)
          for (long long i = 0; i < -e.count; ++i) differences_->Extra(e.dbKeys[static_cast<size_t>(i)]);
      }
    }
  }
}

void Comparison::CompareByKey() {
  while (haveS_ || haveT_) {
    if (haveS_ && s_.unstorable) {
      ++unstorable_;
      if (rejectedKeys_ && rejectedKeys_->count(s_.key)) ++unstorableByKey_;
      if (differences_) differences_->Unstorable(s_.number, s_.why);
      AdvanceSource();
      continue;
    }
    const int c = !haveS_ ? 1 : !haveT_ ? -1 : CompareKeys(s_, t_);
    if (c < 0 && rejectedKeys_ && rejectedKeys_->count(s_.key)) {
      ++excused_;  // the run rejected this very row
      AdvanceSource();
    } else if (c < 0) {
      ++v_.missing;
      Example(KeyText(s_) + ": missing in Firebird");
      if (differences_) differences_->Missing(s_.number, s_.source);
      AdvanceSource();
    } else if (c > 0) {
      ++v_.extra;
      Example(KeyText(t_) + ": in Firebird only");
      if (differences_) differences_->Extra(t_.dbKey);
      AdvanceTarget();
    } else {
      std::string first;
      for (size_t k = 0; k < n_; ++k) {
        if (verifyvalues::Compare(s_.values[k], t_.values[k], classes_[k]) == 0 && s_.values[k] == t_.values[k]) continue;
        first = KeyText(s_) + ": column \"" + ddl_.columnNames[k] + "\": SQL Server " + Show(s_.values[k], classes_[k]) +
                ", Firebird " + Show(t_.values[k], classes_[k]);
        break;
      }
      if (!first.empty()) {
        ++v_.differing;
        Example(first);
        if (differences_) differences_->Differs(s_.number, s_.source, t_.dbKey);
      }
      AdvanceSource();
      AdvanceTarget();
    }
  }
}

void Comparison::Excuse(long long rejectedInRun) {
  v_.expected = unstorable_ + excused_;
  const long long refused = std::max(0LL, rejectedInRun - (unstorable_ - unstorableByKey_));
  const long long moved = std::min(refused, v_.missing);
  v_.missing -= moved;
  v_.expected += moved;
}

}  // namespace

TableVerdict VerifyTable(ado::Connection& source, ado::Connection& target, const MSSQL::TableRef& ref,
                         const std::string& display, const std::string& targetName,
                         const std::vector<std::string>& keyColumns, const TypeOptions& types,
                         long long rejectedInRun, const std::set<std::string>* rejectedKeys, RowDifferences* differences) {
  TableVerdict v;
  v.source = display;
  v.target = targetName;
  try {
    Comparison comparison(v, keyColumns, rejectedKeys, differences);
    if (!comparison.Plan(source, target, ref, types)) return v;
    comparison.Open(source, target, ref);
    comparison.Compare();
    comparison.Excuse(rejectedInRun);
  } catch (const ado::DbError& e) {
    if (e.ConnectionLost()) throw;
    v.error = FirstLine(e.what());
  } catch (const std::runtime_error& e) {
    v.error = e.what();
  }
  return v;
}

}  // namespace conversion
