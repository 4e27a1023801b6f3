// The set list model: one row per set, the find text in column 0 and the replace text in
// column 1.
#include "sets/set_list.h"

namespace sets {

SetList::SetList(QObject* parent) : QAbstractTableModel(parent) {}

SetList::AppendResult SetList::append(const QString& find, const QString& replace) {
    if (isFull()) {
        return AppendResult::Full;
    }
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    m_sets.push_back(Set{find, replace});
    endInsertRows();
    return AppendResult::Appended;
}

void SetList::remove(int index) {
    removeRows(index, 1);
}

void SetList::clear() {
    if (m_sets.empty()) {
        return;
    }
    beginResetModel();
    m_sets.clear();
    endResetModel();
}

int SetList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int SetList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant SetList::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    const Set& set = at(index.row());
    return index.column() == kFindColumn ? set.find : set.replace;
}

bool SetList::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return false;
    }
    Set& set = m_sets[static_cast<std::size_t>(index.row())];
    (index.column() == kFindColumn ? set.find : set.replace) = value.toString();
    emit dataChanged(index, index, {role});
    return true;
}

Qt::ItemFlags SetList::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

bool SetList::insertRows(int row, int rowCount, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || row > count() || rowCount < 1 || rowCount > room()) {
        return false;
    }
    beginInsertRows(QModelIndex(), row, row + rowCount - 1);
    m_sets.insert(m_sets.begin() + row, static_cast<std::size_t>(rowCount), Set{});
    endInsertRows();
    return true;
}

bool SetList::removeRows(int row, int rowCount, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || rowCount < 1 || row + rowCount > count()) {
        return false;
    }
    beginRemoveRows(QModelIndex(), row, row + rowCount - 1);
    m_sets.erase(m_sets.begin() + row, m_sets.begin() + row + rowCount);
    endRemoveRows();
    return true;
}

} // namespace sets
