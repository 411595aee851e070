#include "preview/ScriptModel.h"

#include <QTimer>

void ScriptModel::Append(const std::string& text) {
  rows_.push_back(text);
  checks_.push_back(0);
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
  checks_.clear();
  checks_.shrink_to_fit();
  published_ = 0;
  endResetModel();
}

void ScriptModel::SetText(int n, const std::string& text) {
  rows_.at(static_cast<size_t>(n - 1)) = text;
  if (n - 1 < published_) {
    QModelIndex i = index(n - 1);
    emit dataChanged(i, i, {Qt::DisplayRole});
  }
}

void ScriptModel::SetAllChecked(bool on) {
  std::fill(checks_.begin(), checks_.end(), on ? 1 : 0);
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
  const size_t r = static_cast<size_t>(index.row());
  if (role == Qt::DisplayRole || role == Qt::EditRole) return QString::fromStdString(rows_[r]);
  if (role == Qt::CheckStateRole) return checks_[r] ? Qt::Checked : Qt::Unchecked;
  return {};
}

bool ScriptModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::CheckStateRole) return false;
  checks_[static_cast<size_t>(index.row())] = value.toInt() == Qt::Checked ? 1 : 0;
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
