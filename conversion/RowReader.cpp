#include "conversion/RowReader.h"

namespace conversion {
namespace {

size_t SizeOf(const SourceRow& row) {
  size_t n = sizeof(SourceRow) + row.readError.size();
  for (const ado::Value& v : row.values) n += sizeof(ado::Value) + v.text.size();
  return n;
}

// Rows per chunk: the threads meet once per chunk.
constexpr size_t kChunkRows = 64;
// Chunks kept for the reader to fill again, each holding buffers of at most this many bytes (one with
// larger values is freed, so that memory stays bounded).
constexpr size_t kSpareChunks = 4;
constexpr size_t kSpareBytes = 1 << 20;

size_t Held(const std::vector<SourceRow>& chunk) {
  size_t n = 0;
  for (const SourceRow& row : chunk)
    for (const ado::Value& v : row.values) n += v.text.capacity();
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
  // A chunk the caller is done with is filled again: its rows' buffers are reused by the thread that
  // made them.
  if (!spare_.empty()) {
    chunk = std::move(spare_.back());
    spare_.pop_back();
  } else {
    chunk = Chunk();
    chunk.reserve(kChunkRows);
  }
  changed_.notify_all();
  return true;
}

void RowReader::Read() {
  Chunk chunk;
  chunk.reserve(kChunkRows);
  size_t filled = 0;  // rows of the chunk that hold this read's rows; those after are spare buffers
  size_t bytes = 0;
  auto push = [&] {
    chunk.resize(filled);
    filled = 0;
    const bool goOn = Push(chunk, bytes);
    bytes = 0;
    return goOn;
  };
  for (bool first = true;; first = false) {
    if (filled == chunk.size()) chunk.emplace_back();
    SourceRow& row = chunk[filled];
    bool eof = false;
    try {
      if (!first) rs_.MoveNext();
      eof = rs_.Eof();
      if (!eof) {
        row.readError = rs_.RowError();
        rs_.TakeValues(row.values);
      }
    } catch (...) {
      if (filled > 0 && !push()) return;
      std::lock_guard lock(m_);
      failed_ = std::current_exception();
      changed_.notify_all();
      return;
    }
    if (eof) {
      if (filled > 0 && !push()) return;
      std::lock_guard lock(m_);
      end_ = true;
      changed_.notify_all();
      return;
    }
    bytes += SizeOf(row);
    ++filled;
    bool hungry;
    {
      std::lock_guard lock(m_);
      hungry = waiting_;
    }
    if ((filled >= kChunkRows || bytes >= maxBytes_ / 4 || hungry) && !push()) return;
  }
}

bool RowReader::Next(SourceRow& row) {
  // The caller's previous row goes into the chunk in place of the one it gets, and back to the reader
  // with it.
  if (next_ < current_.size()) {
    std::swap(row, current_[next_++]);
    return true;
  }
  const bool reusable = !current_.empty() && Held(current_) <= kSpareBytes;  // counted before the lock
  std::unique_lock lock(m_);
  if (reusable && spare_.size() < kSpareChunks) spare_.push_back(std::move(current_));
  current_.clear();
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
  std::swap(row, current_[next_++]);
  return true;
}

}  // namespace conversion
