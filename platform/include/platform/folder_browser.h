// The folder browser.
#pragma once

#include <QString>

namespace platform {

class FolderBrowser {
public:
    virtual ~FolderBrowser() = default;
    /// Lets the user choose a folder. Returns its full path, empty on Cancel.
    virtual QString browseForFolder(const QString& title) = 0;
};

} // namespace platform
