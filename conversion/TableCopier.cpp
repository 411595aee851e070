#include "conversion/TableCopier.h"

#include "connectivity/core/ConnString.h"

#include <charconv>

#include "conversion/RowExport.h"
#include "conversion/RowReader.h"
#include "conversion/RowWriter.h"
#include "conversion/TableDdl.h"
#include "conversion/Verify.h"

namespace conversion {

namespace {

// The identity column's value of a row, where it is a whole number.
std::optional<long long> IdentityOf(const std::vector<ado::Value>& row, int identity) {
  if (identity < 0 || static_cast<size_t>(identity) >= row.size()) return std::nullopt;
  const ado::Value& v = row[static_cast<size_t>(identity)];
  if (v.kind == ado::Kind::Integer) return v.integer;
  if (v.kind == ado::Kind::Decimal) {
    long long d = 0;
    const char* end = v.text.data() + v.text.size();
    if (std::from_chars(v.text.data(), end, d).ec == std::errc()) return d;
  }
  return std::nullopt;
}

// Rows read ahead of the writer: enough to keep both sides busy, few enough that memory stays flat.
constexpr size_t kReadAheadRows = 1024;
constexpr size_t kReadAheadBytes = 16 << 20;

}  // namespace

TableOutcome TableCopier::Copy(TablePlan& plan) {
  TableOutcome outcome;
  const bool resumed = plan.disposition == Disposition::Continue;
  RunSummary& summary = s_.Summary();
  table_ = &summary.Table(plan.source, plan.target);
  s_.SetTable(table_);
  plan.report = table_;
  if (!plan.takeUp.replaceWhy.empty()) table_->notes.push_back("replaced, not resumed: " + plan.takeUp.replaceWhy);
  if (!plan.differs.empty()) table_->notes.push_back("replaced, not brought up to date: " + plan.differs);
  if (plan.disposition == Disposition::Replace) {
    replaced_.DropViewsOf(plan.target);
    if (s_.Options().copyKeys) replaced_.DropTo(plan.target);
    s_.Emit(DropTableText(plan.target), line::kDropTable);
    planner_.Dropped(plan.target);
  }
  s_.Text("Please wait.. Processing table " + plan.source);
  why_.clear();
  // The catalogue names the types the driver leaves unnamed (CLR types) and tells computed columns; it
  // is read before the rows, which hold the source connection.
  std::vector<MSSQL::ColumnInfo> catalogue;
  if (plan.keys) catalogue = plan.keys->schema.columns;
  else {
    try {
      catalogue = MSSQL::ReadColumns(s_.Source(), plan.ref);
    } catch (const ado::DbError& e) {
      // Without the catalogue the table converts by what its rows say; a lost connection ends the run.
      if (e.ConnectionLost()) s_.SourceStep(line::kReadCatalogue, [&] { throw e; });
    }
  }
  // In key order, as both databases sort it, so that a stopped copy can be taken up after its largest key.
  const std::vector<std::string> key = planner_.KeyColumns(plan, line::kOpenRows);
  std::string read = SelectAllText(plan.ref);
  if (resumed) read += plan.takeUp.sourceRest;
  else if (const KeyOrder order = KeyOrderOf(key, catalogue); !order.column.empty())
    read += " ORDER BY " + order.column + order.collate;
  ado::Recordset rs;
  long long total = 0;
  // A table that cannot be read costs one message; its statements are not built.
  if (!s_.SourceStep(line::kOpenRows, [&] {
        total = plan.rows ? *plan.rows : MSSQL::CountRows(s_.Source(), plan.ref);
        plan.rows = total;
        s_.SetTable(table_, total);
        rs.Open(read, s_.Source());
      })) {
    table_->notes.push_back("the table could not be read: " + FirstLine(s_.LastError()));
    return outcome;
  }
  for (const auto& c : catalogue) {
    for (int k = 0; k < rs.FieldCount(); ++k) {
      if (ado::ToLower(rs.Fields(k).Name) != ado::ToLower(c.name)) continue;
      if (rs.Fields(k).TypeName.empty()) rs.SetTypeName(k, c.typeName);
      rs.SetCollation(k, c.collation);
      if (c.computed) table_->notes.push_back("column \"" + c.name + "\" is computed in SQL Server: copied as values");
    }
  }
  TableDdl ddl;
  if (!s_.Step(line::kCreateDdl, [&] { ddl = BuildCreateTable(plan.target, rs, &s_.Events().Datatypes(), plan.keys, plan.types); })) {
    rs.Close();
    return outcome;
  }
  for (const auto& [from, to] : ddl.shortened) summary.Shortened("column of \"" + plan.target + "\"", from, to);
  // Rows for a table that could not be created would each fail with a message of their own.
  if (resumed) {
    table_->notes.push_back("resumed: " + std::to_string(plan.takeUp.have) + " rows were in Firebird already; copied from " +
                            plan.takeUp.keyText + " on");
    table_->read = table_->written = plan.takeUp.have;
    s_.RowsThere(plan.takeUp.have);
  }
  if (!resumed && !s_.Emit(ddl.createTable, line::kCreateTable)) {
    if (total > 0) {
      table_->rejected += total;
      table_->notes.push_back("the table could not be created: its " + std::to_string(total) + " rows were not copied");
    } else {
      table_->notes.push_back("the table could not be created");
    }
    rs.Close();
    return outcome;
  }
  outcome.created = true;
  outcome.identityMax = plan.takeUp.identityMax;
  // The keys of rejected rows are kept for verification, which excuses exactly those rows.
  keyOrdinals_.clear();
  if (s_.Options().verify && s_.Executing())
    for (const auto& k : key)
      for (int f = 0; f < rs.FieldCount(); ++f)
        if (ado::ToLower(rs.Fields(f).Name) == ado::ToLower(k)) keyOrdinals_.push_back(static_cast<size_t>(f));
  outcome.complete = rs.Eof() || ExportRows(plan, rs, ddl, outcome);
  rs.Close();
  // Keys over part of the rows would make the table look complete.
  if (!outcome.complete) {
    table_->notes.push_back("incomplete: " + std::to_string(table_->written) + " of " + std::to_string(total) + " rows (" +
                            why_ + "; its keys and indexes were not made)");
  } else {
    replaced_.Completed(plan.target);
  }
  return outcome;
}

std::string TableCopier::RowKey(const std::vector<ado::Value>& values) const {
  return keyOrdinals_.empty() ? std::string() : RowKeyText(values, keyOrdinals_);
}

bool TableCopier::ExportRows(const TablePlan& plan, ado::Recordset& rs, const TableDdl& ddl, TableOutcome& outcome) {
  const int identity = plan.keys ? plan.keys->IdentityOrdinal() : -1;
  const long long total = plan.rows.value_or(0);
  RowWriter writer(s_, plan.target, ddl, *table_);
  // The rows written, and why the table stopped short.
  auto done = [&](bool complete) {
    writer.NoteCut(ddl.columnNames);
    if (writer.IdentityMax() && (!outcome.identityMax || *writer.IdentityMax() > *outcome.identityMax))
      outcome.identityMax = writer.IdentityMax();
    if (!writer.Why().empty()) why_ = writer.Why();
    return complete;
  };
  long long counter = plan.disposition == Disposition::Continue ? plan.takeUp.have : 0;
  SourceRow row;
  RowReader reader(rs, kReadAheadRows, kReadAheadBytes);
  while (true) {
    bool more = false, read = false;
    try {
      read = s_.SourceStep(line::kReadRow, [&] { more = reader.Next(row); });
    } catch (...) {
      // Stopped, or the source is gone: the rows read before it are written first.
      writer.Flush();
      done(false);
      throw;
    }
    if (!read) {
      if (!writer.Flush()) why_ = "the read ended early: " + FirstLine(s_.LastError());
      return done(false);
    }
    if (!more) break;
    if (s_.StopRequested()) {
      writer.Flush();
      done(false);
      throw Halted{};
    }
    ++counter;
    ++table_->read;
    s_.RowRead(plan.target, counter, total);
    const std::string key = RowKey(row.values);
    if (!row.readError.empty()) {
      const std::string& unread = row.readError;
      const ValueError e("The value of " + unread + " could not be read: " + FirstLine(unread.substr(unread.find(':') + 2)));
      if (writer.Refuse(counter, e, line::kBuildRow, key)) return done(false);
      continue;
    }
    if (writer.Write(counter, row.values, IdentityOf(row.values, identity), key)) return done(false);
  }
  return done(!writer.Flush());
}

}  // namespace conversion
