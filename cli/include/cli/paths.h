// From the PATH arguments to the list of files to process, and the key that tells when two
// entries of that list are the same file.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

namespace cli {

/// The files to process, in order: a PATH that names a folder (links followed) becomes the
/// files that "Add All Excel File(s) In Folder" would add for extension (whole tree,
/// breadth-first, hidden folders not entered, names beginning with "~" skipped); any other
/// PATH, even one that does not exist, stays as given, so that its failure is reported.
/// Duplicates are kept. unreadable, when given, gets the folders of the scans that could not be
/// read (no permission, or a path too long), whose files are therefore missing.
QStringList expandPaths(const QStringList& paths, const QString& extension,
                        QStringList* unreadable = nullptr);

/// A text equal for two paths exactly when they lead to the same file: device and inode when
/// the file can be examined (so "a.xlsx", "./a.xlsx", a link to it and a hard link agree),
/// otherwise the absolute, cleaned path.
std::string sameFileKey(const QString& path);

} // namespace cli
