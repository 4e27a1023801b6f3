// The face colour rule that every window without a skin of its own may follow.
#pragma once

class QWidget;

namespace platform {

/// Gives the window and every option button, check box, frame and label on it (at any depth)
/// the system's face colour: the button colour of the application's palette.
void setFormColors(QWidget& window);

} // namespace platform
