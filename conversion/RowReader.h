#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "connectivity/core/Ado.h"

namespace conversion {

// One row as read from the source, owned by whoever holds it.
struct SourceRow {
  std::vector<ado::Value> values;
  std::string readError;  // as Recordset::RowError says it; empty when every value was read
};

// Reads the rows of an open result set on a thread of its own, a bounded number of rows (and bytes)
// ahead of the caller, so that the source is read while the caller writes. The result set and its
// connection belong to the reader until it is gone.
class RowReader {
 public:
  // The result set stands on its first row (or past the last).
  RowReader(ado::Recordset& rs, size_t maxRows, size_t maxBytes);
  // Waits for the row being fetched, if any; no further row is fetched.
  ~RowReader();
  RowReader(const RowReader&) = delete;
  RowReader& operator=(const RowReader&) = delete;
  // The next row in `row`; false past the last. What moving to a row threw is thrown here, in its place.
  bool Next(SourceRow& row);

 private:
  using Chunk = std::vector<SourceRow>;
  void Read();
  // Hands a chunk to the caller, waiting while the queue is full; false when the reader is to end.
  bool Push(Chunk& chunk, size_t bytes);
  ado::Recordset& rs_;
  const size_t maxRows_, maxBytes_;
  std::mutex m_;
  std::condition_variable changed_;
  // Rows travel in chunks, so that the two threads meet once per chunk rather than once per row.
  std::deque<std::pair<Chunk, size_t>> queue_;  // with the bytes of each
  size_t rows_ = 0, bytes_ = 0;                 // in the queue
  bool end_ = false;
  bool closing_ = false;
  bool waiting_ = false;  // the caller waits for rows: a chunk goes as soon as it holds one
  std::exception_ptr failed_;
  std::vector<Chunk> spare_;  // chunks the caller is done with, for the reader to fill again
  Chunk current_;  // the caller's chunk, taken from the queue
  size_t next_ = 0;
  std::thread thread_;
};

}  // namespace conversion
