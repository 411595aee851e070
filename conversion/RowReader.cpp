#include "conversion/RowReader.h"

namespace conversion {
namespace {

size_t SizeOf(const SourceRow& row) {
  size_t n = sizeof(SourceRow) + row.readError.size();
  for (const ado::Value& v : row.values) n += sizeof(ado::Value) + v.text.size();
  return n;
}

}  // namespace

RowReader::RowReader(ado::Recordset& rs, size_t maxRows, size_t maxBytes)
    : rs_(rs), maxRows_(maxRows ? maxRows : 1), maxBytes_(maxBytes) {
  thread_ = std::thread([this] { Read(); });
}

RowReader::~RowReader() {
  {
    std::lock_guard lock(m_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

namespace {
// Rows per chunk: the threads meet once per chunk.
constexpr size_t kChunkRows = 64;
}  // namespace

bool RowReader::Push(Chunk& chunk, size_t bytes) {
  std::unique_lock lock(m_);
  // Room for the chunk: the queue is below both bounds, or empty (a chunk larger than the bound).
  changed_.wait(lock, [&] {
    return closing_ || queue_.empty() || (rows_ + chunk.size() <= maxRows_ && bytes_ + bytes <= maxBytes_);
  });
  if (closing_) return false;
  rows_ += chunk.size();
  bytes_ += bytes;
  queue_.emplace_back(std::move(chunk), bytes);
  chunk = Chunk();
  chunk.reserve(kChunkRows);
  changed_.notify_all();
  return true;
}

void RowReader::Read() {
  Chunk chunk;
  chunk.reserve(kChunkRows);
  size_t bytes = 0;
  for (bool first = true;; first = false) {
    SourceRow row;
    bool eof = false;
    try {
      if (!first) rs_.MoveNext();
      eof = rs_.Eof();
      if (!eof) {
        row.readError = rs_.RowError();
        rs_.TakeValues(row.values);
      }
    } catch (...) {
      if (!chunk.empty() && !Push(chunk, bytes)) return;
      std::lock_guard lock(m_);
      failed_ = std::current_exception();
      changed_.notify_all();
      return;
    }
    if (eof) {
      if (!chunk.empty() && !Push(chunk, bytes)) return;
      std::lock_guard lock(m_);
      end_ = true;
      changed_.notify_all();
      return;
    }
    bytes += SizeOf(row);
    chunk.push_back(std::move(row));
    bool hungry;
    {
      std::lock_guard lock(m_);
      hungry = waiting_;
    }
    if (chunk.size() >= kChunkRows || bytes >= maxBytes_ / 4 || hungry) {
      if (!Push(chunk, bytes)) return;
      bytes = 0;
    }
  }
}

bool RowReader::Next(SourceRow& row) {
  if (next_ < current_.size()) {
    row = std::move(current_[next_++]);
    return true;
  }
  std::unique_lock lock(m_);
  waiting_ = true;
  changed_.wait(lock, [&] { return !queue_.empty() || end_ || failed_; });
  waiting_ = false;
  if (queue_.empty()) {
    if (failed_) std::rethrow_exception(failed_);
    return false;
  }
  current_ = std::move(queue_.front().first);
  rows_ -= current_.size();
  bytes_ -= queue_.front().second;
  queue_.pop_front();
  changed_.notify_all();
  lock.unlock();
  next_ = 0;
  row = std::move(current_[next_++]);
  return true;
}

}  // namespace conversion
