// The random number generator.
#pragma once

namespace platform {

class RandomDraw {
public:
    virtual ~RandomDraw() = default;
    /// Seeds the generator.
    virtual void seed(double seedValue) = 0;
    /// A value in [0, 1).
    virtual double next() = 0;
};

} // namespace platform
