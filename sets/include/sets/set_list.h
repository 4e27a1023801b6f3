// The set list: the find/replace pairs that a run in sets mode applies, in list order.
// One model serves both drop-down lists (findList shows column 0, replaceList column 1), so the two
// lists cannot differ in length. No widgets here.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace sets {

/// One find/replace pair; either text may be empty and neither is ever trimmed.
struct Set {
    QString find;
    QString replace;
    friend bool operator==(const Set&, const Set&) = default;
};

class SetList : public QAbstractTableModel {
    Q_OBJECT
public:
    /// Counts and indexes are 16-bit signed: the list never holds more sets than this.
    static constexpr int kMaxSets = 32767;
    /// The column of the find texts (findList) and of the replace texts (replaceList).
    static constexpr int kFindColumn = 0;
    static constexpr int kReplaceColumn = 1;

    enum class AppendResult { Appended, Full };

    explicit SetList(QObject* parent = nullptr);

    /// The one way sets enter the list: appends find and replace as one row at the end.
    /// Changes no selection. Returns Full, adding nothing, when the list holds kMaxSets.
    AppendResult append(const QString& find, const QString& replace);

    int count() const { return static_cast<int>(m_sets.size()); }
    bool isFull() const { return count() >= kMaxSets; }
    int room() const { return kMaxSets - count(); }
    const Set& at(int index) const { return m_sets.at(static_cast<std::size_t>(index)); }
    const std::vector<Set>& sets() const { return m_sets; }

    /// Removes the set at index; an index out of range removes nothing.
    void remove(int index);
    /// Removes every set.
    void clear();

    // QAbstractItemModel, for the two drop-down lists. insertRows adds empty sets (so a
    // combo box's own addItem keeps both columns the same length); the list's own code
    // appends through append().
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool insertRows(int row, int rowCount, const QModelIndex& parent = QModelIndex()) override;
    bool removeRows(int row, int rowCount, const QModelIndex& parent = QModelIndex()) override;

private:
    std::vector<Set> m_sets;
};

} // namespace sets
