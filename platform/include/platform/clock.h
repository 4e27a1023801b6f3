// Time: the time of day (for seeding the random draw) and a monotonic clock for waits.
#pragma once

#include <cstdint>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    /// Seconds since local midnight, with fractions.
    virtual double secondsSinceMidnight() = 0;
    /// Milliseconds on a monotonic clock; only differences mean anything.
    virtual std::int64_t monotonicMs() = 0;
    /// Sleeps a little (at most ms) so that a wait loop does not spin.
    virtual void sleepMs(int ms) = 0;
};

} // namespace platform
