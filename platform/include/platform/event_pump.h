// Lets pending window events be handled inside a long operation.
#pragma once

namespace platform {

class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processEvents() = 0;
};

} // namespace platform
