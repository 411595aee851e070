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

 private:
  bool connectionLost_;
  long long lostStatements_ = 0;
};

}  // namespace ado
