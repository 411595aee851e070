#include "preview/ScriptModel.h"

#include <QTimer>
#include <cstring>

ScriptModel::Row ScriptModel::Store(std::string_view text) {
  const auto length = static_cast<std::uint32_t>(text.size());
  if (text.size() > kBlock / 4) {
    // A long text gets a block of its own; the block being filled stays the same.
    blocks_.push_back(std::make_unique<char[]>(text.size()));
    std::memcpy(blocks_.back().get(), text.data(), text.size());
    large_ += text.size();
    return {static_cast<std::uint32_t>(blocks_.size() - 1), 0, length, 0};
  }
  if (current_ == kNone || used_ + text.size() > kBlock) {
    blocks_.push_back(std::make_unique<char[]>(kBlock));
    current_ = blocks_.size() - 1;
    used_ = 0;
    ++regular_;
  }
  Row r{static_cast<std::uint32_t>(current_), static_cast<std::uint32_t>(used_), length, 0};
  if (!text.empty()) std::memcpy(blocks_[current_].get() + used_, text.data(), text.size());
  used_ += text.size();
  return r;
}

std::string_view ScriptModel::View(int n) const {
  const Row& r = rows_.at(static_cast<size_t>(n - 1));
  if (r.length == 0) return {};
  return std::string_view(blocks_[r.block].get() + r.offset, r.length);
}

void ScriptModel::Append(std::string_view text) {
  rows_.push_back(Store(text));
  if (!publishQueued_) {
    publishQueued_ = true;
    QTimer::singleShot(0, this, [this] { Publish(); });
  }
}

void ScriptModel::Publish() {
  publishQueued_ = false;
  const int total = Count();
  if (total <= published_) return;
  beginInsertRows({}, published_, total - 1);
  published_ = total;
  endInsertRows();
}

void ScriptModel::Clear() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  blocks_.clear();
  current_ = kNone;
  used_ = large_ = garbage_ = 0;
  regular_ = 0;
  published_ = 0;
  endResetModel();
}

void ScriptModel::SetText(int n, std::string_view text) {
  Row& old = rows_.at(static_cast<size_t>(n - 1));
  garbage_ += old.length;
  const std::uint8_t checked = old.checked;
  Row r = Store(text);
  r.checked = checked;
  rows_[static_cast<size_t>(n - 1)] = r;
  // Replaced texts are dropped once they take more room than the live ones.
  if (garbage_ > kBlock && garbage_ > TextBytes() / 2) Compact();
  if (n - 1 < published_) {
    QModelIndex i = index(n - 1);
    emit dataChanged(i, i, {Qt::DisplayRole});
  }
}

void ScriptModel::Compact() {
  std::vector<std::unique_ptr<char[]>> old;
  old.swap(blocks_);
  current_ = kNone;
  used_ = large_ = garbage_ = 0;
  regular_ = 0;
  for (Row& r : rows_) {
    const std::string_view text(r.length ? old[r.block].get() + r.offset : nullptr, r.length);
    const std::uint8_t checked = r.checked;
    r = Store(text);
    r.checked = checked;
  }
}

void ScriptModel::SetAllChecked(bool on) {
  for (Row& r : rows_) r.checked = on ? 1 : 0;
  if (published_ > 0) emit dataChanged(index(0), index(published_ - 1), {Qt::CheckStateRole});
}

bool ScriptModel::TakeToggled() {
  bool t = toggled_;
  toggled_ = false;
  return t;
}

int ScriptModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : published_; }

QVariant ScriptModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Count()) return {};
  const int n = index.row() + 1;
  if (role == Qt::DisplayRole || role == Qt::EditRole) {
    const std::string_view v = View(n);
    return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
  }
  if (role == Qt::CheckStateRole) return Checked(n) ? Qt::Checked : Qt::Unchecked;
  return {};
}

bool ScriptModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::CheckStateRole) return false;
  rows_[static_cast<size_t>(index.row())].checked = value.toInt() == Qt::Checked ? 1 : 0;
  toggled_ = true;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

Qt::ItemFlags ScriptModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

QVariant ScriptModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole) return QString("SQL Preview");
  return {};
}
