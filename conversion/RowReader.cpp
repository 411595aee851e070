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

void RowReader::Read() {
  for (bool first = true;; first = false) {
    SourceRow row;
    try {
      if (!first) rs_.MoveNext();
      if (!rs_.Eof()) {
        row.readError = rs_.RowError();
        rs_.TakeValues(row.values);
      }
    } catch (...) {
      std::lock_guard lock(m_);
      failed_ = std::current_exception();
      changed_.notify_all();
      return;
    }
    const size_t size = SizeOf(row);
    std::unique_lock lock(m_);
    if (rs_.Eof()) {
      end_ = true;
      changed_.notify_all();
      return;
    }
    // Room for the row: the queue is below both bounds, or empty (a single row larger than the bound).
    changed_.wait(lock, [&] { return closing_ || queue_.empty() || (queue_.size() < maxRows_ && bytes_ + size <= maxBytes_); });
    if (closing_) return;
    bytes_ += size;
    queue_.push_back(std::move(row));
    changed_.notify_all();
  }
}

bool RowReader::Next(SourceRow& row) {
  std::unique_lock lock(m_);
  changed_.wait(lock, [&] { return !queue_.empty() || end_ || failed_; });
  if (queue_.empty()) {
    if (failed_) std::rethrow_exception(failed_);
    return false;
  }
  row = std::move(queue_.front());
  queue_.pop_front();
  bytes_ -= SizeOf(row);
  changed_.notify_all();
  return true;
}

}  // namespace conversion
