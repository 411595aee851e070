#include "conversion/TableCopier.h"

#include "connectivity/core/ConnString.h"

#include <charconv>

#include "conversion/RowBatch.h"
#include "conversion/RowExport.h"
#include "conversion/RowReader.h"
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
  if (!plan.takeUp.replaceWhy.empty()) table_->notes.push_back("replaced, not resumed: " + plan.takeUp.replaceWhy);
  if (plan.disposition == Disposition::Replace) {
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

bool TableCopier::Reject(long long row, const std::exception& e, int at, const std::string& key) {
  return s_.RejectRow(row, e, at, key, why_);
}

void TableCopier::Written(const std::optional<long long>& identity, std::optional<long long>& identityMax) {
  ++table_->written;
  if (identity && (!identityMax || *identity > *identityMax)) identityMax = identity;
}

bool TableCopier::SendBatch(RowBatch& batch, ado::PreparedStatement& single, std::optional<long long>& identityMax) {
  if (batch.Size() == 0) return false;
  try {
    if (batch.Size() == 1) single.Execute(batch.ParamsOf(0));
    else batch.Send();
    for (size_t i = 0; i < batch.Size(); ++i) Written(batch.RowAt(i).identity, identityMax);
    batch.Clear();
    return false;
  } catch (const ado::DbError& e) {
    if (e.LostStatements() > 0 || e.ConnectionLost() || batch.Size() == 1) {
      // The rows went with a commit that failed, or with the connection: each is rejected, none is
      // written again (the first carries the message and the count of what else was undone).
      const size_t n = batch.Size();
      std::vector<RowBatch::Row> rows(n);
      for (size_t i = 0; i < n; ++i) rows[i] = batch.RowAt(i);
      batch.Clear();
      if (e.LostStatements() > 0) s_.CountLost(e, static_cast<long long>(n));
      ado::DbError first(e);
      first.SetLostStatements(0);
      if (Reject(rows[0].number, first, line::kWriteRow, rows[0].key)) return true;
      for (size_t i = 1; i < n; ++i) s_.Summary().Reject(*table_, rows[i].number, e.what(), rows[i].key);
      return false;
    }
  }
  // Firebird refused the block as a whole, which undid all of it: the rows go one by one, so that exactly
  // the bad ones are rejected, each with its own number and message.
  for (size_t i = 0; i < batch.Size(); ++i) {
    try {
      single.Execute(batch.ParamsOf(i));
      Written(batch.RowAt(i).identity, identityMax);
    } catch (const std::exception& e) {
      // A commit that fails here undoes this row and what the transaction held before it: RejectRow counts
      // them; the rows after it go on in the next transaction.
      if (Reject(batch.RowAt(i).number, e, line::kWriteRow, batch.RowAt(i).key)) {
        batch.Clear();
        return true;
      }
    }
  }
  batch.Clear();
  return false;
}

bool TableCopier::ExportRows(const TablePlan& plan, ado::Recordset& rs, const TableDdl& ddl, TableOutcome& outcome) {
  const RunOptions& o = s_.Options();
  const int identity = plan.keys ? plan.keys->IdentityOrdinal() : -1;
  const long long total = plan.rows.value_or(0);
  std::optional<long long>& identityMax = outcome.identityMax;
  InsertBuilder builder(plan.target, ddl);
  s_.WritingRows();
  // Executed at once, the rows go through prepared statements with typed parameters, gathered into
  // batches of one EXECUTE BLOCK each; a row with a value that only the literal statement can carry
  // goes as that statement.
  std::unique_ptr<ado::PreparedStatement> prepared;
  std::unique_ptr<ParamBuilder> params;
  std::unique_ptr<RowBatch> batch;
  if (s_.Executing() && o.preparedInserts) {
    try {
      prepared = s_.Firebird().Prepare(PlaceholderInsertText(plan.target, ddl.columnNames));
      if (prepared) {
        params = std::make_unique<ParamBuilder>(ddl);
        batch = std::make_unique<RowBatch>(s_.Firebird(), plan.target, ddl,
                                           o.batchRows ? o.batchRows : BatchRowsFor(ddl, s_.LocalTarget()));
      }
    } catch (const ado::DbError&) {
      prepared.reset();  // the literal statements say what is wrong, row by row, as they always did
    }
  }
  // Rows gathered but not sent go before anything else happens: the table is written in source order.
  auto send = [&] { return batch && SendBatch(*batch, *prepared, identityMax); };
  long long counter = plan.disposition == Disposition::Continue ? plan.takeUp.have : 0;
  SourceRow row;
  RowReader reader(rs, kReadAheadRows, kReadAheadBytes);
  while (true) {
    bool more = false, read = false;
    try {
      read = s_.SourceStep(line::kReadRow, [&] { more = reader.Next(row); });
    } catch (...) {
      // Stopped, or the source is gone: the rows read before it are written first.
      send();
      throw;
    }
    if (!read) {
      if (!send()) why_ = "the read ended early: " + FirstLine(s_.LastError());
      return false;
    }
    if (!more) break;
    if (s_.StopRequested()) {
      send();
      throw Halted{};
    }
    ++counter;
    ++table_->read;
    s_.RowRead(plan.target, counter, total);
    int at = line::kBuildRow;
    try {
      if (!row.readError.empty()) {
        const std::string& unread = row.readError;
        throw ValueError("The value of " + unread + " could not be read: " + FirstLine(unread.substr(unread.find(':') + 2)));
      }
      if (prepared && params->Build(row.values)) {
        batch->Add(params->Params(), {counter, IdentityOf(row.values, identity), RowKey(row.values)});
        if (batch->Full() && send()) return false;
        continue;
      }
      const std::string& statement = builder.Build(row.values);
      if (send()) return false;
      at = line::kWriteRow;
      s_.EmitRow(statement);
      Written(IdentityOf(row.values, identity), identityMax);
    } catch (const std::exception& e) {
      if (send() || Reject(counter, e, at, RowKey(row.values))) return false;
    }
  }
  return !send();
}

}  // namespace conversion
