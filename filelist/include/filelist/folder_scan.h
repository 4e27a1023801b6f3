// The folder routines of the file list: choosing a folder, collecting a tree's subfolders
// level by level, listing the matching files of one folder, and the whole-tree scan that the
// folder command, dropped folders and the command line share. QtCore only; no widgets here.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace platform {
class EventPump;
class FolderBrowser;
} // namespace platform

namespace filelist {

/// Asked after each handling of pending events; true makes a scan give up at once (the
/// program is ending). A scan also gives up when the application is closing down.
using StopRequest = std::function<bool()>;

/// Lets the user choose a folder with title. Returns its path, or "" when the user cancels or
/// the answer is not an existing folder.
QString browseForFolder(platform::FolderBrowser& browser, const QString& title);

/// Extends folders (each entry a folder path ending in one separator) with the subfolders of
/// its entries: first the direct subfolders of every entry, folder by folder, each folder's in
/// the order the file system lists them; with recurse, then theirs, level by level to any
/// depth. Hidden subfolders are not entered. Links to folders are followed, but each real
/// folder appears once, so a link back up the tree cannot make the scan run forever. A folder
/// that cannot be read, or an entry whose type cannot be read, contributes nothing. events, when
/// given, handles pending events as each folder is opened and after each subfolder found; when
/// stop answers true (or the application is closing down) the routine returns at once with what
/// it has found so far. unreadable, when given, gets each folder that could not be read (the
/// command line reports them; the folder command stays silent, as it always was).
void collectSubfolders(QStringList& folders, bool recurse, platform::EventPump* events = nullptr,
                       const StopRequest& stop = {}, QStringList* unreadable = nullptr);

/// The bare names of the files in folder (with or without a trailing separator) that match
/// pattern, in the order the file system lists them. Hidden files are included; folders and
/// entries that are not regular files (sockets, pipes, broken links) are not. Empty when the
/// folder cannot be read.
QStringList listFolderFiles(const QString& folder, const QString& pattern);

/// Full paths of every file of the tree under folder that matches pattern, in the order the
/// folder command appends them: the tree's folders in CollectSubfolders order, each folder's
/// files in listing order; names beginning with "~" (the lock files of open workbooks) are
/// skipped. Empty when stopped by stop or by the application closing down.
QStringList scanFolderTree(const QString& folder, const QString& pattern,
                           platform::EventPump* events = nullptr, const StopRequest& stop = {},
                           QStringList* unreadable = nullptr);

/// The files "Add All Excel File(s) In Folder" appends for the extension answer (the pattern
/// "*." followed by the answer exactly as typed), in the same order.
QStringList scanFolderFiles(const QString& folder, const QString& extensionAnswer,
                            platform::EventPump* events = nullptr, const StopRequest& stop = {},
                            QStringList* unreadable = nullptr);

/// True when a dropped path is a folder to scan: it names a folder (links followed) that is not
/// hidden. A hidden folder, a file, or a path that cannot be read is added as it stands.
bool isFolderToScan(const QString& path);

/// path with one separator added unless it already ends in one (a root such as "/" does).
QString withTrailingSeparator(const QString& path);

} // namespace filelist
