#pragma once
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "conversion/RowBatch.h"
#include "conversion/RowExport.h"
#include "conversion/Session.h"

namespace conversion {

// Writes one table's rows into Firebird (or as statements into the preview): prepared statements with
// typed parameters gathered into EXECUTE BLOCK batches, a row whose value only the literal statement
// can carry as that statement, a block Firebird refuses replayed row by row so that exactly the bad
// rows are rejected. Rows written are counted in the table's report.
//
// As BatchKind::UpdateByKey it updates Firebird records instead (WriteBuilt, each row's parameters ending
// in its record key), counted by Written() and not as rows written into the table.
class RowWriter {
 public:
  RowWriter(Session& session, const std::string& target, const TableDdl& ddl, TableReport& table,
            BatchKind kind = BatchKind::Insert);
  // Writes (or gathers) the row; `number` is its number in the table, `identity` its identity value.
  // True when the table cannot go on (as RejectRow says; why()).
  bool Write(long long number, const std::vector<ado::Value>& values, const std::optional<long long>& identity,
             const std::string& key);
  // Gathers a row whose parameters are built (as ParamBuilder builds them, with the record key after them
  // for updates); true when the table cannot go on.
  bool WriteBuilt(long long number, const std::vector<ado::Param>& params);
  // Rows this writer wrote (inserted or updated).
  long long Written() const { return written_; }
  // A row that cannot be written at all: rejected, after the rows gathered before it.
  bool Refuse(long long number, const std::exception& e, int at, const std::string& key);
  // Sends the rows gathered; true when the table cannot go on.
  bool Flush();
  // Values per column whose time had digits past ten-thousandths of a second, cut (rows of this writer,
  // and those told by CountCut).
  const std::vector<long long>& Cut() const { return cut_; }
  void CountCut(const std::vector<size_t>& columns);
  // Names in the table's report each column whose values were cut.
  void NoteCut(const std::vector<std::string>& columnNames);
  // The largest identity value written.
  const std::optional<long long>& IdentityMax() const { return identityMax_; }
  const std::string& Why() const { return why_; }

 private:
  bool SendBatch();
  void Written(const std::optional<long long>& identity);
  bool Reject(long long row, const std::exception& e, int at, const std::string& key);

  Session& s_;
  TableReport& table_;
  BatchKind kind_;
  long long written_ = 0;
  InsertBuilder builder_;
  std::unique_ptr<ado::PreparedStatement> prepared_;
  std::unique_ptr<ParamBuilder> params_;
  std::unique_ptr<RowBatch> batch_;
  std::optional<long long> identityMax_;
  std::string why_;
  std::vector<long long> cut_;
};

}  // namespace conversion
