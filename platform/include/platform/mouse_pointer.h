// The mouse pointer of a window: 0 the default arrow, 11 the hourglass, 99 the window's
// custom pointer (the hand cursor, when one is installed).
#pragma once

namespace platform {

inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerHourglass = 11;
inline constexpr int kPointerCustom = 99;

class MousePointer {
public:
    virtual ~MousePointer() = default;
    virtual int mousePointer() const = 0;
    virtual void setMousePointer(int pointer) = 0;
};

} // namespace platform
