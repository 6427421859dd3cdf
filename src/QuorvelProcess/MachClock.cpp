#include <QuorvelProcess/MachClock.hpp>

namespace QuorvelProcess {

const MachClock& MachClock::current() {
    static const MachClock clock(1, 1);
    return clock;
}

} // namespace QuorvelProcess
