// The file list's model: each item of fileListView is one text, the full path of a file, shown in
// its single column. Items are only ever appended at the end or removed one at a time.
#pragma once

#include <QString>
#include <QStringList>

class QTreeWidget;

namespace filelist {

/// The item texts in list order (item 1 first).
QStringList items(const QTreeWidget& list);

/// Appends one item whose text is path, exactly as given, at the end.
void appendItem(QTreeWidget& list, const QString& path);

/// Appends one item per path, in order, at the end (one update of the view for all of them).
void appendItems(QTreeWidget& list, const QStringList& paths);

/// Removes the selected item: the current item when it is selected, otherwise the first
/// selected one. Nothing happens when no item is selected. The items after it move up by one.
void removeSelectedItem(QTreeWidget& list);

} // namespace filelist
