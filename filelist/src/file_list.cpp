// The file list's items: append and remove, nothing else changes the list.
#include "filelist/file_list.h"

#include <QList>
#include <QTreeWidget>

namespace filelist {
namespace {

QTreeWidgetItem* makeItem(const QString& path) {
    auto* item = new QTreeWidgetItem(QStringList{path});
    // A path is shown and selected, never edited in place or dragged elsewhere.
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

} // namespace

QStringList items(const QTreeWidget& list) {
    QStringList texts;
    const int count = list.topLevelItemCount();
    texts.reserve(count);
    for (int i = 0; i < count; ++i) {
        texts.append(list.topLevelItem(i)->text(0));
    }
    return texts;
}

void appendItem(QTreeWidget& list, const QString& path) {
    list.addTopLevelItem(makeItem(path));
}

void appendItems(QTreeWidget& list, const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    QList<QTreeWidgetItem*> created;
    created.reserve(paths.size());
    for (const QString& path : paths) {
        created.append(makeItem(path));
    }
    list.addTopLevelItems(created);
}

void removeSelectedItem(QTreeWidget& list) {
    QTreeWidgetItem* item = list.currentItem();
    if (item == nullptr || !item->isSelected()) {
        const QList<QTreeWidgetItem*> selected = list.selectedItems();
        item = selected.isEmpty() ? nullptr : selected.first();
    }
    if (item == nullptr) {
        return;
    }
    const int position = list.indexOfTopLevelItem(item);
    if (position < 0) {
        return;
    }
    delete list.takeTopLevelItem(position);
}

} // namespace filelist
