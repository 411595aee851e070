#pragma once
#include <QAbstractListModel>
#include <string>
#include <vector>

// The SQL script list: rows addressed 1-based, each one statement text with a check state.
// Appended rows reach the views in batches, so appending a million rows stays cheap.
class ScriptModel : public QAbstractListModel {
 public:
  explicit ScriptModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

  int Count() const { return static_cast<int>(rows_.size()); }
  const std::string& Text(int n) const { return rows_.at(static_cast<size_t>(n - 1)); }
  void SetText(int n, const std::string& text);
  void Append(const std::string& text);
  void Clear();
  bool Checked(int n) const { return checks_.at(static_cast<size_t>(n - 1)) != 0; }
  void SetAllChecked(bool on);
  // Shows the rows appended since the last call to the views.
  void Publish();
  // True once when a check box was toggled; the click that toggled it opens no editor.
  bool TakeToggled();

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<std::string> rows_;
  std::vector<unsigned char> checks_;
  int published_ = 0;
  bool publishQueued_ = false;
  bool toggled_ = false;
};
