// Holds a display inhibition with the session's service until it is killed.
#include <PowerCore/linux/LiveAssertionHolder.hpp>
#include <unistd.h>

int main() {
    PowerCore::LiveAssertionHolder holder;
    holder.apply(PowerCore::DesiredAssertion{PowerCore::AssertionKind::display, "child", 900});
    if (!holder.settle(std::chrono::seconds(10)) || !holder.current()) return 1;
    for (;;)
        ::pause();
}
