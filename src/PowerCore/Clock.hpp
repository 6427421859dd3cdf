#pragma once

#include "Timestamp.hpp"

namespace PowerCore {

class Clock {
public:
    virtual ~Clock() = default;
    virtual Timestamp now() const = 0;
};

class SystemClock final : public Clock {
public:
    Timestamp now() const override { return std::chrono::system_clock::now(); }
};

} // namespace PowerCore
