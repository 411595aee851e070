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

 private:
  bool connectionLost_;
};

}  // namespace ado
