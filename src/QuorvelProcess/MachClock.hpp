#pragma once

#include <cstdint>

namespace QuorvelProcess {

// Converts the kernel's CPU-time ticks to nanoseconds. Linux counts CPU time in
// nanoseconds already, so its clock is 1/1.
struct MachClock {
    std::uint64_t numer = 1;
    std::uint64_t denom = 1;

    constexpr MachClock(std::uint32_t n, std::uint32_t d)
        : numer(n)
        , denom(d == 0 ? 1 : d) {}
    static const MachClock& current();

    // (t / denom) x numer + ((t mod denom) x numer) / denom: no intermediate product
    // overflows for any realistic tick count.
    constexpr std::uint64_t nanoseconds(std::uint64_t ticks) const {
        return ticks / denom * numer + ticks % denom * numer / denom;
    }
    bool operator==(const MachClock&) const = default;
};

} // namespace QuorvelProcess
