#include "conversion/RowWriter.h"

namespace conversion {

RowWriter::RowWriter(Session& session, const std::string& target, const TableDdl& ddl, TableReport& table, BatchKind kind)
    : s_(session), table_(table), kind_(kind), builder_(target, ddl), cut_(ddl.columns.size(), 0) {
  const RunOptions& o = s_.Options();
  s_.WritingRows();
  const bool update = kind == BatchKind::UpdateByKey;
  if (!s_.Executing() || (!o.preparedInserts && !update)) return;
  auto prepare = [&] {
    prepared_ = s_.Firebird().Prepare(update ? UpdateByKeyText(target, ddl.columnNames)
                                             : PlaceholderInsertText(target, ddl.columnNames));
    if (prepared_) {
      params_ = std::make_unique<ParamBuilder>(ddl);
      batch_ = std::make_unique<RowBatch>(s_.Firebird(), target, ddl,
                                          o.batchRows ? o.batchRows : BatchRowsFor(ddl, s_.LocalTarget(), kind), kind);
    }
  };
  if (update) {
    prepare();  // updates have no literal statements to fall back on
    return;
  }
  try {
    prepare();
  } catch (const ado::DbError&) {
    prepared_.reset();  // the literal statements say what is wrong, row by row, as they always did
  }
}

bool RowWriter::WriteBuilt(long long number, const std::vector<ado::Param>& params) {
  batch_->Add(params, {number, std::nullopt, {}});
  return batch_->Full() && SendBatch();
}

bool RowWriter::Write(long long number, const std::vector<ado::Value>& values, const std::optional<long long>& identity,
                      const std::string& key) {
  int at = line::kBuildRow;
  try {
    if (prepared_ && params_->Build(values)) {
      CountCut(params_->CutInRow());
      batch_->Add(params_->Params(), {number, identity, key});
      return batch_->Full() && SendBatch();
    }
    const std::string& statement = builder_.Build(values);
    CountCut(builder_.CutInRow());
    // Rows gathered but not sent go first: the table is written in source order.
    if (SendBatch()) return true;
    at = line::kWriteRow;
    s_.EmitRow(statement);
    Written(identity);
    return false;
  } catch (const std::exception& e) {
    return Refuse(number, e, at, key);
  }
}

void RowWriter::CountCut(const std::vector<size_t>& columns) {
  for (size_t k : columns)
    if (k < cut_.size()) ++cut_[k];
}

void RowWriter::NoteCut(const std::vector<std::string>& columnNames) {
  for (size_t k = 0; k < cut_.size() && k < columnNames.size(); ++k)
    if (cut_[k] > 0)
      table_.notes.push_back("column \"" + columnNames[k] + "\": " + std::to_string(cut_[k]) +
                             (cut_[k] == 1 ? " value had" : " values had") +
                             " digits past 1/10000 s, kept to 1/10000 s");
}

bool RowWriter::Refuse(long long number, const std::exception& e, int at, const std::string& key) {
  return SendBatch() || Reject(number, e, at, key);
}

bool RowWriter::Flush() { return SendBatch(); }

bool RowWriter::Reject(long long row, const std::exception& e, int at, const std::string& key) {
  return s_.RejectRow(row, e, at, key, why_);
}

void RowWriter::Written(const std::optional<long long>& identity) {
  ++written_;
  if (kind_ == BatchKind::Insert) ++table_.written;
  if (identity && (!identityMax_ || *identity > *identityMax_)) identityMax_ = identity;
}

bool RowWriter::SendBatch() {
  if (!batch_ || batch_->Size() == 0) return false;
  RowBatch& batch = *batch_;
  try {
    if (batch.Size() == 1) prepared_->Execute(batch.ParamsOf(0));
    else batch.Send();
    for (size_t i = 0; i < batch.Size(); ++i) Written(batch.RowAt(i).identity);
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
      for (size_t i = 1; i < n; ++i) s_.Summary().Reject(table_, rows[i].number, e.what(), rows[i].key);
      return false;
    }
  }
  // Firebird refused the block as a whole, which undid all of it: the rows go one by one, so that exactly
  // the bad ones are rejected, each with its own number and message.
  for (size_t i = 0; i < batch.Size(); ++i) {
    try {
      prepared_->Execute(batch.ParamsOf(i));
      Written(batch.RowAt(i).identity);
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

}  // namespace conversion
