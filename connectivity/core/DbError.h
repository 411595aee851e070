#pragma once
#include <stdexcept>
#include <string>

namespace ado {

// Every database failure arrives as one of these; what() is the driver's description.
class DbError : public std::runtime_error {
 public:
  explicit DbError(const std::string& description, bool connectionLost = false)
      : std::runtime_error(description), connectionLost_(connectionLost) {}
  // True when the client reports that the attachment itself is gone (network, shutdown).
  bool ConnectionLost() const { return connectionLost_; }
  // Statements that had succeeded and were undone with a transaction whose commit failed.
  long long LostStatements() const { return lostStatements_; }
  void SetLostStatements(long long n) { lostStatements_ = n; }
  // The engine's first error code (0 when the client gave none).
  long Code() const { return code_; }
  // True when the engine refused the statement itself (its SQL, or the metadata it would change),
  // as opposed to the values of a row.
  bool StatementError() const { return statementError_; }
  void SetCode(long code, bool statementError) {
    code_ = code;
    statementError_ = statementError;
  }

 private:
  bool connectionLost_;
  long code_ = 0;
  bool statementError_ = false;
  long long lostStatements_ = 0;
};

}  // namespace ado
