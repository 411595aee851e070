#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "connectivity/core/Ado.h"
#include "conversion/TableDdl.h"

namespace conversion {

// What a block's statements do with each row's parameters.
enum class BatchKind {
  Insert,       // the row's values: INSERT INTO "T" ("C", ...) VALUES (...)
  UpdateByKey,  // the row's values, then a record key: UPDATE "T" SET "C" = ..., ... WHERE RDB$DB_KEY = ...
};

// How many rows one EXECUTE BLOCK of a table's INSERTs carries, within Firebird's limits: at most 255
// statements in a block, 32767 parameters, and a request of about 10 MB of declared parameters (each
// kept well below). 1 where the row alone is near a limit. Into a local file (the embedded engine) blocks
// are smaller: there they save calls, not round trips.
size_t BatchRowsFor(const TableDdl& ddl, bool localFile = false, BatchKind kind = BatchKind::Insert);

// EXECUTE BLOCK (A0 TYPE OF COLUMN "T"."C" = ?, ...) AS BEGIN INSERT INTO "T" ("C", ...) VALUES (:A0, ...); ... END
// for `rows` rows of the table's columns; for UpdateByKey each row's columns are followed by its record key
// (K0 CHAR(8) CHARACTER SET OCTETS) and each statement is an UPDATE of that record.
std::string BatchText(const std::string& table, const TableDdl& ddl, size_t rows, BatchKind kind = BatchKind::Insert);

// UPDATE "T" SET "C" = ?, ... WHERE RDB$DB_KEY = ?: one row's update, its record key the last parameter.
std::string UpdateByKeyText(const std::string& table, const std::vector<std::string>& columns);

// Rows of one table gathered for one execution of a prepared EXECUTE BLOCK. Each row's parameters are
// copied in, so that the rows after it may be read meanwhile.
class RowBatch {
 public:
  struct Row {
    long long number = 0;                // the row's number in the table, from 1
    std::optional<long long> identity;   // its identity value, where the table has one
    std::string key;                     // its key (RowKeyText), where the run keeps it
  };

  RowBatch(ado::Connection& fb, const std::string& table, const TableDdl& ddl, size_t capacity,
           BatchKind kind = BatchKind::Insert);
  size_t Capacity() const { return capacity_; }
  size_t Size() const { return rows_.size(); }
  bool Full() const { return rows_.size() == capacity_; }
  void Add(const std::vector<ado::Param>& params, const Row& row);
  // Executes the gathered rows as one statement (prepared for that many rows on first use). The rows
  // stay until Clear, to be counted, or replayed after a refusal.
  void Send();
  const Row& RowAt(size_t i) const { return rows_[i]; }
  // The parameters of row i, as one row's statement (INSERT or UPDATE) takes them.
  std::vector<ado::Param> ParamsOf(size_t i) const;
  void Clear();

 private:
  ado::Connection& fb_;
  std::string table_;
  const TableDdl& ddl_;
  size_t capacity_;
  BatchKind kind_;
  size_t columns_;  // parameters a row
  std::vector<Row> rows_;
  std::vector<ado::Param> params_;   // every row's parameters, one after the other
  std::vector<std::string> bytes_;   // per row: the texts its parameters point into
  std::vector<size_t> at_;           // Add's offsets of a row's texts, kept for the next row
  std::unique_ptr<ado::PreparedStatement> full_, part_;
  size_t partRows_ = 0;
};

}  // namespace conversion
