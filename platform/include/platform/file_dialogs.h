// The common open and save dialogs.
#pragma once

#include <QString>
#include <QStringList>

namespace platform {

struct FileDialogRequest {
    QString title;
    /// Qt filter syntax, for example "Excel Files (*.xls *.xlsx);;All Files (*)".
    QString filter;
    /// Folder the dialog starts in, empty for the dialog's own choice.
    QString directory;
    /// File name proposed in the name box.
    QString fileName;
    /// Save dialogs: ask before replacing an existing file (false: the caller asks).
    bool confirmOverwrite = false;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    /// Multi-select open dialog: full paths in the order the dialog gives them, empty on Cancel.
    virtual QStringList getOpenFileNames(const FileDialogRequest& request) = 0;
    /// Single-select open dialog: a full path, empty on Cancel.
    virtual QString getOpenFileName(const FileDialogRequest& request) = 0;
    /// Save dialog: a full path, empty on Cancel.
    virtual QString getSaveFileName(const FileDialogRequest& request) = 0;
};

} // namespace platform
