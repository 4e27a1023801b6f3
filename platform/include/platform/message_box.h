// A modal message box. The Qt version lives in qt_services.cpp, the scripted one in
// tests/fakes. Callers pass the exact text; line-break characters are shown as line breaks.
#pragma once

#include <QString>

namespace platform {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Icon { None, Information, Question, Warning, Critical };
enum class Answer { Ok, Cancel, Yes, No };

/// The title that boxes without a title of their own show; also the main window's caption.
inline const QString kApplicationTitle = QStringLiteral("Varnocliff");

class MessageBox {
public:
    virtual ~MessageBox() = default;
    /// Shows the box modally and returns the button the user chose. Closing the box
    /// without a button answers Cancel (OkCancel, YesNoCancel), No (YesNo) or Ok (Ok).
    virtual Answer show(const QString& text, const QString& title, Buttons buttons, Icon icon) = 0;
};

} // namespace platform
