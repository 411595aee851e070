#include "conversion/RowBatch.h"

#include <algorithm>

namespace conversion {
namespace {

// Rows per block where nothing else limits it: through a server, 100 rows a round trip gave the best
// rate measured (more gained nothing).
constexpr size_t kMaxBatchRows = 100;
// The embedded engine has no round trip to save, only its cost per call: blocks of 16 to 24 rows of 8
// columns wrote 1.45 times as fast as rows one by one, and blocks of 100 rows more slowly than those.
constexpr size_t kMaxLocalRows = 24;
constexpr size_t kMaxLocalParams = 192;
// Firebird takes 32767 parameters, but preparing a block grows faster than its parameters (1,000
// columns: 0.4 s for 4 rows, 2.7 s for 20); beyond this many a block saves less than it costs.
constexpr size_t kMaxParams = 2048;
// Declared parameter bytes per execution; the engine refused about 10 MB.
constexpr size_t kMaxDeclaredBytes = 1 << 20;

size_t DeclaredBytes(const ColumnType& c) {
  if (c.blob) return 8;
  if (c.length > 0) return static_cast<size_t>(c.length) * 4 + 2;  // characters of up to four bytes
  return 16;
}

}  // namespace

size_t BatchRowsFor(const TableDdl& ddl, bool localFile, BatchKind kind) {
  if (ddl.columns.empty() || ddl.columnNames.size() != ddl.columns.size()) return 1;
  const bool update = kind == BatchKind::UpdateByKey;
  const size_t columns = ddl.columns.size() + (update ? 1 : 0);
  size_t perRow = update ? 8 : 0;
  for (const ColumnType& c : ddl.columns) perRow += DeclaredBytes(c);
  size_t rows = std::min({kMaxBatchRows, kMaxParams / columns, kMaxDeclaredBytes / std::max<size_t>(perRow, 1)});
  if (localFile) rows = std::min({rows, kMaxLocalRows, kMaxLocalParams / columns});
  return rows < 2 ? 1 : rows;
}

std::string BatchText(const std::string& table, const TableDdl& ddl, size_t rows, BatchKind kind) {
  const size_t columns = ddl.columns.size();
  const bool update = kind == BatchKind::UpdateByKey;
  const std::string quoted = QuoteIdentifier(table);
  std::string s = "EXECUTE BLOCK (";
  size_t n = 0;
  for (size_t r = 0; r < rows; ++r) {
    for (size_t k = 0; k < columns; ++k, ++n)
      s += (n ? ", A" : "A") + std::to_string(n) + " TYPE OF COLUMN " + quoted + "." + QuoteIdentifier(ddl.columnNames[k]) + " = ?";
    if (update) s += ", K" + std::to_string(r) + " CHAR(8) CHARACTER SET OCTETS = ?";
  }
  s += ") AS BEGIN";
  // The columns are named: a table that gained a column since it was created refuses the block
  // instead of taking values in the wrong places.
  std::string names;
  for (size_t k = 0; k < columns; ++k) names += (k ? ", " : "") + QuoteIdentifier(ddl.columnNames[k]);
  n = 0;
  for (size_t r = 0; r < rows; ++r) {
    if (update) {
      s += " UPDATE " + quoted + " SET ";
      for (size_t k = 0; k < columns; ++k, ++n) s += (k ? ", " : "") + QuoteIdentifier(ddl.columnNames[k]) + " = :A" + std::to_string(n);
      s += " WHERE RDB$DB_KEY = :K" + std::to_string(r) + ";";
      continue;
    }
    s += " INSERT INTO " + quoted + " (" + names + ") VALUES (";
    for (size_t k = 0; k < columns; ++k, ++n) s += (k ? ", :A" : ":A") + std::to_string(n);
    s += ");";
  }
  return s + " END";
}

std::string UpdateByKeyText(const std::string& table, const std::vector<std::string>& columns) {
  std::string set;
  for (const auto& c : columns) set += (set.empty() ? "" : ", ") + QuoteIdentifier(c) + " = ?";
  return "UPDATE " + QuoteIdentifier(table) + " SET " + set + " WHERE RDB$DB_KEY = ?";
}

RowBatch::RowBatch(ado::Connection& fb, const std::string& table, const TableDdl& ddl, size_t capacity, BatchKind kind)
    : fb_(fb),
      table_(table),
      ddl_(ddl),
      capacity_(std::max<size_t>(capacity, 1)),
      kind_(kind),
      columns_(ddl.columns.size() + (kind == BatchKind::UpdateByKey ? 1 : 0)) {
  rows_.reserve(capacity_);
  params_.reserve(capacity_ * columns_);
  // Reserved once: a row's parameters point into its own string, which must never move.
  bytes_.reserve(capacity_);
}

void RowBatch::Add(const std::vector<ado::Param>& params, const Row& row) {
  const size_t i = rows_.size();
  if (bytes_.size() <= i) bytes_.emplace_back();
  std::string& own = bytes_[i];
  own.clear();
  size_t need = 0;
  for (const ado::Param& p : params) need += p.bytes.size();
  own.reserve(need);
  std::vector<size_t>& at = at_;
  at.clear();
  for (const ado::Param& p : params) {
    at.push_back(own.size());
    own.append(p.bytes.data(), p.bytes.size());
  }
  for (size_t k = 0; k < params.size(); ++k) {
    ado::Param p = params[k];
    p.bytes = std::string_view(own).substr(at[k], params[k].bytes.size());
    params_.push_back(p);
  }
  rows_.push_back(row);
}

void RowBatch::Send() {
  if (rows_.empty()) return;
  ado::PreparedStatement* statement = nullptr;
  if (rows_.size() == capacity_) {
    if (!full_) full_ = fb_.Prepare(BatchText(table_, ddl_, capacity_, kind_), static_cast<int>(capacity_));
    statement = full_.get();
  } else {
    // The last rows of a table: a block of their own size.
    if (!part_ || partRows_ != rows_.size()) {
      part_.reset();
      part_ = fb_.Prepare(BatchText(table_, ddl_, rows_.size(), kind_), static_cast<int>(rows_.size()));
      partRows_ = rows_.size();
    }
    statement = part_.get();
  }
  if (!statement) throw ado::DbError("The Firebird connection cannot prepare statements.");
  statement->Execute(params_);
}

std::vector<ado::Param> RowBatch::ParamsOf(size_t i) const {
  const auto from = params_.begin() + static_cast<std::ptrdiff_t>(i * columns_);
  return {from, from + static_cast<std::ptrdiff_t>(columns_)};
}

void RowBatch::Clear() {
  rows_.clear();
  params_.clear();
}

}  // namespace conversion
