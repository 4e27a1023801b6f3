// A modal one-line input box with OK and Cancel.
#pragma once

#include <QString>
#include <optional>

namespace platform {

class InputBox {
public:
    virtual ~InputBox() = default;
    /// Shows the prompt with the text box pre-filled. Returns the text on OK (possibly
    /// empty) and nothing on Cancel.
    virtual std::optional<QString> getText(const QString& prompt, const QString& title,
                                           const QString& defaultText) = 0;
};

} // namespace platform
