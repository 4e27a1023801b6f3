// Opens a web address in the user's browser without waiting for it.
#pragma once

#include <QString>

namespace platform {

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void open(const QString& url) = 0;
};

} // namespace platform
