#pragma once
#include <QAbstractListModel>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The SQL script list: rows addressed 1-based, each one statement text with a check state.
// The texts lie back to back in large blocks, so a row costs little more than its text; appended
// rows reach the views in batches, so appending a million rows stays cheap.
class ScriptModel : public QAbstractListModel {
 public:
  explicit ScriptModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

  int Count() const { return static_cast<int>(rows_.size()); }
  std::string Text(int n) const { return std::string(View(n)); }
  // Valid until the list next changes.
  std::string_view View(int n) const;
  void SetText(int n, std::string_view text);
  void Append(std::string_view text);
  void Clear();
  bool Checked(int n) const { return rows_.at(static_cast<size_t>(n - 1)).checked != 0; }
  void SetAllChecked(bool on);
  // Shows the rows appended since the last call to the views.
  void Publish();
  // True once when a check box was toggled; the click that toggled it opens no editor.
  bool TakeToggled();
  // Bytes held for the texts, blocks included.
  size_t TextBytes() const { return regular_ * kBlock + large_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  static constexpr size_t kBlock = 4 << 20;
  struct Row {
    std::uint32_t block;
    std::uint32_t offset;
    std::uint32_t length;
    std::uint8_t checked;
  };
  Row Store(std::string_view text);
  void Compact();

  static constexpr size_t kNone = static_cast<size_t>(-1);

  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t current_ = kNone;  // the block being filled
  size_t used_ = 0;         // bytes used in it
  size_t regular_ = 0;      // blocks of kBlock bytes
  size_t large_ = 0;        // bytes of blocks that hold one long text each
  size_t garbage_ = 0;      // bytes of texts that were replaced
  std::vector<Row> rows_;
  int published_ = 0;
  bool publishQueued_ = false;
  bool toggled_ = false;
};
